// Bde: the program's binding to the engine library "KBE3235.DLL" (the file
// libKBE3235.so).
//
// The program does not link the engine. The binding finds the library file at
// run time, initialises the engine with DbiInitFn and ends it with DbiExit
// (both looked up by export name), and reaches every other engine function
// through a binding table of 706 entries, each bound by its export ordinal on
// its own first call:
//
//  - Every Dbi* function below calls through its entry's current target. At
//    program start that target is the entry's unresolved handler; the handler
//    attaches the library when needed (under the loader lock), looks the
//    entry's ordinal up and stores the engine function as the new target, then
//    continues into it with the caller's arguments, so its result is the
//    call's result. From then on a call is one indirect call.
//  - When the entry cannot be bound the handler returns a result code without
//    calling anything and the entry stays unresolved, so the next call tries
//    again: 8458 when the library cannot be found or loaded, 10063 when the
//    library exports nothing at that ordinal.
//
// DbiInitFn answers 8456 (library file not found: system errors 2, 3, 126,
// 161), 9473 (system error 14), 8457 (any other load failure) or 10758 (no
// export "DbiInitFn"); DbiExit answers 10063 when no library is kept or it has
// no export "DbiExit". Every other result is the engine's.
//
// Locating the library (DbiInitFn, and an attach that does not find it already
// loaded) tries, with the process error mode set to SEM_NOOPENFILEERRORBOX and
// restored afterwards: the current directory; the directories listed in the
// registry value DLLPATH of HKEY_LOCAL_MACHINE
// "Software\Corvane\Keelbase\KBEPI" (separated by ';' or ':'); the system
// search for shared libraries (the program's RUNPATH holds $ORIGIN).
//
// The signatures are those of the engine's public header.
//
// Thread safety: attach and every resolution run under one process-wide loader
// lock (a critical section whose creation is serialised by the named mutex
// "LIBLDRMUX"), and DbiInitFn calls the engine's DbiInitFn under it. DbiExit
// calls the engine without it (it is called once, at shutdown) and takes it
// only to forget the bindings of a library it unloaded. The engine itself
// expects its calls from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "../../engine/include/kbe/kbe.h"
#include "platform/wintypes.h"

namespace Bde {

// ---- records ---------------------------------------------------------------

#pragma pack(push, 1)

// The environment record of DbiInitFn (588 bytes). The program fills it with
// zeros except szLang, which holds "0009".
struct DBIEnv {
  char szWorkDir[261];
  char szIniFile[261];
  kbe::BOOL16 bForceLocalInit;
  char szLang[32];
  char szClientName[32];
};
static_assert(sizeof(DBIEnv) == 588);

// The unload notification routine: receives a module handle.
using UnloadNotifyRoutine = void (*)(kh::win::HMODULE module);

// The static record the program hands to the engine through the attach
// record: tag "QXT", version 1, the address of the unload notification
// routine (an address field, so pointer-sized on this platform).
struct ClientRecord {
  char tag[4];
  std::uint16_t version;
  UnloadNotifyRoutine unloadNotify;
};
static_assert(sizeof(ClientRecord) == 6 + sizeof(void*));

// The record passed to the engine's DLLINITFUNCTION, built afresh for each
// attach: version 1, the address of the library file name, the address of the
// client record (both pointer-sized).
struct AttachRecord {
  std::uint16_t version;
  const char* fileName;
  const ClientRecord* client;
};
static_assert(sizeof(AttachRecord) == 2 + 2 * sizeof(void*));

#pragma pack(pop)

// Number of binding table entries.
constexpr std::size_t kEntryCount = 706;

// The binding table: one entry per interface function known to the binding
// (its current target, its ordinal, its unresolved handler). Defined with the
// binding.
struct BindingTable;

// The record of the engine library: the module handle of the attached library
// (null until the first resolution attaches it, and again after the DbiExit
// that unloads it), the library's file name "KBE3235.DLL" and the table whose
// targets its resolutions fill in.
struct EngineLibrary {
  kh::win::HMODULE module;
  char fileName[32];
  const BindingTable* table;
};

// What an unresolved handler hands to the resolution: the library record, the
// entry's index and the entry's ordinal.
struct PendingResolution {
  EngineLibrary* library;
  std::uint32_t index;
  std::uint32_t ordinal;
};

// ---- types of the filter functions -------------------------------------------

using hDBIFilter = void*;
// A record filter: called with (client data, record buffer, 0); the record is
// accepted when the low byte of the result is not 0.
using FilterCallback = std::int16_t (*)(std::uint32_t clientData, std::uint8_t* record,
                                        std::int32_t phyRecNum);

// ---- initialisation and exit ----------------------------------------------------

// Loads the library when no engine handle is kept yet, then calls the
// engine's DbiInitFn under the loader lock. On success the first call keeps
// the module handle as the engine handle and every success counts one
// initialisation; a failure leaves no library reference and no count behind.
// The engine answers a second initialisation with 10759 (0x2A07), which the
// caller treats as success.
DBIResult DbiInitFn(std::uint16_t version, void* environment);

// Calls the engine's DbiExit (looked up in the kept engine handle). A non-zero
// result is returned and nothing changes; on success one initialisation is
// taken back, and the last one frees the library and forgets the handle. When
// that unloads the library, every entry is unresolved again, so a later
// DbiInitFn starts afresh.
DBIResult DbiExit();

// ---- functions bound by ordinal (the ordinals: BdeTable.inc) ----------------

// Sessions, callbacks, language drivers and object properties.
DBIResult DbiStartSession(const char* name, kbe::hDBISes* session, const char* netDir);
DBIResult DbiSetCurrSession(kbe::hDBISes session);
DBIResult DbiGetCurrSession(kbe::hDBISes* session);
DBIResult DbiCloseSession(kbe::hDBISes session);
DBIResult DbiSetPrivateDir(const char* directory);
DBIResult DbiGetSesInfo(kbe::SESInfo* info);
DBIResult DbiRegisterCallBack(kbe::hDBICur cursor, std::uint32_t type, std::uint32_t clientData,
                              std::uint16_t bufferLength, void* buffer, kbe::DetachCallback function);
DBIResult DbiGetCallBack(kbe::hDBICur cursor, std::uint32_t type, std::uint32_t* clientData,
                         std::uint16_t* bufferLength, void** buffer, kbe::DetachCallback* function);
DBIResult DbiGetLdObj(kbe::hDBICur cursor, void** ldObj);
DBIResult OsLdLoadBySymbName(const char* name, void** ldObj);
DBIResult OsLdUnloadObj(void** ldObj);
DBIResult DbiGetLdNameFromDb(kbe::hDBIDb db, const char* objName, char* ldName);
DBIResult DbiNativeToAnsi(void* ldObj, char* destination, const char* source, std::uint32_t length,
                          kbe::BOOL16* dataLoss);
DBIResult DbiAnsiToNative(void* ldObj, char* destination, const char* source, std::uint32_t length,
                          kbe::BOOL16* dataLoss);
DBIResult DbiGetProp(kbe::hDBIObj object, std::uint32_t property, void* value, std::int16_t size,
                     std::uint16_t* length);
DBIResult DbiSetProp(kbe::hDBIObj object, std::uint32_t property, std::uintptr_t value);
DBIResult DbiGetObjFromName(std::uint32_t type, const char* name, kbe::hDBIObj* object);
DBIResult DbiGetObjFromObj(kbe::hDBIObj object, std::uint32_t type, kbe::hDBIObj* result);

// Errors.
DBIResult DbiGetErrorString(DBIResult result, char* message);
DBIResult DbiGetErrorEntry(std::uint16_t entry, std::uint32_t* nativeError, char* message);

// Configuration and aliases.
DBIResult DbiGetDatabaseDesc(const char* alias, kbe::DBDesc* desc);
DBIResult DbiCfgPosition(kbe::hDBICfg cfg, const char* path);
DBIResult DbiCfgDropRecord(kbe::hDBICfg cfg, const char* path);
DBIResult DbiOpenCfgInfoList(kbe::hDBICfg cfg, std::uint32_t openMode, std::uint32_t configMode,
                             const char* path, kbe::hDBICur* cursor);
DBIResult DbiAddAlias(kbe::hDBICfg cfg, const char* alias, const char* driverType, const char* params,
                      kbe::BOOL16 persist);
DBIResult DbiDeleteAlias(kbe::hDBICfg cfg, const char* alias);

// Databases.
DBIResult DbiOpenDatabase(const char* alias, const char* dbType, std::uint32_t openMode,
                          std::uint32_t shareMode, const char* password, std::uint16_t optionalFields,
                          const kbe::FLDDesc* optionalDescs, const void* optionalValues, kbe::hDBIDb* db);
DBIResult DbiCloseDatabase(kbe::hDBIDb* db);

// Cursors, navigation, records and fields.
DBIResult DbiGetCursorProps(kbe::hDBICur cursor, kbe::CURProps* props);
DBIResult DbiGetFieldDescs(kbe::hDBICur cursor, kbe::FLDDesc* descs);
DBIResult DbiCloseCursor(kbe::hDBICur* cursor);
DBIResult DbiGetIndexDesc(kbe::hDBICur cursor, std::uint16_t sequence, kbe::IDXDesc* desc);
DBIResult DbiGetVchkDesc(kbe::hDBICur cursor, std::uint16_t sequence, kbe::VCHKDesc* desc);
DBIResult DbiSetToBegin(kbe::hDBICur cursor);
DBIResult DbiSetToEnd(kbe::hDBICur cursor);
DBIResult DbiSetToCursor(kbe::hDBICur destination, kbe::hDBICur source);
DBIResult DbiGetNextRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps);
DBIResult DbiGetPriorRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps);
DBIResult DbiGetRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps);
DBIResult DbiGetRecordForKey(kbe::hDBICur cursor, kbe::BOOL16 directKey, std::uint16_t fieldCount,
                             std::uint16_t partialLength, const std::uint8_t* key, std::uint8_t* record);
DBIResult DbiGetBookMark(kbe::hDBICur cursor, std::uint8_t* bookmark);
DBIResult DbiSetToBookMark(kbe::hDBICur cursor, const std::uint8_t* bookmark);
DBIResult DbiCompareBookMarks(kbe::hDBICur cursor, const std::uint8_t* bookmark1,
                              const std::uint8_t* bookmark2, std::int32_t* comparison);
DBIResult DbiGetExactRecordCount(kbe::hDBICur cursor, std::uint32_t* count);
DBIResult DbiForceReread(kbe::hDBICur cursor);
DBIResult DbiInitRecord(kbe::hDBICur cursor, std::uint8_t* record);
DBIResult DbiGetField(kbe::hDBICur cursor, std::uint16_t field, const std::uint8_t* record, void* value,
                      std::int32_t* blank);
DBIResult DbiPutField(kbe::hDBICur cursor, std::uint16_t field, std::uint8_t* record, const void* value);
DBIResult DbiInsertRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record);
DBIResult DbiAppendRecord(kbe::hDBICur cursor, std::uint8_t* record);
DBIResult DbiModifyRecord(kbe::hDBICur cursor, std::uint8_t* record, kbe::BOOL16 freeLock);
DBIResult DbiDeleteRecord(kbe::hDBICur cursor, std::uint8_t* record);
DBIResult DbiRelRecordLock(kbe::hDBICur cursor, kbe::BOOL16 all);

// Queries.
DBIResult DbiQAlloc(kbe::hDBIDb db, std::uint32_t queryLanguage, kbe::hDBIStmt* statement);
DBIResult DbiQPrepare(kbe::hDBIStmt statement, const char* sql);
DBIResult DbiQSetParams(kbe::hDBIStmt statement, std::uint16_t count, const kbe::FLDDesc* descs,
                        const std::uint8_t* record);
DBIResult DbiQExec(kbe::hDBIStmt statement, kbe::hDBICur* cursor);
DBIResult DbiQFree(kbe::hDBIStmt* statement);

// Blobs.
DBIResult DbiOpenBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t openMode);
DBIResult DbiGetBlobSize(kbe::hDBICur cursor, const std::uint8_t* record, std::uint16_t field,
                         std::uint32_t* size);
DBIResult DbiGetBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                     std::uint32_t length, std::uint8_t* destination, std::uint32_t* read);
DBIResult DbiPutBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                     std::uint32_t length, const std::uint8_t* source);
DBIResult DbiTruncateBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field,
                          std::uint32_t length);
DBIResult DbiFreeBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field);

// Filters.
DBIResult DbiAddFilter(kbe::hDBICur cursor, std::uint32_t clientData, std::uint16_t priority,
                       kbe::BOOL16 canAbort, const void* expression, FilterCallback callback,
                       hDBIFilter* filter);
DBIResult DbiDropFilter(kbe::hDBICur cursor, hDBIFilter filter);
DBIResult DbiActivateFilter(kbe::hDBICur cursor, hDBIFilter filter);
DBIResult DbiDeactivateFilter(kbe::hDBICur cursor, hDBIFilter filter);

// Calls, through its binding entry, an interface function that takes no
// arguments: the entries of the ordinals 32, 74, 75, 120, 222, 224, 1162,
// 1163, 9006 and 9011, where the engine exports nothing, so the call answers
// 10063 (or 8458 without a library) each time. An ordinal that has no entry,
// or whose entry is one of the functions above, answers 0x2702 (invalid
// parameters) without calling anything.
DBIResult callByOrdinal(std::uint16_t ordinal);

// ---- the binding's state ---------------------------------------------------

// The ordinals column of the binding table, by entry index.
std::span<const std::uint16_t, kEntryCount> ordinals() noexcept;

// Whether the entry of `ordinal` is bound to an engine function (false for an
// ordinal without an entry).
bool isBound(std::uint16_t ordinal) noexcept;

// The module handle kept by the first successful DbiInitFn; null before it and
// after the DbiExit that frees the library.
kh::win::HMODULE engineHandle() noexcept;

// Successful DbiInitFn calls not yet matched by a successful DbiExit.
std::uint16_t initializationCount() noexcept;

// The engine library record (its module is the attached library).
const EngineLibrary& engineLibrary() noexcept;

// The client record handed to the engine.
const ClientRecord& clientRecord() noexcept;

// The unload notification routine (its address stands in the client record):
// serialises on the loader lock, then tears the lock down. It changes no
// binding entry and no handle.
void unloadNotify(kh::win::HMODULE module) noexcept;

// The first place the library is looked for: `directory`, a '/' and the file
// name; the '/' is left out when the directory is empty or already ends with
// one.
std::string candidatePath(const std::string& directory, const char* fileName);

// Locates and loads the library file `fileName` ("KBE3235.DLL") from
// `directory` (null or empty: the current directory), the registry's DLLPATH
// and the system search, in this order. Returns the module handle (one
// reference taken) or null with the last error of the final attempt; the
// process error mode is as before on every path.
kh::win::HMODULE locateLibrary(const char* directory, const char* fileName) noexcept;

}  // namespace Bde
