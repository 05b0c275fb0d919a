// The engine binding: binding table, lazy resolution by ordinal, locating and
// loading the library, initialisation and exit, and the loader lock.
//
// Realisation of the binding table. Each entry is a slot template instance
// (Slot<index, signature>) holding the entry's current target as an atomic
// function pointer of the function's own type, initialised at compile time to
// the entry's unresolved handler (Slot::unresolved, generated per entry). A
// Dbi* function loads the target and calls it with its arguments, which the
// compiler turns into one indirect jump. The unresolved handler has the same
// signature as the function, so it receives the caller's arguments unchanged:
// it resolves the entry and either continues into the engine function with
// them or returns the result code of the failure without calling anything.
// Entries whose function the program does not call have the no-argument
// signature.
//
// A resolution yields either a code address or a result code; here the two
// travel side by side in a Resolution record. The pending resolution (library
// record, entry index, ordinal) is built by each handler on its own stack, so
// two threads resolving different entries at the same moment cannot overwrite
// each other's request.
#include "binding/Bde.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/dirs.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/sync.h"

namespace Bde {

namespace win = kh::win;

namespace {

// Result codes of the binding itself.
constexpr DBIResult kLibraryNotFound = 0x2108;    // 8456: DbiInitFn found no library file
constexpr DBIResult kLibraryLoadFailed = 0x2109;  // 8457: found, but it could not be loaded
constexpr DBIResult kAttachFailed = 0x210A;       // 8458: a lazily bound call found no library
constexpr DBIResult kOutOfMemory = 0x2501;        // 9473: system error 14 while loading
constexpr DBIResult kInvalidParam = 0x2702;       // 9986
constexpr DBIResult kNotImplemented = 0x274F;     // 10063: no export at the ordinal, or no "DbiExit"
constexpr DBIResult kNotInitialized = 0x2A06;     // 10758: no export "DbiInitFn"

constexpr char kLibraryFileName[] = "KBE3235.DLL";
constexpr char kLoaderMutexName[] = "LIBLDRMUX";
constexpr char kSearchPathKey[] = "Software\\Corvane\\Keelbase\\KBEPI";
constexpr char kSearchPathValue[] = "DLLPATH";

// ---- the ordinals column ----------------------------------------------------

constexpr std::array<std::uint16_t, kEntryCount> kOrdinals = {
#define BDE_ORDINAL_ROWS
#include "BdeTable.inc"
#undef BDE_ORDINAL_ROWS
};

constexpr bool descendingRun(std::size_t first, std::size_t last, unsigned high, unsigned low) {
  if (kOrdinals[first] != high || kOrdinals[last] != low) return false;
  for (std::size_t i = first; i < last; ++i)
    if (kOrdinals[i] <= kOrdinals[i + 1]) return false;
  return true;
}

constexpr bool allDistinct() {
  std::array<bool, 0x10000> seen{};
  for (const std::uint16_t ordinal : kOrdinals) {
    if (seen[ordinal]) return false;
    seen[ordinal] = true;
  }
  return true;
}

static_assert(descendingRun(0, 33, 8265, 1500));
static_assert(descendingRun(34, 323, 9012, 142));
static_assert(descendingRun(324, 705, 897, 4));
static_assert(allDistinct());

// Entry index of an ordinal; kEntryCount when no entry has it.
constexpr std::size_t entryIndex(unsigned ordinal) noexcept {
  for (std::size_t i = 0; i < kEntryCount; ++i)
    if (kOrdinals[i] == ordinal) return i;
  return kEntryCount;
}

// The program's call sites at ordinals where the engine exports nothing.
static_assert(entryIndex(32) < kEntryCount && entryIndex(74) < kEntryCount && entryIndex(75) < kEntryCount &&
              entryIndex(120) < kEntryCount && entryIndex(222) < kEntryCount &&
              entryIndex(224) < kEntryCount && entryIndex(1162) < kEntryCount &&
              entryIndex(1163) < kEntryCount && entryIndex(9006) < kEntryCount &&
              entryIndex(9011) < kEntryCount);

// ---- signatures ---------------------------------------------------------------

// The signature of the function at an ordinal: the declaration in Bde.h for
// the functions the program calls, no arguments for every other entry.
template <unsigned Ordinal>
struct Signature {
  using type = DBIResult();
  static constexpr bool named = false;
};

// Our declaration must be the engine's, except where the engine's header
// still declares an open argument list.
template <class Ours, class Engines>
constexpr bool agreesWithEngine = std::is_same_v<Ours, Engines> || std::is_same_v<Engines, DBIResult(...)>;

#define BDE_FUNCTION(name, ordinal)                                                             \
  static_assert(agreesWithEngine<decltype(Bde::name), decltype(::name)>,                        \
                #name " is declared differently from the engine's " #name);                     \
  static_assert(entryIndex(ordinal) < kEntryCount, #name " has no entry in the binding table"); \
  template <>                                                                                   \
  struct Signature<ordinal> {                                                                   \
    using type = decltype(Bde::name);                                                           \
    static constexpr bool named = true;                                                         \
  };
#include "BdeTable.inc"
#undef BDE_FUNCTION

// ---- resolution ---------------------------------------------------------------

// The outcome of a resolution: the engine function, or (address null) the
// result code to hand back instead.
struct Resolution {
  win::FARPROC address;
  DBIResult result;
};

using StoreTarget = void (*)(win::FARPROC address) noexcept;

Resolution resolve(const PendingResolution& pending, StoreTarget store) noexcept;
EngineLibrary* libraryRecord() noexcept;

template <std::size_t Index, class Function>
struct Slot;

template <std::size_t Index, class... Args>
struct Slot<Index, DBIResult(Args...)> {
  using Target = DBIResult (*)(Args...);

  // The entry's unresolved handler.
  static DBIResult unresolved(Args... args) {
    const PendingResolution pending{libraryRecord(), static_cast<std::uint32_t>(Index), kOrdinals[Index]};
    const Resolution resolution = resolve(pending, &store);
    if (!resolution.address) return resolution.result;
    return reinterpret_cast<Target>(resolution.address)(args...);
  }

  static void store(win::FARPROC address) noexcept {
    target.store(reinterpret_cast<Target>(address), std::memory_order_release);
  }
  static void reset() noexcept { target.store(&unresolved, std::memory_order_release); }
  static bool bound() noexcept { return target.load(std::memory_order_acquire) != &unresolved; }

  // A call of the function: straight through the current target.
  static DBIResult call(Args... args) { return target.load(std::memory_order_acquire)(args...); }

  static inline constinit std::atomic<Target> target{&unresolved};
};

template <std::size_t Index>
using SlotAt = Slot<Index, typename Signature<kOrdinals[Index]>::type>;

template <unsigned Ordinal>
using Entry = SlotAt<entryIndex(Ordinal)>;

}  // namespace

// The run-time view of the binding table: per entry its ordinal and the
// operations on its slot.
struct EntryOperations {
  bool (*bound)() noexcept;
  void (*reset)() noexcept;
  DBIResult (*callWithoutArguments)();  // null for the functions of Bde.h
};

struct BindingTable {
  const std::uint16_t* ordinals;
  const EntryOperations* entries;
};

namespace {

template <std::size_t Index>
constexpr EntryOperations operationsAt() {
  using S = SlotAt<Index>;
  if constexpr (Signature<kOrdinals[Index]>::named)
    return {&S::bound, &S::reset, nullptr};
  else
    return {&S::bound, &S::reset, &S::call};
}

template <std::size_t... Index>
constexpr std::array<EntryOperations, kEntryCount> makeEntryOperations(std::index_sequence<Index...>) {
  return {operationsAt<Index>()...};
}

constexpr std::array<EntryOperations, kEntryCount> kEntryOperations =
    makeEntryOperations(std::make_index_sequence<kEntryCount>{});

constexpr BindingTable kBindingTable{kOrdinals.data(), kEntryOperations.data()};

// ---- state ------------------------------------------------------------------------

EngineLibrary gLibrary{nullptr, "KBE3235.DLL", &kBindingTable};

const ClientRecord gClientRecord{{'Q', 'X', 'T', '\0'}, 1, &unloadNotify};

// Initialisation state.
std::atomic<win::HMODULE> gEngineHandle{nullptr};
std::atomic<std::uint16_t> gInitCount{0};

// The loader lock, whether it exists, and the number of threads creating it
// at this moment.
win::CRITICAL_SECTION gLoaderLock;
std::atomic<win::LONG> gLoaderLockExists{0};
volatile win::LONG gLockCreators = 0;

EngineLibrary* libraryRecord() noexcept { return &gLibrary; }

// ---- loader lock ---------------------------------------------------------------

// Creates the loader lock unless it exists. Threads that create it at the same
// time meet on the named mutex: the first creates the mutex owning it, the
// others open it and wait for it. Each thread closes its own mutex handle.
// Returns whether this call created the lock.
bool createLoaderLock() noexcept {
  win::InterlockedIncrement(&gLockCreators);
  const win::HANDLE mutex = win::CreateMutexA(nullptr, win::TRUE, kLoaderMutexName);
  bool owned = false;
  if (mutex) {
    if (win::GetLastError() == win::ERROR_ALREADY_EXISTS) {
      const win::DWORD wait = win::WaitForSingleObject(mutex, win::INFINITE);
      owned = wait == win::WAIT_OBJECT_0 || wait == win::WAIT_ABANDONED;
    } else {
      owned = true;
    }
  }
  bool created = false;
  if (gLoaderLockExists.load(std::memory_order_acquire) == 0) {
    win::InitializeCriticalSection(&gLoaderLock);
    gLoaderLockExists.store(1, std::memory_order_release);
    created = true;
  }
  if (owned) win::ReleaseMutex(mutex);
  win::InterlockedDecrement(&gLockCreators);
  if (mutex) win::CloseHandle(mutex);
  return created;
}

void enterLoaderLock() noexcept {
  if (gLoaderLockExists.load(std::memory_order_acquire) == 0) createLoaderLock();
  win::EnterCriticalSection(&gLoaderLock);
}

// Leaves what enterLoaderLock entered (also when the lock was torn down in
// between, so the section is never left held).
void leaveLoaderLock() noexcept { win::LeaveCriticalSection(&gLoaderLock); }

void tearDownLoaderLock() noexcept {
  if (gLoaderLockExists.exchange(0, std::memory_order_acq_rel) != 0) win::DeleteCriticalSection(&gLoaderLock);
}

class LoaderLockHeld {
 public:
  LoaderLockHeld() noexcept { enterLoaderLock(); }
  ~LoaderLockHeld() { leaveLoaderLock(); }
  LoaderLockHeld(const LoaderLockHeld&) = delete;
  LoaderLockHeld& operator=(const LoaderLockHeld&) = delete;
};

// ---- locating the library --------------------------------------------------------

// The second candidate: the directories of the registry value DLLPATH.
win::HMODULE loadFromRegistryPath(const char* fileName) noexcept {
  win::HKEY key = nullptr;
  if (win::RegOpenKeyExA(win::HKEY_LOCAL_MACHINE, kSearchPathKey, 0, win::KEY_READ, &key) !=
      win::ERROR_SUCCESS)
    return nullptr;
  char path[win::MAX_PATH] = {};
  win::DWORD size = sizeof path;
  const win::LONG rc = win::RegQueryValueExA(key, kSearchPathValue, nullptr, nullptr,
                                             reinterpret_cast<win::BYTE*>(path), &size);
  win::RegCloseKey(key);
  if (rc != win::ERROR_SUCCESS) return nullptr;
  path[std::min<win::DWORD>(size, win::MAX_PATH - 1)] = '\0';  // the value need not end in a zero
  char found[win::MAX_PATH];
  const win::DWORD length = win::SearchPathA(path, fileName, nullptr, win::MAX_PATH, found, nullptr);
  if (length == 0 || length >= win::MAX_PATH) return nullptr;
  return win::LoadLibraryA(found);
}

DBIResult loadFailure(win::DWORD error) noexcept {
  switch (error) {
    case win::ERROR_FILE_NOT_FOUND:
    case win::ERROR_PATH_NOT_FOUND:
    case win::ERROR_MOD_NOT_FOUND:
    case win::ERROR_BAD_PATHNAME:
      return kLibraryNotFound;
    case win::ERROR_OUTOFMEMORY:
      return kOutOfMemory;
    default:
      return kLibraryLoadFailed;
  }
}

// ---- attach and resolution -----------------------------------------------------

// Under the loader lock: finds the library already loaded (taking no
// reference) or locates and loads it, records it and hands it the client
// record through DLLINITFUNCTION when the library has that export.
DBIResult attach(EngineLibrary& library) noexcept {
  win::HMODULE module = win::GetModuleHandleA(library.fileName);
  if (!module) module = locateLibrary(nullptr, library.fileName);
  if (!module) return kAttachFailed;
  library.module = module;
  if (const auto init =
          reinterpret_cast<decltype(&::DLLINITFUNCTION)>(win::GetProcAddress(module, "DLLINITFUNCTION"))) {
    AttachRecord record{1, library.fileName, &gClientRecord};
    init(&record);
  }
  return 0;
}

Resolution resolve(const PendingResolution& pending, StoreTarget store) noexcept {
  LoaderLockHeld held;
  EngineLibrary& library = *pending.library;
  if (!library.module) {
    if (const DBIResult result = attach(library)) return {nullptr, result};
  }
  const win::FARPROC address = win::GetProcAddress(library.module, win::ordinalName(pending.ordinal));
  if (!address) return {nullptr, kNotImplemented};
  store(address);
  return {address, 0};
}

// After the DbiExit that freed the library: when that unloaded it, the
// attached handle and every bound target lead nowhere; forget them, so that a
// later initialisation binds afresh.
void forgetUnloadedLibrary() noexcept {
  LoaderLockHeld held;
  if (!gLibrary.module || !win::moduleFileName(gLibrary.module).empty()) return;
  gLibrary.module = nullptr;
  for (const EntryOperations& entry : kEntryOperations) entry.reset();
}

}  // namespace

// ---- public functions -------------------------------------------------------------

std::string candidatePath(const std::string& directory, const char* fileName) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/') path += '/';
  if (fileName) path += fileName;
  return path;
}

win::HMODULE locateLibrary(const char* directory, const char* fileName) noexcept {
  const win::UINT previousMode = win::SetErrorMode(win::SEM_NOOPENFILEERRORBOX);
  win::HMODULE module = nullptr;
  try {
    std::string dir = directory ? directory : "";
    if (dir.empty()) {
      char buffer[win::MAX_PATH];
      const win::DWORD length = win::GetCurrentDirectoryA(win::MAX_PATH, buffer);
      if (length > 0 && length < win::MAX_PATH) dir.assign(buffer, length);
    }
    // Without a directory there is no first candidate: a bare name would go
    // to the system search, which is the last candidate.
    if (!dir.empty()) {
      const std::string candidate = candidatePath(dir, fileName);
      if (win::fileExists(candidate)) module = win::LoadLibraryA(candidate.c_str());
    }
  } catch (const std::bad_alloc&) {
    win::SetLastError(win::ERROR_OUTOFMEMORY);
  }
  if (!module) module = loadFromRegistryPath(fileName);
  if (!module) module = win::LoadLibraryA(fileName);
  const win::DWORD error = win::GetLastError();
  win::SetErrorMode(previousMode);
  win::SetLastError(error);
  return module;
}

DBIResult DbiInitFn(std::uint16_t version, void* environment) {
  win::HMODULE loaded = nullptr;
  bool createdLock = false;
  win::HMODULE module = gEngineHandle.load(std::memory_order_acquire);
  if (!module) {
    loaded = locateLibrary(nullptr, kLibraryFileName);
    if (!loaded) return loadFailure(win::GetLastError());
    module = loaded;
    if (gLoaderLockExists.load(std::memory_order_acquire) == 0) createdLock = createLoaderLock();
  }
  DBIResult result;
  {
    LoaderLockHeld held;
    const auto init = reinterpret_cast<decltype(&::DbiInitFn)>(win::GetProcAddress(module, "DbiInitFn"));
    result = init ? init(version, environment) : kNotInitialized;
    if (result == 0) {
      if (gInitCount.load() == 0)
        gEngineHandle.store(module, std::memory_order_release);
      else if (loaded)
        win::FreeLibrary(loaded);  // another thread's load is kept already; keep one reference only
      gInitCount.fetch_add(1);
      return 0;
    }
    if (loaded) win::FreeLibrary(loaded);
  }
  if (createdLock) tearDownLoaderLock();
  return result;
}

DBIResult DbiExit() {
  const win::HMODULE module = gEngineHandle.load(std::memory_order_acquire);
  const auto engineExit =
      module ? reinterpret_cast<decltype(&::DbiExit)>(win::GetProcAddress(module, "DbiExit")) : nullptr;
  if (!engineExit) return kNotImplemented;
  if (const DBIResult result = engineExit()) return result;
  std::uint16_t count = gInitCount.load();
  while (count > 0 && !gInitCount.compare_exchange_weak(count, static_cast<std::uint16_t>(count - 1))) {
  }
  if (count == 1) {
    gEngineHandle.store(nullptr, std::memory_order_release);
    win::FreeLibrary(module);
    forgetUnloadedLibrary();
  }
  return 0;
}

DBIResult callByOrdinal(std::uint16_t ordinal) {
  const std::size_t index = entryIndex(ordinal);
  if (index == kEntryCount || !kEntryOperations[index].callWithoutArguments) return kInvalidParam;
  return kEntryOperations[index].callWithoutArguments();
}

std::span<const std::uint16_t, kEntryCount> ordinals() noexcept { return kOrdinals; }

bool isBound(std::uint16_t ordinal) noexcept {
  const std::size_t index = entryIndex(ordinal);
  return index < kEntryCount && kEntryOperations[index].bound();
}

win::HMODULE engineHandle() noexcept { return gEngineHandle.load(std::memory_order_acquire); }

std::uint16_t initializationCount() noexcept { return gInitCount.load(); }

const EngineLibrary& engineLibrary() noexcept { return gLibrary; }

const ClientRecord& clientRecord() noexcept { return gClientRecord; }

void unloadNotify(win::HMODULE) noexcept {
  enterLoaderLock();
  leaveLoaderLock();
  tearDownLoaderLock();
}

// ---- the functions bound by ordinal ---------------------------------------------

DBIResult DbiOpenDatabase(const char* alias, const char* dbType, std::uint32_t openMode,
                          std::uint32_t shareMode, const char* password, std::uint16_t optionalFields,
                          const kbe::FLDDesc* optionalDescs, const void* optionalValues, kbe::hDBIDb* db) {
  return Entry<4>::call(alias, dbType, openMode, shareMode, password, optionalFields, optionalDescs,
                        optionalValues, db);
}
DBIResult DbiCloseDatabase(kbe::hDBIDb* db) { return Entry<5>::call(db); }
DBIResult DbiGetCursorProps(kbe::hDBICur cursor, kbe::CURProps* props) {
  return Entry<7>::call(cursor, props);
}
DBIResult DbiGetFieldDescs(kbe::hDBICur cursor, kbe::FLDDesc* descs) { return Entry<9>::call(cursor, descs); }
DBIResult DbiCloseCursor(kbe::hDBICur* cursor) { return Entry<12>::call(cursor); }
DBIResult DbiSetToBegin(kbe::hDBICur cursor) { return Entry<13>::call(cursor); }
DBIResult DbiSetToEnd(kbe::hDBICur cursor) { return Entry<14>::call(cursor); }
DBIResult DbiSetToCursor(kbe::hDBICur destination, kbe::hDBICur source) {
  return Entry<15>::call(destination, source);
}
DBIResult DbiGetNextRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  return Entry<16>::call(cursor, lock, record, recProps);
}
DBIResult DbiGetPriorRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  return Entry<17>::call(cursor, lock, record, recProps);
}
DBIResult DbiGetRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps) {
  return Entry<18>::call(cursor, lock, record, recProps);
}
DBIResult DbiInsertRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record) {
  return Entry<22>::call(cursor, lock, record);
}
DBIResult DbiModifyRecord(kbe::hDBICur cursor, std::uint8_t* record, kbe::BOOL16 freeLock) {
  return Entry<23>::call(cursor, record, freeLock);
}
DBIResult DbiDeleteRecord(kbe::hDBICur cursor, std::uint8_t* record) {
  return Entry<24>::call(cursor, record);
}
DBIResult DbiRelRecordLock(kbe::hDBICur cursor, kbe::BOOL16 all) { return Entry<62>::call(cursor, all); }
DBIResult DbiForceReread(kbe::hDBICur cursor) { return Entry<66>::call(cursor); }
DBIResult DbiStartSession(const char* name, kbe::hDBISes* session, const char* netDir) {
  return Entry<70>::call(name, session, netDir);
}
DBIResult DbiSetCurrSession(kbe::hDBISes session) { return Entry<71>::call(session); }
DBIResult DbiGetCurrSession(kbe::hDBISes* session) { return Entry<72>::call(session); }
DBIResult DbiCloseSession(kbe::hDBISes session) { return Entry<73>::call(session); }
DBIResult DbiSetPrivateDir(const char* directory) { return Entry<78>::call(directory); }
DBIResult DbiGetDatabaseDesc(const char* alias, kbe::DBDesc* desc) { return Entry<83>::call(alias, desc); }
DBIResult DbiOpenBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field,
                      std::uint32_t openMode) {
  return Entry<100>::call(cursor, record, field, openMode);
}
DBIResult DbiGetBlobSize(kbe::hDBICur cursor, const std::uint8_t* record, std::uint16_t field,
                         std::uint32_t* size) {
  return Entry<101>::call(cursor, record, field, size);
}
DBIResult DbiGetBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                     std::uint32_t length, std::uint8_t* destination, std::uint32_t* read) {
  return Entry<102>::call(cursor, record, field, offset, length, destination, read);
}
DBIResult DbiPutBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                     std::uint32_t length, const std::uint8_t* source) {
  return Entry<103>::call(cursor, record, field, offset, length, source);
}
DBIResult DbiTruncateBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field,
                          std::uint32_t length) {
  return Entry<104>::call(cursor, record, field, length);
}
DBIResult DbiFreeBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field) {
  return Entry<105>::call(cursor, record, field);
}
DBIResult DbiGetSesInfo(kbe::SESInfo* info) { return Entry<125>::call(info); }
DBIResult DbiQPrepare(kbe::hDBIStmt statement, const char* sql) { return Entry<131>::call(statement, sql); }
DBIResult DbiQExec(kbe::hDBIStmt statement, kbe::hDBICur* cursor) {
  return Entry<132>::call(statement, cursor);
}
DBIResult DbiQSetParams(kbe::hDBIStmt statement, std::uint16_t count, const kbe::FLDDesc* descs,
                        const std::uint8_t* record) {
  return Entry<133>::call(statement, count, descs, record);
}
DBIResult DbiQFree(kbe::hDBIStmt* statement) { return Entry<136>::call(statement); }
DBIResult DbiQAlloc(kbe::hDBIDb db, std::uint32_t queryLanguage, kbe::hDBIStmt* statement) {
  return Entry<137>::call(db, queryLanguage, statement);
}
DBIResult DbiRegisterCallBack(kbe::hDBICur cursor, std::uint32_t type, std::uint32_t clientData,
                              std::uint16_t bufferLength, void* buffer, kbe::DetachCallback function) {
  return Entry<206>::call(cursor, type, clientData, bufferLength, buffer, function);
}
DBIResult DbiGetField(kbe::hDBICur cursor, std::uint16_t field, const std::uint8_t* record, void* value,
                      std::int32_t* blank) {
  return Entry<207>::call(cursor, field, record, value, blank);
}
DBIResult DbiPutField(kbe::hDBICur cursor, std::uint16_t field, std::uint8_t* record, const void* value) {
  return Entry<208>::call(cursor, field, record, value);
}
DBIResult DbiGetIndexDesc(kbe::hDBICur cursor, std::uint16_t sequence, kbe::IDXDesc* desc) {
  return Entry<215>::call(cursor, sequence, desc);
}
DBIResult DbiGetBookMark(kbe::hDBICur cursor, std::uint8_t* bookmark) {
  return Entry<217>::call(cursor, bookmark);
}
DBIResult DbiSetToBookMark(kbe::hDBICur cursor, const std::uint8_t* bookmark) {
  return Entry<218>::call(cursor, bookmark);
}
DBIResult DbiCompareBookMarks(kbe::hDBICur cursor, const std::uint8_t* bookmark1,
                              const std::uint8_t* bookmark2, std::int32_t* comparison) {
  return Entry<219>::call(cursor, bookmark1, bookmark2, comparison);
}
DBIResult DbiInitRecord(kbe::hDBICur cursor, std::uint8_t* record) {
  return Entry<221>::call(cursor, record);
}
DBIResult DbiAppendRecord(kbe::hDBICur cursor, std::uint8_t* record) {
  return Entry<252>::call(cursor, record);
}
DBIResult DbiGetRecordForKey(kbe::hDBICur cursor, kbe::BOOL16 directKey, std::uint16_t fieldCount,
                             std::uint16_t partialLength, const std::uint8_t* key, std::uint8_t* record) {
  return Entry<254>::call(cursor, directKey, fieldCount, partialLength, key, record);
}
DBIResult DbiGetLdObj(kbe::hDBICur cursor, void** ldObj) { return Entry<293>::call(cursor, ldObj); }
DBIResult DbiGetErrorString(DBIResult result, char* message) { return Entry<298>::call(result, message); }
DBIResult DbiGetErrorEntry(std::uint16_t entry, std::uint32_t* nativeError, char* message) {
  return Entry<300>::call(entry, nativeError, message);
}
DBIResult DbiGetCallBack(kbe::hDBICur cursor, std::uint32_t type, std::uint32_t* clientData,
                         std::uint16_t* bufferLength, void** buffer, kbe::DetachCallback* function) {
  return Entry<337>::call(cursor, type, clientData, bufferLength, buffer, function);
}
DBIResult DbiCfgPosition(kbe::hDBICfg cfg, const char* path) { return Entry<402>::call(cfg, path); }
DBIResult DbiCfgDropRecord(kbe::hDBICfg cfg, const char* path) { return Entry<407>::call(cfg, path); }
DBIResult OsLdLoadBySymbName(const char* name, void** ldObj) { return Entry<789>::call(name, ldObj); }
DBIResult OsLdUnloadObj(void** ldObj) { return Entry<808>::call(ldObj); }
DBIResult DbiAddFilter(kbe::hDBICur cursor, std::uint32_t clientData, std::uint16_t priority,
                       kbe::BOOL16 canAbort, const void* expression, FilterCallback callback,
                       hDBIFilter* filter) {
  return Entry<840>::call(cursor, clientData, priority, canAbort, expression, callback, filter);
}
DBIResult DbiDropFilter(kbe::hDBICur cursor, hDBIFilter filter) { return Entry<841>::call(cursor, filter); }
DBIResult DbiActivateFilter(kbe::hDBICur cursor, hDBIFilter filter) {
  return Entry<842>::call(cursor, filter);
}
DBIResult DbiDeactivateFilter(kbe::hDBICur cursor, hDBIFilter filter) {
  return Entry<843>::call(cursor, filter);
}
DBIResult DbiGetLdNameFromDb(kbe::hDBIDb db, const char* objName, char* ldName) {
  return Entry<871>::call(db, objName, ldName);
}
DBIResult DbiGetExactRecordCount(kbe::hDBICur cursor, std::uint32_t* count) {
  return Entry<883>::call(cursor, count);
}
DBIResult DbiOpenCfgInfoList(kbe::hDBICfg cfg, std::uint32_t openMode, std::uint32_t configMode,
                             const char* path, kbe::hDBICur* cursor) {
  return Entry<1063>::call(cfg, openMode, configMode, path, cursor);
}
DBIResult DbiNativeToAnsi(void* ldObj, char* destination, const char* source, std::uint32_t length,
                          kbe::BOOL16* dataLoss) {
  return Entry<1069>::call(ldObj, destination, source, length, dataLoss);
}
DBIResult DbiAnsiToNative(void* ldObj, char* destination, const char* source, std::uint32_t length,
                          kbe::BOOL16* dataLoss) {
  return Entry<1070>::call(ldObj, destination, source, length, dataLoss);
}
DBIResult DbiGetProp(kbe::hDBIObj object, std::uint32_t property, void* value, std::int16_t size,
                     std::uint16_t* length) {
  return Entry<1071>::call(object, property, value, size, length);
}
DBIResult DbiSetProp(kbe::hDBIObj object, std::uint32_t property, std::uintptr_t value) {
  return Entry<1072>::call(object, property, value);
}
DBIResult DbiGetObjFromName(std::uint32_t type, const char* name, kbe::hDBIObj* object) {
  return Entry<1073>::call(type, name, object);
}
DBIResult DbiGetObjFromObj(kbe::hDBIObj object, std::uint32_t type, kbe::hDBIObj* result) {
  return Entry<1086>::call(object, type, result);
}
DBIResult DbiGetVchkDesc(kbe::hDBICur cursor, std::uint16_t sequence, kbe::VCHKDesc* desc) {
  return Entry<1097>::call(cursor, sequence, desc);
}
DBIResult DbiAddAlias(kbe::hDBICfg cfg, const char* alias, const char* driverType, const char* params,
                      kbe::BOOL16 persist) {
  return Entry<1207>::call(cfg, alias, driverType, params, persist);
}
DBIResult DbiDeleteAlias(kbe::hDBICfg cfg, const char* alias) { return Entry<1211>::call(cfg, alias); }

}  // namespace Bde
