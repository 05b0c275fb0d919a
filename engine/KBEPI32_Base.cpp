// The engine frame: library entry and exit, initialisation, detach callbacks,
// sessions, object properties, the fixed-answer functions (language driver,
// system information, date and time formats), and databases with their
// workspaces and transactions.
//
// Load (in this order): the DAO wrapper layer, the configuration tree with
// its driver defaults, the date and time settings (fixed constants here),
// logging off, the detach hook. Unload: the detach hook (detach callbacks,
// then the sessions of an initialised engine), "logging terminated" and the
// log closed, the sessions destroyed, the configuration tree freed, the
// wrapper layer's leak report.
#include <malloc.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "CvDAO35.h"
#include "KBEPI32_Conversions.h"
#include "KBEPI32_Config.h"
#include "KBEPI32_Handles.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Query.h"
#include "KBEPI32_Recordset.h"
#include "KBEPI32_Session.h"
#include "KBEPI32_UserData.h"
#include "kbe/kbe.h"
#include "platform/ansi.h"
#include "platform/module.h"
#include "platform/wintypes.h"

namespace kbe {

namespace {

constexpr std::uint32_t kDetachCallback = 29;
constexpr const char* kOwnModule = "KBEPI32";

// The language-driver object: one fixed, zero-filled block.
alignas(16) unsigned char g_languageDriver[64] = {};

void engineUnload() noexcept;

// Unloading runs from the library's destructor function when the library is
// unloaded, and (registered once the first DAO object exists, so ahead of the
// wrapper layer's own finish) from the run-time's exit handlers when the
// process ends with the library still loaded.
struct UnloadAtExit {
  ~UnloadAtExit() { engineUnload(); }
};

void armUnloadAtExit() {
  static UnloadAtExit guard;
  (void)guard;
}

// Clears the current session and destroys the default session.
void releaseDefaultSession() noexcept {
  EngineState& state = engineState();
  state.current = nullptr;
  if (DAOLocalEngine* s = state.defaultSession) {
    try {
      destroySession(s);
    } catch (...) {
      convertCurrentFailure();
    }
  }
}

}  // namespace

namespace {

// ---- load and unload ------------------------------------------------------------

void engineLoad() noexcept {
  DAOLayerInitialize();
  onNewSession(armUnloadAtExit);
  try {
    cfg::initDefaults();
  } catch (...) {
  }
  // The date and time settings of the engine's own text conversions are the
  // fixed "MM/DD/YYYY", "/", ":", "AM", "PM"; logging starts off. The detach
  // hook is this library's destructor function below.
}

void engineUnload() noexcept {
  if (engineState().unloaded) return;
  engineState().unloaded = true;
  // Process detach: the host's detach callbacks, newest first.
  while (CallbackNode* node = engineState().callbacks) {
    engineState().callbacks = node->next;
    if (node->function) {
      try {
        node->function(kDetachCallback, node->clientData, nullptr);
      } catch (...) {
      }
    }
    delete node;
  }
  if (engineState().initialised) {
    releaseDefaultSession();
    engineState().initialised = false;
  }
  // Unload.
  finishLog();
  releaseDefaultSession();
  try {
    cfg::destroyTree();
  } catch (...) {
  }
  DAOLayerFinalize();
}

__attribute__((constructor)) void onLibraryLoad() { engineLoad(); }
__attribute__((destructor)) void onLibraryUnload() { engineUnload(); }

// ---- property values ----------------------------------------------------------------

DBIResult putString(void* value, std::int16_t size, std::uint16_t* length, const std::string& text) {
  if (!value) return rc::OK;
  std::size_t n = 0;
  if (size >= 1) {
    n = text.size() < static_cast<std::size_t>(size - 1) ? text.size() : static_cast<std::size_t>(size - 1);
    std::memcpy(value, text.data(), n);
    static_cast<char*>(value)[n] = '\0';
  }
  if (length) *length = static_cast<std::uint16_t>(n);
  return rc::OK;
}

DBIResult putEmptyString(void* value, std::int16_t size, std::uint16_t* length) {
  if (value && size >= 1) {
    static_cast<char*>(value)[0] = '\0';
    if (length) *length = 1;
  }
  return rc::OK;
}

DBIResult putNumber32(void* value, std::int16_t size, std::uint16_t* length, std::uint32_t number) {
  if (value && size >= 4) {
    std::memcpy(value, &number, 4);
    if (length) *length = 4;
  }
  return rc::OK;
}

// A 16-bit value needs two bytes of buffer: a smaller buffer is left alone.
DBIResult putNumber16(void* value, std::int16_t size, std::uint16_t* length, std::int16_t number) {
  if (value && size >= 2) {
    std::memcpy(value, &number, 2);
    if (length) *length = 2;
  }
  return rc::OK;
}

// Heap figures of the allocator the library uses (the process heap).
std::uint32_t heapBytesInUse() {
  const struct mallinfo2 m = mallinfo2();
  return static_cast<std::uint32_t>(m.uordblks + m.hblkhd);
}

std::uint32_t heapBlocksInUse() {
  // The allocator counts no allocated blocks of the main arena; it reports
  // the separately mapped ones, and in-use space in its arena as a whole.
  const struct mallinfo2 m = mallinfo2();
  return static_cast<std::uint32_t>(m.hblks + (m.uordblks > 0 ? 1 : 0));
}

DAOLocalEngine* sessionOfDatabase(const DAODatabase* db) {
  DAOWorkspace* ws = workspaceOf(db);
  auto* session = sessionFromHandle(ws->ParentWrapper());
  if (!session) throw EInvalidCast();
  return session;
}

// ---- dates ----------------------------------------------------------------------------

// Day numbers counted from 1 January 0001 as day 1: a DAO date plus
// kDaysTo1899; 31 December 9999 is the last day that decodes.
constexpr std::int64_t kDaysTo1899 = 693594;
constexpr std::int64_t kLastDay = 3652059;
constexpr std::int64_t kDay1970 = 719163;  // 1 January 1970
constexpr std::int64_t kMsPerDay = 86400000;

// Calendar date of a count of days from 1 January 1970 (proleptic Gregorian).
void civilFromDays(std::int64_t z, int& year, unsigned& month, unsigned& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  month = mp < 10 ? mp + 3 : mp - 9;
  year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

}  // namespace

}  // namespace kbe

using namespace kbe;

// ---- library entry and exit -------------------------------------------------------------

KBE_API void ZZZ() {}

KBE_API std::uint32_t DLLINITFUNCTION(void* attachRecord) {
  // Loads the module "KBEPI32" by its bare name; whether it is found does
  // not matter. (The library's own file is not named so; taking a reference
  // on it would keep it loaded past the host's last FreeLibrary.)
  (void)kh::win::LoadLibraryA(kOwnModule);
  return 0;
}

KBE_API std::uint32_t DLLEXITFUNCTION2(void* record) {
  if (kh::win::HMODULE m = kh::win::GetModuleHandleA(kOwnModule)) kh::win::FreeLibrary(m);
  return 0;
}

KBE_API DBIResult DbiInitFn(std::uint16_t version, void* environment) {
  if (version < 300) return rc::NotSupported;
  if (engineState().initialised) return rc::MultipleInit;
  engineState().initialised = true;
  return rc::OK;
}

KBE_API DBIResult DbiExit() {
  if (engineState().initialised && !engineState().callbacks) {
    releaseDefaultSession();
    engineState().initialised = false;
  }
  return rc::OK;
}

// ---- callbacks -------------------------------------------------------------------------

KBE_API DBIResult DbiRegisterCallBack(hDBICur cursor, std::uint32_t type, std::uint32_t clientData,
                                      std::uint16_t bufferLength, void* buffer, DetachCallback function) {
  if (type != kDetachCallback) return rc::OK;
  if (function) {
    try {
      engineState().callbacks = new CallbackNode{engineState().callbacks, function, clientData};
    } catch (...) {
      convertCurrentFailure();
    }
    return rc::OK;
  }
  // Unregistering: the host passes its function's address as the buffer.
  for (CallbackNode** link = &engineState().callbacks; *link; link = &(*link)->next) {
    if (reinterpret_cast<void*>((*link)->function) == buffer) {
      CallbackNode* node = *link;
      *link = node->next;
      delete node;
      break;
    }
  }
  return rc::OK;
}

KBE_API DBIResult DbiGetCallBack(hDBICur cursor, std::uint32_t type, std::uint32_t* clientData,
                                 std::uint16_t* bufferLength, void** buffer, DetachCallback* function) {
  if (function) *function = nullptr;
  return rc::OK;
}

// ---- sessions ----------------------------------------------------------------------------

KBE_API DBIResult DbiStartSession(const char* name, hDBISes* session, const char* netDir) {
  if (!session) return rc::NoMoreSessions;
  try {
    DAOLocalEngine* engine =
        newSession(name ? std::string(name) : "Unnamed_" + std::to_string(engineState().unnamedCounter++));
    if (netDir) {
      try {
        engine->SetSystemDB(conv::utf8Of(netDir));
      } catch (...) {
        destroySession(engine);
        throw;
      }
    }
    *session = engine;
    return rc::OK;
  } catch (...) {
    convertCurrentFailure();
    return rc::NoMoreSessions;
  }
}

KBE_API DBIResult DbiGetCurrSession(hDBISes* session) {
  DAOLocalEngine* current = nullptr;
  try {
    current = currentSession();
  } catch (...) {
    convertCurrentFailure();
  }
  if (session) *session = current;
  return rc::OK;
}

KBE_API DBIResult DbiSetCurrSession(hDBISes session) {
  return trap([&]() -> DBIResult {
    if (session == engineState().current) return rc::OK;
    if (!session) {
      engineState().current = nullptr;  // the default session at the next use
      return rc::OK;
    }
    DAOLocalEngine* s = sessionFromHandle(session);
    if (!s) throw EInvalidCast();
    engineState().current = s;
    return rc::OK;
  });
}

KBE_API DBIResult DbiCloseSession(hDBISes session) {
  try {
    currentSession();
  } catch (...) {
    convertCurrentFailure();
    return rc::NotSupported;
  }
  DAOLocalEngine* s = sessionFromHandle(session);
  if (!s) return rc::NotSupported;
  if (s == engineState().defaultSession) return rc::InvalidHandle;
  return trap([&]() -> DBIResult {
    destroySession(s);
    return rc::OK;
  });
}

KBE_API DBIResult DbiGetSesInfo(SESInfo* info) {
  if (!info) return rc::NotSupported;
  DAOLocalEngine* session = nullptr;
  try {
    session = currentSession();
  } catch (...) {
    convertCurrentFailure();
    return rc::NotSupported;
  }
  return trap([&]() -> DBIResult {
    const std::string netDir = conv::ansiOf(session->GetSystemDB());
    const TEngineData* data = engineDataOf(session);
    std::memset(info, 0, sizeof *info);
    conv::copyAnsi(info->szName, data ? data->sessionName : std::string(), 31);
    conv::copyAnsi(info->szNetDir, netDir, 260);
    return rc::OK;
  });
}

KBE_API DBIResult DbiSetPrivateDir(const char* directory) {
  try {
    currentSession();
  } catch (...) {
    convertCurrentFailure();
    return rc::NotSupported;
  }
  return rc::OK;
}

KBE_API DBIResult DbiGetSysInfo(void* sysInfo) { return engineState().initialised ? rc::OK : rc::NotInitialized; }

// ---- object properties ---------------------------------------------------------------------

KBE_API DBIResult DbiGetProp(hDBIObj object, std::uint32_t property, void* value, std::int16_t size,
                             std::uint16_t* length) {
  return trap([&]() -> DBIResult {
    if (!object) {
      switch (property) {
        case 0x00010002: return putNumber32(value, size, length, static_cast<std::uint32_t>(DAOLiveObjects()));
        case 0x00010003: return putNumber32(value, size, length, heapBytesInUse());
        case 0x00010004: return putNumber32(value, size, length, heapBlocksInUse());
        default: return rc::NotSupported;
      }
    }
    if (DAOLocalEngine* session = sessionFromHandle(object)) {
      switch (property) {
        case 0x00020002: return putString(value, size, length, conv::ansiOf(session->GetSystemDB()));
        case 0x00020003:
        case 0x0002000C: return putNumber32(value, size, length, 2);
        case 0x00020009: return putEmptyString(value, size, length);
        case 0x0002000F: return putNumber32(value, size, length, 0);
        default: return rc::NotSupported;
      }
    }
    if (DAODatabase* db = databaseFromHandle(object)) {
      switch (property) {
        case 0x00040001: {
          const TDatabaseData* data = databaseDataOf(db);
          return putString(value, size, length, data ? data->name : std::string());
        }
        case 0x00040002: return putString(value, size, length, "KBE");
        case 0x00040004: return putNumber16(value, size, length, -1);
        case 0x00040005: return putNumber16(value, size, length, 0);
        default: return rc::NotSupported;
      }
    }
    if (isHandle(object, HandleKind::Statement)) return stmt::getProp(object, property, value, size, length);
    if (isHandle(object, HandleKind::Cursor)) return rs::getProp(object, property, value, size, length);
    return rc::NotSupported;
  });
}

KBE_API DBIResult DbiSetProp(hDBIObj object, std::uint32_t property, std::uintptr_t value) {
  return trap([&]() -> DBIResult {
    if (!object) return property == 0xFF070002u ? rc::OK : rc::NotSupported;
    if (DAOLocalEngine* session = sessionFromHandle(object)) {
      switch (property) {
        case 0x00020002: {
          const char* text = reinterpret_cast<const char*>(value);
          session->SetSystemDB(conv::utf8Of(text ? text : ""));
          return rc::OK;
        }
        case 0x00020003:
        case 0x0002000C:
        case 0x0002000F: return rc::OK;
        default: return rc::NotSupported;
      }
    }
    if (databaseFromHandle(object)) {
      switch (property) {
        case 0x00040004:
        case 0x00040005:
        case 0x04040007: return rc::OK;
        default: return rc::NotSupported;
      }
    }
    if (isHandle(object, HandleKind::Statement)) return stmt::setProp(object, property, value);
    if (isHandle(object, HandleKind::Cursor)) return rs::setProp(object, property, value);
    return rc::NotSupported;
  });
}

KBE_API DBIResult DbiGetObjFromName(std::uint32_t type, const char* name, hDBIObj* object) {
  if (object) *object = nullptr;
  return type == 7 ? rc::OK : rc::NotSupported;
}

KBE_API DBIResult DbiGetObjFromObj(hDBIObj object, std::uint32_t type, hDBIObj* result) {
  if (!result) return rc::NotSupported;
  *result = nullptr;
  return trap([&]() -> DBIResult {
    constexpr std::uint32_t kSession = 2;
    if (type != kSession) return rc::OK;
    if (!object) {
      *result = currentSession();
    } else if (DAODatabase* db = databaseFromHandle(object)) {
      *result = sessionOfDatabase(db);
    }
    return rc::OK;
  });
}

// ---- character sets and language driver ---------------------------------------------------

namespace {

DBIResult copyCharacters(char* destination, const char* source, std::uint32_t length, BOOL16* dataLoss) {
  if (destination != source) {
    if (!destination || !source) return rc::InvalidParam;
    if (length == 0) std::memmove(destination, source, std::strlen(source) + 1);
    else std::memmove(destination, source, length);
  }
  if (dataLoss) reinterpret_cast<unsigned char*>(dataLoss)[0] = 0;
  return rc::OK;
}

constexpr const char* kLanguageDriverName = "KBE Ansi";

}  // namespace

KBE_API DBIResult DbiAnsiToNative(void* ldObj, char* destination, const char* source, std::uint32_t length,
                                  BOOL16* dataLoss) {
  return copyCharacters(destination, source, length, dataLoss);
}

KBE_API DBIResult DbiNativeToAnsi(void* ldObj, char* destination, const char* source, std::uint32_t length,
                                  BOOL16* dataLoss) {
  return copyCharacters(destination, source, length, dataLoss);
}

KBE_API DBIResult DbiGetLdName(const char* driver, const char* objName, char* ldName) {
  if (ldName) std::strcpy(ldName, kLanguageDriverName);
  return rc::OK;
}

KBE_API DBIResult DbiGetLdNameFromDb(hDBIDb db, const char* objName, char* ldName) {
  if (ldName) std::strcpy(ldName, kLanguageDriverName);
  return rc::OK;
}

KBE_API DBIResult DbiGetLdObj(hDBICur cursor, void** ldObj) {
  if (ldObj) *ldObj = g_languageDriver;
  return rc::OK;
}

KBE_API DBIResult OsLdLoadBySymbName(const char* name, void** ldObj) {
  if (ldObj) *ldObj = g_languageDriver;
  return rc::OK;
}

KBE_API DBIResult OsLdUnloadObj(void** ldObj) { return rc::OK; }

KBE_API DBIResult DbiFormFullName(hDBIDb db, const char* tableName, const char* driverType, char* fullName) {
  if (!fullName) return rc::OK;
  const std::size_t n = tableName ? strnlen(tableName, 260) : 0;
  if (n) std::memcpy(fullName, tableName, n);
  fullName[n] = '\0';
  return rc::OK;
}

// ---- date and time -----------------------------------------------------------------------------

KBE_API DBIResult DbiGetDateFormat(FMTDate* format) {
  if (!format) return rc::InvalidParam;
  std::memset(format, 0, sizeof *format);
  format->szDateSeparator[0] = '/';
  format->iDateMode = 0;  // month, day, year
  format->bFourDigitYear = 1;
  format->bYearBiased = 0;
  format->bMonthLeadingZero = 1;
  format->bDayLeadingZero = 1;
  return rc::OK;
}

KBE_API DBIResult DbiGetTimeFormat(FMTTime* format) {
  if (!format) return rc::InvalidParam;
  std::memset(format, 0, sizeof *format);
  format->cTimeSeparator = ':';
  format->bTwelveHour = 1;
  std::memcpy(format->szAmString, "AM", 2);
  std::memcpy(format->szPmString, "PM", 2);
  format->bSeconds = 1;
  format->bMilSeconds = 1;
  return rc::OK;
}

KBE_API DBIResult DbiDateDecode(std::int32_t date, std::uint16_t* month, std::uint16_t* day, std::int16_t* year) {
  // Dates outside 1 January 0001 .. 31 December 9999 decode as 0, 0, 0.
  int y = 0;
  unsigned m = 0, d = 0;
  const std::int64_t days = static_cast<std::int64_t>(date) + kDaysTo1899;
  if (days >= 1 && days <= kLastDay) civilFromDays(days - kDay1970, y, m, d);
  if (month) *month = static_cast<std::uint16_t>(m);
  if (day) *day = static_cast<std::uint16_t>(d);
  if (year) *year = static_cast<std::int16_t>(y);
  return rc::OK;
}

KBE_API DBIResult DbiTimeDecode(std::int32_t time, std::uint16_t* hour, std::uint16_t* minute,
                                std::uint16_t* milliseconds) {
  // The time of day of the count: whole days drop out, a negative count reads
  // as its magnitude.
  std::int64_t t = time;
  if (t < 0) t = -t;
  t %= kMsPerDay;
  if (hour) *hour = static_cast<std::uint16_t>(t / 3600000);
  if (minute) *minute = static_cast<std::uint16_t>(t / 60000 % 60);
  if (milliseconds) *milliseconds = static_cast<std::uint16_t>(t % 60000);
  return rc::OK;
}

KBE_API DBIResult DbiTimeStampDecode(double timeStamp, std::int32_t* date, std::int32_t* time) {
  const double x = timeStamp / static_cast<double>(kMsPerDay) - static_cast<double>(kDaysTo1899);
  // A stamp whose day count does not fit 32 bits (or is no number) has no
  // date to give.
  if (!std::isfinite(x) || x <= static_cast<double>(std::numeric_limits<std::int32_t>::min()) - 1.0 ||
      x >= static_cast<double>(std::numeric_limits<std::int32_t>::max()) + 1.0)
    return rc::InvalidParam;
  const auto d = static_cast<std::int32_t>(x);
  const auto t = static_cast<std::int32_t>((x - d) * static_cast<double>(kMsPerDay));
  if (date) *date = d;
  if (time) *time = t;
  return rc::OK;
}
