// Cursor exports. Every export first tells what its handle is: an information
// cursor is served from memory (TInfoCursor); every other handle goes to the
// recordset path (KBEPI32_Recordset.h), which serves live recordset cursors
// and refuses anything else (null, closed or foreign) with 0x3001
// "operation not supported".
#include <cstdint>

#include "KBEPI32_Handles.h"
#include "KBEPI32_InfoCursor.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Recordset.h"
#include "kbe/kbe.h"

namespace kbe {
namespace {

// The one dispatch point of every cursor export: an information cursor runs
// `info`, every other handle runs `recordset`. Failures become result codes.
template <class InfoOp, class RecordsetOp>
DBIResult dispatch(hDBICur cursor, InfoOp&& info, RecordsetOp&& recordset) noexcept {
  return trap([&]() -> DBIResult {
    if (TInfoCursor* c = TInfoCursor::fromHandle(cursor)) return info(*c);
    return recordset();
  });
}

}  // namespace
}  // namespace kbe

using kbe::TInfoCursor;
using kbe::dispatch;

KBE_API DBIResult DbiCloseCursor(kbe::hDBICur* cursor) {
  if (!cursor) return kbe::rc::NotSupported;
  return dispatch(
      *cursor,
      [](TInfoCursor& c) {
        delete &c;
        return kbe::rc::OK;
      },
      [&] { return kbe::rs::closeCursor(cursor); });
}

KBE_API DBIResult DbiGetCursorProps(kbe::hDBICur cursor, kbe::CURProps* props) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getCursorProps(props); },
      [&] { return kbe::rs::getCursorProps(cursor, props); });
}

KBE_API DBIResult DbiGetFieldDescs(kbe::hDBICur cursor, kbe::FLDDesc* descs) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getFieldDescs(descs); },
      [&] { return kbe::rs::getFieldDescs(cursor, descs); });
}

KBE_API DBIResult DbiSetToBegin(kbe::hDBICur cursor) {
  return dispatch(
      cursor, [](TInfoCursor& c) { return c.setToBegin(); }, [&] { return kbe::rs::setToBegin(cursor); });
}

KBE_API DBIResult DbiSetToEnd(kbe::hDBICur cursor) {
  return dispatch(
      cursor, [](TInfoCursor& c) { return c.setToEnd(); }, [&] { return kbe::rs::setToEnd(cursor); });
}

// The record-properties argument is not filled for information cursors.
KBE_API DBIResult DbiGetRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getRecord(record); },
      [&] { return kbe::rs::getRecord(cursor, lock, record, recProps); });
}

KBE_API DBIResult DbiGetNextRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getNextRecord(record); },
      [&] { return kbe::rs::getNextRecord(cursor, lock, record, recProps); });
}

KBE_API DBIResult DbiGetPriorRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getPriorRecord(record); },
      [&] { return kbe::rs::getPriorRecord(cursor, lock, record, recProps); });
}

KBE_API DBIResult DbiGetRelativeRecord(kbe::hDBICur cursor, std::int32_t offset, std::uint32_t lock,
                                       std::uint8_t* record, void* recProps) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getRelativeRecord(offset, record); },
      [&] { return kbe::rs::getRelativeRecord(cursor, offset, lock, record, recProps); });
}

KBE_API DBIResult DbiGetBookMark(kbe::hDBICur cursor, std::uint8_t* bookmark) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getBookMark(bookmark); },
      [&] { return kbe::rs::getBookMark(cursor, bookmark); });
}

KBE_API DBIResult DbiSetToBookMark(kbe::hDBICur cursor, const std::uint8_t* bookmark) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.setToBookMark(bookmark); },
      [&] { return kbe::rs::setToBookMark(cursor, bookmark); });
}

KBE_API DBIResult DbiGetRecordCount(kbe::hDBICur cursor, std::uint32_t* count) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getRecordCount(count); },
      [&] { return kbe::rs::getRecordCount(cursor, count); });
}

KBE_API DBIResult DbiGetExactRecordCount(kbe::hDBICur cursor, std::uint32_t* count) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getRecordCount(count); },
      [&] { return kbe::rs::getExactRecordCount(cursor, count); });
}

KBE_API DBIResult DbiInitRecord(kbe::hDBICur cursor, std::uint8_t* record) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.initRecord(record); },
      [&] { return kbe::rs::initRecord(cursor, record); });
}

KBE_API DBIResult DbiGetField(kbe::hDBICur cursor, std::uint16_t field, const std::uint8_t* record, void* value,
                              std::int32_t* blank) {
  return dispatch(
      cursor, [&](TInfoCursor& c) { return c.getField(field, record, value, blank); },
      [&] { return kbe::rs::getField(cursor, field, record, value, blank); });
}

// Information cursors are read-only.
KBE_API DBIResult DbiPutField(kbe::hDBICur cursor, std::uint16_t field, std::uint8_t* record, const void* value) {
  return dispatch(
      cursor, [](TInfoCursor&) { return kbe::rc::NotSupported; },
      [&] { return kbe::rs::putField(cursor, field, record, value); });
}

// Information cursors have no sequence numbers.
KBE_API DBIResult DbiGetSeqNo(kbe::hDBICur cursor, std::uint32_t* sequence) {
  return dispatch(
      cursor, [](TInfoCursor&) { return kbe::rc::NotSupported; },
      [&] { return kbe::rs::getSeqNo(cursor, sequence); });
}
