// Recordset cursors: navigation, reading the current record, bookmarks and
// record counts.
//
// A cursor may stand before the first record (BOF), after the last (EOF), on
// a record, or on a record it has just deleted (the on-deleted flag). Every
// successful move is a position capture: the position stamp advances and the
// current bookmark is taken once, to be reused by reads, record headers and
// the side recordset.
#include <cstring>

#include "KBEPI32_Conversions.h"
#include "KBEPI32_CursorData.h"
#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Range.h"
#include "KBEPI32_Recordset.h"
#include "KBEPI32_Session.h"

namespace kbe {
namespace {

unsigned currentDaoError() noexcept {
  try {
    throw;
  } catch (const EDAOError& e) {
    return kh::DaoErrorNumber(e.errorCode());
  } catch (...) {
    return 0;
  }
}

bool atBOF(TCursorData& c) { return c.recordset->GetBOF() != 0; }
bool atEOF(TCursorData& c) { return c.recordset->GetEOF() != 0; }

// Puts the recordset before its first record.
void toBegin(DAORecordset& rs) {
  if (rs.GetBOF()) return;
  tolerantMove([&] { rs.MoveFirst(); });
  if (!rs.GetBOF()) tolerantMove([&] { rs.MovePrevious(); });
}

// Puts the recordset after its last record.
void toEnd(DAORecordset& rs) {
  if (rs.GetEOF()) return;
  tolerantMove([&] { rs._30_MoveLast(); });
  if (!rs.GetEOF()) tolerantMove([&] { rs.MoveNext(); });
}

DBIResult setToBegin(TCursorData& c) {
  if (c.forwardOnly) {
    c.beforeFirst = true;
    return rc::OK;
  }
  if (c.lowRange) {
    range::setToLowRange(c);
  } else {
    toBegin(*c.recordset);
    capturePosition(c);
  }
  return rc::OK;
}

DBIResult setToEnd(TCursorData& c) {
  if (c.highRange) {
    range::setToHighRange(c);
  } else {
    toEnd(*c.recordset);
    capturePosition(c);
  }
  return rc::OK;
}

DBIResult getRecord(TCursorData& c, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  if (atBOF(c)) return rc::BOF;
  if (atEOF(c)) return rc::EOF_;
  if (c.onDeleted) return rc::KeyOrRecDeleted;
  if (c.lowRange && range::recordBelowLowRange(c)) return rc::BOF;
  if (c.highRange && range::recordAboveHighRange(c)) return rc::EOF_;
  if (!c.forwardOnly) {
    try {
      conv::bookmarkFromDao(c.recordset->GetBookmark(), c.bookmark.data() + 4);
    } catch (const EDAOError& e) {
      // Not a valid bookmark, or (the same news) a record deleted meanwhile.
      const unsigned n = kh::DaoErrorNumber(e.errorCode());
      if (n == 3159 || n == 3167) {
        ++c.stamp;
        c.onDeleted = true;
        return rc::KeyOrRecDeleted;
      }
    }
  }
  return readRecordAfterMove(c, lock, record, recProps);
}

DBIResult getNextRecord(TCursorData& c, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  DAORecordset& rs = *c.recordset;
  if (atEOF(c)) return rc::EOF_;
  if (c.highRange && !c.onDeleted && !atBOF(c) && range::recordAboveHighRange(c)) return rc::EOF_;
  for (;;) {
    if (!c.criteria.empty()) {
      if (rs.GetBOF() || c.beforeFirst) rs.FindFirst(conv::utf8Of(c.criteria));
      else rs.FindNext(conv::utf8Of(c.criteria));
      c.beforeFirst = false;
      if (rs.GetNoMatch() && !rs.GetEOF()) {
        tolerantMove([&] { rs._30_MoveLast(); });
        if (!rs.GetEOF()) tolerantMove([&] { rs.MoveNext(); });
      }
    } else {
      if (!c.beforeFirst) rs.MoveNext();
      c.beforeFirst = false;
    }
    capturePosition(c);
    if (rs.GetEOF() || (c.highRange && range::recordAboveHighRange(c))) return rc::EOF_;
    const DBIResult r = readRecordAfterMove(c, lock, record, recProps);
    if (r != rc::NoCurrRec) return r;
  }
}

DBIResult getPriorRecord(TCursorData& c, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  DAORecordset& rs = *c.recordset;
  if (atBOF(c)) return rc::BOF;
  if (c.lowRange && !c.onDeleted && !atEOF(c) && range::recordBelowLowRange(c)) return rc::BOF;
  for (;;) {
    if (!c.criteria.empty()) {
      if (rs.GetEOF()) rs.FindLast(conv::utf8Of(c.criteria));
      else rs.FindPrevious(conv::utf8Of(c.criteria));
      if (rs.GetNoMatch() && !rs.GetBOF()) {
        tolerantMove([&] { rs.MoveFirst(); });
        if (!rs.GetBOF()) tolerantMove([&] { rs.MovePrevious(); });
      }
    } else {
      rs.MovePrevious();
    }
    capturePosition(c);
    if (rs.GetBOF() || (c.lowRange && range::recordBelowLowRange(c))) return rc::BOF;
    const DBIResult r = readRecordAfterMove(c, lock, record, recProps);
    if (r != rc::NoCurrRec) return r;
  }
}

}  // namespace

// ---- the recordset branch of the navigation exports --------------------------------

namespace rs {

DBIResult setToBegin(hDBICur cursor) noexcept {
  return onCursor(cursor, [](TCursorData& c) { return kbe::setToBegin(c); });
}

DBIResult setToEnd(hDBICur cursor) noexcept {
  return onCursor(cursor, [](TCursorData& c) { return kbe::setToEnd(c); });
}

DBIResult getRecord(hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) noexcept {
  return onCursor(cursor, [&](TCursorData& c) { return kbe::getRecord(c, lock, record, recProps); });
}

DBIResult getNextRecord(hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) noexcept {
  return onCursor(cursor, [&](TCursorData& c) { return kbe::getNextRecord(c, lock, record, recProps); });
}

DBIResult getPriorRecord(hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) noexcept {
  return onCursor(cursor, [&](TCursorData& c) { return kbe::getPriorRecord(c, lock, record, recProps); });
}

DBIResult getRelativeRecord(hDBICur cursor, std::int32_t offset, std::uint32_t lock, std::uint8_t* record,
                            void* recProps) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (offset == 0) return rc::NotSupported;
    for (std::int32_t i = 0; i < (offset < 0 ? -static_cast<std::int64_t>(offset) : offset); ++i) {
      const DBIResult r =
          offset < 0 ? kbe::getPriorRecord(c, 0, nullptr, nullptr) : kbe::getNextRecord(c, 0, nullptr, nullptr);
      if (r != rc::OK) return r;
    }
    return kbe::getRecord(c, lock, record, recProps);
  });
}

DBIResult getBookMark(hDBICur cursor, std::uint8_t* bookmark) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!bookmark) return rc::NotSupported;
    if (atBOF(c)) return rc::BOF;
    if (atEOF(c)) return rc::EOF_;
    if (c.forwardOnly) return rc::OK;
    std::memcpy(bookmark, c.bookmark.data(), kBookmarkSize);
    std::memcpy(bookmark, &c.stamp, sizeof c.stamp);
    return rc::OK;
  });
}

DBIResult setToBookMark(hDBICur cursor, const std::uint8_t* bookmark) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!bookmark) return rc::NotSupported;
    if (c.forwardOnly || headerStamp(bookmark) == c.stamp) return rc::OK;
    try {
      c.recordset->SetBookmark(conv::daoFromBookmark(bookmark + 4));
    } catch (...) {
      const unsigned n = currentDaoError();
      if (n != 3159 && n != 3167) throw;
      tolerantMove([&] { c.recordset->MoveFirst(); });
      capturePosition(c);
      return rc::OK;
    }
    capturePosition(c);
    // The caller's bookmark follows the cursor, so setting it again makes no move.
    std::memcpy(const_cast<std::uint8_t*>(bookmark), &c.stamp, sizeof c.stamp);
    return rc::OK;
  });
}

DBIResult getRecordCount(hDBICur cursor, std::uint32_t* count) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!count) return rc::NotSupported;
    *count = static_cast<std::uint32_t>(c.recordset->GetRecordCount());
    return rc::OK;
  });
}

DBIResult getExactRecordCount(hDBICur cursor, std::uint32_t* count) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!count) return rc::NotSupported;
    if (atBOF(c) && atEOF(c)) {
      *count = 0;
      return rc::OK;
    }
    if (c.activeFilters > 0 || c.lowRange || c.highRange) {
      std::uint32_t n = 0;
      DAORecordset* clone = nullptr;
      try {
        clone = cloneCursor(c);
      } catch (...) {
        convertCurrentFailure();
      }
      if (clone) {
        TCursorData& k = *cursorDataOf(clone);
        try {
          kbe::setToBegin(k);
          while (kbe::getNextRecord(k, 0, nullptr, nullptr) == rc::OK) ++n;
        } catch (...) {
          delete clone;
          throw;
        }
        delete clone;
      }
      *count = n;
      return rc::OK;
    }
    // The count of a clone moved to the last record: a dynaset here counts the
    // records its own recordset has reached, so this recordset's count would
    // only be exact once it has itself been to the end.
    std::unique_ptr<DAORecordset> clone = c.recordset->Clone();
    tolerantMove([&] { clone->_30_MoveLast(); });
    c.exactCount = true;
    *count = static_cast<std::uint32_t>(clone->GetRecordCount());
    return rc::OK;
  });
}

DBIResult getSeqNo(hDBICur cursor, std::uint32_t* sequence) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (c.isTableCursor()) return rc::NotSupported;
    if (atBOF(c)) return rc::BOF;
    if (atEOF(c)) return rc::EOF_;
    if (c.forwardOnly) return rc::OK;
    if (!sequence) return rc::NotSupported;
    *sequence = static_cast<std::uint32_t>(c.recordset->GetAbsolutePosition());
    return rc::OK;
  });
}

}  // namespace rs
}  // namespace kbe

using namespace kbe;

KBE_API DBIResult DbiCompareBookMarks(hDBICur cursor, const std::uint8_t* bookmark1, const std::uint8_t* bookmark2,
                                      std::int32_t* comparison) {
  if (!comparison) return rc::NotSupported;
  if (!bookmark1 || !bookmark2) {
    *comparison = !bookmark1 && !bookmark2 ? 0 : !bookmark1 ? -1 : 1;
    return rc::OK;
  }
  return onCursor(cursor, [&](TCursorData&) {
    std::int16_t result = 0;
    const DBIResult r =
        conv::compareBookmarks(conv::daoFromBookmark(bookmark1 + 4), conv::daoFromBookmark(bookmark2 + 4), result);
    if (r == rc::OK) *comparison = result;
    return r;
  });
}

KBE_API DBIResult DbiSetToCursor(hDBICur destination, hDBICur source) {
  return trap([&]() -> DBIResult {
    TCursorData* dst = cursorDataFromHandle(destination);
    TCursorData* src = cursorDataFromHandle(source);
    if (!dst || !src) return rc::NotSupported;
    if (src->recordset->GetBOF() || src->recordset->GetEOF()) return rc::NoCurrRec;
    try {
      dst->recordset->SetBookmark(src->recordset->GetBookmark());
      if ((dst->lowRange && range::recordBelowLowRange(*dst)) || (dst->highRange && range::recordAboveHighRange(*dst))) {
        setToBegin(*dst);
        return rc::BOF;
      }
      capturePosition(*dst);
    } catch (...) {
      convertCurrentFailure();
      return rc::InvalidHandle;
    }
    return rc::OK;
  });
}

KBE_API DBIResult DbiForceReread(hDBICur cursor) {
  return onCursor(cursor, [](TCursorData& c) {
    if (c.options.disableRefresh) return rc::OK;
    DAORecordset& rs = *c.recordset;
    if (rs.GetRestartable()) {
      rs.Requery(DAOMissing());
      capturePosition(c);
      return rc::OK;
    }
    try {
      if (!rs.GetBOF() && !rs.GetEOF()) rs.SetBookmark(rs.GetBookmark());
    } catch (...) {
    }
    return rc::OK;
  });
}
