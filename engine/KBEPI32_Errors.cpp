// Result code texts, the DAO error mapping, the failure conversion and the
// three error-reporting exports. The conversion writes to the diagnostic log
// (KBEPI32_Log.cpp).
#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <typeinfo>

#include "CvDAO35.h"
#include "KBEPI32_Conversions.h"
#include "KBEPI32_Log.h"
#include "KBEPI32_Session.h"
#include "kbe/kbe.h"

namespace kbe {

namespace {

// ---- result code texts --------------------------------------------------------

struct CodeText {
  DBIResult code;
  const char* text;
};

constexpr CodeText kCodeTexts[] = {
    {0x2101, "cannot open system db"},
    {0x2201, "at top of file"},
    {0x2202, "at end of file"},
    {0x2203, "data has changed; update failed"},
    {0x2204, "key or record deleted"},
    {0x2205, "no current record"},
    {0x2206, "record not found"},
    {0x2207, "end of blob"},
    {0x2405, "access to file denied"},
    {0x2501, "out of memory"},
    {0x2502, "too many open files"},
    {0x2503, "disk full"},
    {0x2506, "too many open cursors"},
    {0x2508, "too many open sessions"},
    {0x250A, "query too complex"},
    {0x250B, "too many open tables"},
    {0x2510, "no more sessions available"},
    {0x2511, "too many open databases"},
    {0x2601, "duplicate or null value in index"},
    {0x2604, "required field not given"},
    {0x2605, "invalid foreign key value"},
    {0x2606, "detail records exist"},
    {0x260C, "null invalid"},
    {0x2702, "invalid parameters"},
    {0x2704, "no such table or file"},
    {0x2706, "invalid handle"},
    {0x270D, "no such index"},
    {0x271E, "unknown database or open error"},
    {0x271F, "invalid user name of password"},
    {0x2723, "invalid field value"},
    {0x2728, "no such table"},
    {0x2742, "invalid filter"},
    {0x274F, "function not implemented"},
    {0x2803, "table in use by other user"},
    {0x2804, "database in use by other user"},
    {0x2805, "table locked by other user"},
    {0x2806, "database locked by other user"},
    {0x2807, "record already locked"},
    {0x2812, "record lock failed"},
    {0x2906, "column not updatable"},
    {0x2908, "access denied"},
    {0x2A01, "field is not a blob"},
    {0x2A02, "blob already opened"},
    {0x2A03, "blob not opened"},
    {0x2A05, "no active index set"},
    {0x2A06, "KBE not initialized"},
    {0x2A07, "multiple KBE initialization"},
    {0x2A0B, "cannot update; database, table or result set read-only"},
    {0x2A0E, "operation not supported on attached table"},
    {0x2B66, "unspecified DAO error"},
    {0x3001, "operation not supported"},
    {0x3101, "invalid alias specification, or different system db"},
};

std::string codeText(DBIResult code) {
  if (code == 0) return std::string();
  for (const CodeText& c : kCodeTexts)
    if (c.code == code) return c.text;
  return "unspecified error " + std::to_string(code);
}

// ---- DAO error mapping --------------------------------------------------------

DBIResult mapDaoError(kh::HRESULT hr) {
  switch (kh::DaoErrorNumber(hr)) {
    case 3001: return 0x2702;
    case 3004: case 3005: case 3007: return 0x271E;
    case 3006: return 0x2806;
    case 3008: return 0x2805;
    case 3009: return 0x2803;
    case 3011: return 0x2208;
    case 3014: return 0x250B;
    case 3015: return 0x270D;
    case 3016: case 3017: case 3415: return 0x2723;
    case 3018: return 0x2736;
    case 3019: return 0x2A05;
    case 3021: return 0x2205;
    case 3022: case 3058: case 3101: return 0x2601;
    case 3024: return 0x2704;
    case 3025: case 3042: return 0x2502;
    case 3026: return 0x2503;
    case 3027: case 3073: case 3086: case 3326: return 0x2A0B;
    case 3028: return 0x2101;
    case 3029: case 3030: case 3031: return 0x271F;
    case 3033: return 0x2908;
    case 3035: return 0x2501;
    case 3037: return 0x2506;
    case 3048: return 0x2511;
    case 3051: return 0x2405;
    case 3057: return 0x2A0E;
    case 3113: case 3164: case 3327: return 0x2906;
    case 3158: case 3218: case 3330: return 0x2807;
    case 3159: return 0x2725;
    case 3162: return 0x260C;
    case 3167: case 3329: return 0x2204;
    case 3175: return 0x274B;
    case 3196: return 0x2804;
    case 3197: return 0x2813;
    case 3198: return 0x2508;
    case 3200: return 0x2606;
    case 3201: return 0x2605;
    case 3360: return 0x250A;
    default: return rc::DaoError;
  }
}

// The class name of a failure of the general family, from its run-time type:
// the last component of the demangled name.
std::string className(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                    std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  const auto colons = name.rfind("::");
  return colons == std::string::npos ? name : name.substr(colons + 2);
}

// The head line and the result code of the failure being handled.
struct Failure {
  std::string head;
  DBIResult result = rc::DaoError;
};

Failure describeCurrentFailure() {
  // No fault address is recorded by this run-time.
  const std::string at = " @00000000";
  Failure f;
  try {
    throw;
  } catch (const EDAOError& e) {
    f.head = "EXCEPTION EDAOError" + at + ": " + e.message();
    f.result = mapDaoError(e.errorCode());
  } catch (const EDAOConvError& e) {
    f.head = "EXCEPTION EDAOConvError" + at + ": " + e.what();
  } catch (const EKBEError& e) {
    f.head = "EXCEPTION EKBEError" + at + ": " + e.what();
  } catch (const EInvalidCast& e) {
    f.head = "EXCEPTION EInvalidCast" + at + ": " + e.what();
  } catch (const std::bad_alloc&) {
    f.head = "EXCEPTION EOutOfMemory" + at + ": Out of memory";
  } catch (const std::exception& e) {
    f.head = "EXCEPTION " + className(typeid(e)) + at + ": " + e.what();
  } catch (...) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    f.head = "EXCEPTION " + (type ? className(*type) : std::string("Exception")) + at;
  }
  return f;
}

// ">> " and the description of each DAO error of the current session.
void logDaoErrors() {
  DAOLocalEngine* session = existingSession();
  if (!session) {
    logLine(">> (engine not started)");
    return;
  }
  try {
    DAOErrors* errors = session->GetErrors();
    const std::int16_t count = errors->GetCount();
    for (std::int16_t i = 0; i < count; ++i)
      logLine(">> " + conv::ansiOf(errors->GetItem(kh::Variant(std::int32_t{i}))->GetDescription()));
  } catch (...) {
    logLine(">> (excepted during error display)");
  }
}

// Whether the current session's DAO error collection holds an error.
bool daoErrorPending() {
  DAOLocalEngine* session = nullptr;
  try {
    session = currentSession();
  } catch (...) {
    convertCurrentFailure();
    return false;
  }
  try {
    return session->GetErrors()->GetCount() > 0;
  } catch (...) {
    convertCurrentFailure();
    return false;
  }
}

}  // namespace

// ---- failure conversion -----------------------------------------------------------

DBIResult convertCurrentFailure() noexcept {
  try {
    Failure f = describeCurrentFailure();
    if (loggingActive()) {
      logLine(f.head);
      logDaoErrors();
    }
    return f.result;
  } catch (...) {
    return rc::DaoError;
  }
}

}  // namespace kbe

using namespace kbe;

// ---- exports -------------------------------------------------------------------------

KBE_API DBIResult DbiGetErrorString(DBIResult result, char* message) {
  try {
    if (!message) return rc::NotSupported;
    const std::string text = daoErrorPending() ? std::string("DAO Error") : "KBE Error: " + codeText(result);
    conv::copyAnsi(message, text, 127);
  } catch (...) {
    convertCurrentFailure();
  }
  return rc::NotSupported;
}

KBE_API DBIResult DbiGetErrorEntry(std::uint16_t entry, std::uint32_t* nativeError, char* message) {
  DAOLocalEngine* session = nullptr;
  try {
    session = currentSession();
  } catch (...) {
    return convertCurrentFailure();
  }
  return trap([&]() -> DBIResult {
    DAOErrors* errors = session->GetErrors();
    if (errors->GetCount() < entry) return rc::OK;
    // Entry 1 is position 0; entry 0 asks for position -1, which DAO refuses.
    auto error = errors->GetItem(kh::Variant(static_cast<std::int32_t>(entry) - 1));
    const std::string description = conv::ansiOf(error->GetDescription());
    const std::int32_t number = error->GetNumber();
    if (message) conv::copyAnsi(message, description, 126);
    if (nativeError) *nativeError = static_cast<std::uint32_t>(number);
    return rc::ErrorEntryDelivered;
  });
}

KBE_API DBIResult DbiGetErrorInfo(BOOL16 full, DBIErrInfo* info) {
  if (!info) return DbiGetErrorString(0, nullptr);
  std::memset(info, 0, sizeof *info);
  info->iError = 0;
  return DbiGetErrorString(0, info->szErrCode);
}
