// SQL statements on Jet.
//
// A statement handle is a DAOQueryDef wrapper whose user data is a TQueryData
// (KBEPI32_CursorData.h), registered as a HandleKind::Statement handle. Its
// parent wrapper is always the database it was made in. DbiQAlloc makes a
// temporary query definition; DbiQPrepareProc takes a stored one. Each
// DbiQExec that returns a cursor counts one open cursor on the statement, and
// each DbiQFree (the one made by DbiCloseCursor included) takes one back
// before the final one destroys the statement. Result descriptors are built
// by the first execution and reused by later ones; preparing another text
// makes the next execution build new ones (cursors still open keep theirs).
#pragma once

#include <cstdint>
#include <string>

#include "CvDAO35.h"
#include "KBEPI32_CursorData.h"
#include "kbe/kbe.h"

namespace kbe::stmt {

// Rewrites the parameter markers of an SQL text for Jet: every "?" outside
// quoted sections ("...", #...#, '...', [...]; a doubled closing character
// continues the section) becomes "Par_<n>" with n counting from 1, and "//"
// comments are removed up to (not including) the next CR, LF or the end.
// `markers` receives the number of markers replaced.
std::string rewriteMarkers(const std::string& sql, std::int32_t& markers);

// The statement behind a live statement handle, or null for anything else.
DAOQueryDef* statementFromHandle(void* handle) noexcept;
// Its record (null when `statement` is null or carries none).
TQueryData* queryDataOf(const DAOQueryDef* statement) noexcept;

// The statement branch of DbiGetProp / DbiSetProp. Any other handle, or a
// property not listed, gives 0x3001; a get with a null value buffer gives 0
// and writes nothing (nor does one with a buffer too small for the value).
//   0x00060004 (get)       the language driver "KBE Ansi"
//   0x00060010 (get, set)  unidirectional: 1 forward-only, else 0
//   0x00060014 (get)       rows affected by the last execution
//   0x00060021 (get, set)  liveness: 1 live, 2 canned (read-only)
DBIResult getProp(void* handle, std::uint32_t property, void* value, std::int16_t size,
                  std::uint16_t* length) noexcept;
DBIResult setProp(void* handle, std::uint32_t property, std::uintptr_t value) noexcept;

}  // namespace kbe::stmt
