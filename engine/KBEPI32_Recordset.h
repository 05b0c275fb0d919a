// The recordset branch of the cursor exports.
//
// The cursor exports first serve information cursors from memory; every other
// handle comes here. Each function checks that the handle is a live recordset
// cursor (anything else answers 0x3001 "operation not supported"), traps every
// failure into a result code, and never throws. Record buffers and bookmarks
// are laid out as described in KBEPI32_CursorData.h.
#pragma once

#include <cstdint>

#include "kbe/kbe.h"

namespace kbe::rs {

// Whether `handle` is a live recordset cursor.
bool isRecordsetCursor(void* handle) noexcept;

// ---- descriptors, close, properties --------------------------------------------
// Destroys the cursor; a cursor made from a statement then releases the
// statement with DbiQFree and answers its status. The caller's variable is
// left as it is.
DBIResult closeCursor(hDBICur* cursor) noexcept;
DBIResult getCursorProps(hDBICur cursor, CURProps* props) noexcept;
DBIResult getFieldDescs(hDBICur cursor, FLDDesc* descs) noexcept;
// DbiGetProp / DbiSetProp on a cursor: 0x00050002 (get: "TABLE") and
// 0x04050000 (update lock mode: get 0, set 0/1/2 accepted).
DBIResult getProp(hDBIObj cursor, std::uint32_t property, void* value, std::int16_t size,
                  std::uint16_t* length) noexcept;
DBIResult setProp(hDBIObj cursor, std::uint32_t property, std::uintptr_t value) noexcept;

// ---- navigation --------------------------------------------------------------------
DBIResult setToBegin(hDBICur cursor) noexcept;
DBIResult setToEnd(hDBICur cursor) noexcept;
DBIResult getRecord(hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) noexcept;
DBIResult getNextRecord(hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) noexcept;
DBIResult getPriorRecord(hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) noexcept;
DBIResult getRelativeRecord(hDBICur cursor, std::int32_t offset, std::uint32_t lock, std::uint8_t* record,
                            void* recProps) noexcept;
DBIResult getBookMark(hDBICur cursor, std::uint8_t* bookmark) noexcept;
// Writes the new position stamp into bytes 0-3 of `bookmark` after a move.
DBIResult setToBookMark(hDBICur cursor, const std::uint8_t* bookmark) noexcept;
DBIResult getRecordCount(hDBICur cursor, std::uint32_t* count) noexcept;
DBIResult getExactRecordCount(hDBICur cursor, std::uint32_t* count) noexcept;
DBIResult getSeqNo(hDBICur cursor, std::uint32_t* sequence) noexcept;

// ---- record buffers and fields ----------------------------------------------------
DBIResult initRecord(hDBICur cursor, std::uint8_t* record) noexcept;
// Fetches an unfetched field into `record` (which is written).
DBIResult getField(hDBICur cursor, std::uint16_t field, const std::uint8_t* record, void* value,
                   std::int32_t* blank) noexcept;
DBIResult putField(hDBICur cursor, std::uint16_t field, std::uint8_t* record, const void* value) noexcept;

}  // namespace kbe::rs
