// Recordset cursors: record buffers field by field, and writing records.
//
// The caller builds or changes a record in its own buffer (DbiInitRecord,
// DbiPutField, the blob calls), then hands it to DbiInsertRecord or
// DbiModifyRecord; only the fields marked changed reach the DAO record, in one
// AddNew/Edit and Update. DAO's update errors become the statuses of the
// update error table.
#include <cstring>

#include "KBEPI32_Blob.h"
#include "KBEPI32_CursorData.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Recordset.h"

namespace kbe {
namespace {

using kh::Variant;

// The status of the failure being handled (call inside a catch block), logged:
// DAO errors through the update error table with `fallback` for numbers it
// does not name, every other failure through the exception mapping.
DBIResult updateFailure(DBIResult fallback) noexcept {
  bool dao = false;
  unsigned number = 0;
  try {
    throw;
  } catch (const EDAOError& e) {
    dao = true;
    number = kh::DaoErrorNumber(e.errorCode());
  } catch (...) {
  }
  const DBIResult mapped = convertCurrentFailure();
  return dao ? updateErrorStatus(static_cast<std::int32_t>(number), fallback) : mapped;
}

// Writes the changed fields of `record` into the recordset (which is in
// AddNew or Edit mode).
void writeChangedFields(TCursorData& cursor, const std::uint8_t* record) {
  DAORecordset& rs = *cursor.recordset;
  for (const TFieldEntry& f : cursor.info().fields) {
    const std::uint8_t status = slotStatus(record, f);
    if (!(status & conv::kChanged)) continue;
    if (f.isBlob()) {
      if (TBlob* b = blob::inSlot(cursor.recordset, f.daoPosition, slotData(record, f)))
        blob::writeBack(b, &rs, f.daoPosition);
      continue;
    }
    rs.SetCollect(kh::Variant(std::int32_t{f.daoPosition}),
                  conv::slotIntoValue(f.daoType, status, f.zeroLengthAllowed != 0, f.desc.iLen, slotData(record, f)));
  }
}

enum class Place { Begin, End, Record };

DBIResult insertRecord(TCursorData& c, std::uint32_t lock, std::uint8_t* record) {
  if (!record) return rc::NotSupported;
  DAORecordset& rs = *c.recordset;
  Place place = Place::Record;
  Variant saved;
  if (rs.GetBOF()) {
    place = Place::Begin;
  } else if (rs.GetEOF()) {
    place = Place::End;
  } else if (!c.forwardOnly) {
    try {
      saved = rs.GetBookmark();
    } catch (...) {
      // A record deleted under the cursor has no bookmark to return to.
    }
  }

  DBIResult status = rc::OK;
  try {
    rs.AddNew();
    writeChangedFields(c, record);
    rs._30_Update();
    if (!c.forwardOnly) rs.SetBookmark(rs.GetLastModified());
    capturePosition(c);
    writeRecordHeader(c, record);
  } catch (...) {
    status = updateFailure(rc::RequiredFieldMissing);
  }
  if (status == rc::OK && lock != 0) {
    try {
      rs.Edit();
    } catch (...) {
      convertCurrentFailure();
      status = rc::RecordLockFailed;
    }
  }
  if (status == rc::OK) return status;

  // Put the cursor back where it stood; the new record, if still pending, is dropped.
  try {
    if (rs.GetEditMode() == kh::dao::dbEditAdd) rs._30_CancelUpdate();
  } catch (...) {
  }
  try {
    switch (place) {
      case Place::Begin:
        if (rs.GetRecordCount() > 0) {
          tolerantMove([&] { rs.MoveFirst(); });
          if (!rs.GetBOF()) tolerantMove([&] { rs.MovePrevious(); });
        }
        break;
      case Place::End:
        if (rs.GetRecordCount() > 0) {
          tolerantMove([&] { rs._30_MoveLast(); });
          if (!rs.GetEOF()) tolerantMove([&] { rs.MoveNext(); });
        }
        break;
      case Place::Record:
        if (saved.isArray()) rs.SetBookmark(saved);
        break;
    }
    capturePosition(c);
  } catch (...) {
    convertCurrentFailure();
  }
  return status;
}

DBIResult modifyRecord(TCursorData& c, std::uint8_t* record, bool freeLock) {
  if (!record) return rc::NotSupported;
  DAORecordset& rs = *c.recordset;
  if (rs.GetBOF()) return rc::BOF;
  if (rs.GetEOF()) return rc::EOF_;
  if (rs.GetEditMode() != kh::dao::dbEditInProgress) {
    try {
      rs.Edit();
    } catch (...) {
    }
    if (rs.GetEditMode() != kh::dao::dbEditInProgress) return rc::RecordLockFailed;
  }
  writeChangedFields(c, record);
  try {
    rs._30_Update();
  } catch (...) {
    return updateFailure(rc::RequiredFieldMissing);
  }
  if (!c.forwardOnly) rs.SetBookmark(rs.GetLastModified());
  capturePosition(c);
  if (!freeLock) {
    try {
      rs.Edit();
    } catch (...) {
      convertCurrentFailure();
      return rc::RecordLockFailed;
    }
  }
  return rc::OK;
}

}  // namespace

namespace rs {

DBIResult initRecord(hDBICur cursor, std::uint8_t* record) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    if (!record) return rc::NotSupported;
    const std::vector<std::uint8_t>& defaults = c.info().getDefaultRecord();
    std::memcpy(record, defaults.data(), defaults.size());
    return rc::OK;
  });
}

DBIResult getField(hDBICur cursor, std::uint16_t field, const std::uint8_t* constRecord, void* value,
                   std::int32_t* blank) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    TFieldEntry* f = fieldEntry(c, field);
    if (!constRecord || !f) return rc::NotSupported;
    // Reading a field fetches it into the caller's buffer.
    auto* record = const_cast<std::uint8_t*>(constRecord);
    if (!value && blank && f->isBlob()) {
      if (TBlob* b = blob::inSlot(c.recordset, f->daoPosition, slotData(record, *f))) {
        *blank = b->size() == 0 ? -1 : 0;
        return rc::OK;
      }
      if (!headerHasBookmark(record)) {
        *blank = -1;
        return rc::OK;
      }
      DAORecordset& access = recordsetForHeader(owningCursor(c, record), record);
      const std::int32_t size = access.GetFields()->GetItem(Variant(std::int32_t{f->daoPosition}))->GetFieldSize();
      *blank = size == 0 ? -1 : 0;
      return rc::OK;
    }
    fetchField(c, *f, record);
    const bool present = (slotStatus(record, *f) & conv::kPresent) != 0;
    if (blank) *blank = present ? 0 : -1;
    if (present && value) std::memcpy(value, slotData(record, *f), f->desc.iLen);
    return rc::OK;
  });
}

DBIResult putField(hDBICur cursor, std::uint16_t field, std::uint8_t* record, const void* value) noexcept {
  return onCursor(cursor, [&](TCursorData& c) {
    TFieldEntry* f = fieldEntry(c, field);
    if (!record || !f) return rc::NotSupported;
    std::uint8_t& status = slotStatus(record, *f);
    if (value) {
      status |= conv::kPresent;
      std::memcpy(slotData(record, *f), value, f->desc.iLen);
    } else {
      status = static_cast<std::uint8_t>(status & ~conv::kPresent);
    }
    status = static_cast<std::uint8_t>((status | conv::kChanged) & ~conv::kUnfetched);
    return rc::OK;
  });
}

}  // namespace rs
}  // namespace kbe

using namespace kbe;

KBE_API DBIResult DbiInsertRecord(hDBICur cursor, std::uint32_t lock, std::uint8_t* record) {
  return onCursor(cursor, [&](TCursorData& c) { return insertRecord(c, lock, record); });
}

KBE_API DBIResult DbiAppendRecord(hDBICur cursor, std::uint8_t* record) {
  return onCursor(cursor, [&](TCursorData& c) { return insertRecord(c, 0, record); });
}

KBE_API DBIResult DbiModifyRecord(hDBICur cursor, std::uint8_t* record, BOOL16 freeLock) {
  return onCursor(cursor, [&](TCursorData& c) { return modifyRecord(c, record, freeLock != 0); });
}

KBE_API DBIResult DbiDeleteRecord(hDBICur cursor, std::uint8_t* record) {
  return onCursor(cursor, [&](TCursorData& c) {
    DAORecordset& rs = *c.recordset;
    if (rs.GetBOF()) return rc::BOF;
    if (rs.GetEOF()) return rc::EOF_;
    if (record && readCurrentRecord(c, 0, record) == rc::OK) {
      // Once deleted the record can no longer be read: fetch the buffer's
      // fields now, so the caller gets the whole record it deleted (without
      // counting these reads as the caller's use of the fields).
      for (TFieldEntry& f : c.info().fields) {
        if (f.isBlob() || !(slotStatus(record, f) & conv::kUnfetched)) continue;
        slotStatus(record, f) |= conv::kCounted;
        fetchField(c, f, record);
      }
    }
    rs.Delete();
    capturePosition(c);
    c.onDeleted = true;
    return rc::OK;
  });
}

KBE_API DBIResult DbiRelRecordLock(hDBICur cursor, BOOL16 /*all*/) {
  return onCursor(cursor, [](TCursorData& c) {
    DAORecordset& rs = *c.recordset;
    if (rs.GetBOF()) return rc::BOF;
    if (rs.GetEOF()) return rc::EOF_;
    if (rs.GetEditMode() == kh::dao::dbEditNone) return rc::NotSupported;
    rs._30_CancelUpdate();
    return rc::OK;
  });
}
