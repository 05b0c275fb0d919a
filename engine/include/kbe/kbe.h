// Public interface of the KBE3235 database engine library.
//
// Every named function is exported with C linkage; callers that bind by
// ordinal look each slot up through KBEProcByOrdinal. Strings are
// zero-terminated Windows-1252 text. Records are packed (no padding) and keep
// the sizes and offsets of the classic engine interface; Booleans in them are
// 16 bits with true written as -1. Handles are pointer-sized.
#pragma once

#include <cstddef>
#include <cstdint>

#define KBE_API extern "C" __attribute__((visibility("default")))

namespace kbe {

// Result code of every Dbi* function: 0 is success, the high byte is the
// error category and the low byte the code.
using DBIResult = std::uint16_t;

// Number of ordinal slots in the export table (1 to kOrdinalSlots).
constexpr unsigned kOrdinalSlots = 1225;

using hDBIObj = void*;
using hDBISes = void*;
using hDBIDb = void*;
using hDBICur = void*;
using hDBIStmt = void*;
using hDBIXact = void*;
using hDBICfg = void*;
using BOOL16 = std::int16_t;

// Result codes.
namespace rc {
constexpr DBIResult OK = 0;
constexpr DBIResult CantOpenSystemDb = 0x2101;
constexpr DBIResult BOF = 0x2201;
constexpr DBIResult EOF_ = 0x2202;
constexpr DBIResult DataChanged = 0x2203;
constexpr DBIResult KeyOrRecDeleted = 0x2204;
constexpr DBIResult NoCurrRec = 0x2205;
constexpr DBIResult RecNotFound = 0x2206;
constexpr DBIResult EndOfBlob = 0x2207;
constexpr DBIResult ObjNotFound = 0x2208;
constexpr DBIResult FileAccessDenied = 0x2405;
constexpr DBIResult NoMemory = 0x2501;
constexpr DBIResult TooManyOpenFiles = 0x2502;
constexpr DBIResult DiskFull = 0x2503;
constexpr DBIResult TooManyCursors = 0x2506;
constexpr DBIResult TooManySessions = 0x2508;
constexpr DBIResult QueryTooComplex = 0x250A;
constexpr DBIResult TooManyTables = 0x250B;
constexpr DBIResult NoMoreSessions = 0x2510;
constexpr DBIResult TooManyDatabases = 0x2511;
constexpr DBIResult KeyViol = 0x2601;
constexpr DBIResult RequiredFieldMissing = 0x2604;
constexpr DBIResult ForeignKeyErr = 0x2605;
constexpr DBIResult DetailRecordsExist = 0x2606;
constexpr DBIResult NullInvalid = 0x260C;
constexpr DBIResult InvalidParam = 0x2702;
constexpr DBIResult NoSuchTableOrFile = 0x2704;
constexpr DBIResult InvalidHandle = 0x2706;
constexpr DBIResult NoSuchIndex = 0x270D;
constexpr DBIResult UnknownDb = 0x271E;
constexpr DBIResult InvalidPassword = 0x271F;
constexpr DBIResult InvalidFieldValue = 0x2723;
constexpr DBIResult InvalidBookmark = 0x2725;
constexpr DBIResult NoSuchTable = 0x2728;
constexpr DBIResult InvalidFilter = 0x2742;
constexpr DBIResult NotImplemented = 0x274F;
constexpr DBIResult TableInUse = 0x2803;
constexpr DBIResult DatabaseInUse = 0x2804;
constexpr DBIResult TableLocked = 0x2805;
constexpr DBIResult DatabaseLocked = 0x2806;
constexpr DBIResult RecordAlreadyLocked = 0x2807;
constexpr DBIResult RecordLockFailed = 0x2812;
constexpr DBIResult ColumnNotUpdatable = 0x2906;
constexpr DBIResult AccessDenied = 0x2908;
constexpr DBIResult NotABlob = 0x2A01;
constexpr DBIResult BlobOpened = 0x2A02;
constexpr DBIResult BlobNotOpened = 0x2A03;
constexpr DBIResult NoActiveIndex = 0x2A05;
constexpr DBIResult NotInitialized = 0x2A06;
constexpr DBIResult MultipleInit = 0x2A07;
constexpr DBIResult ReadOnly = 0x2A0B;
constexpr DBIResult NotOnAttachedTable = 0x2A0E;
constexpr DBIResult DaoError = 0x2B66;
constexpr DBIResult NotSupported = 0x3001;
constexpr DBIResult InvalidAlias = 0x3101;
constexpr DBIResult ErrorEntryDelivered = 0x3303;
}  // namespace rc

#pragma pack(push, 1)

// Cursor properties (427 bytes).
struct CURProps {
  char szName[261];
  std::uint16_t iFNameSize;
  char szTableType[32];
  std::uint16_t iFields;
  std::uint16_t iRecSize;
  std::uint16_t iRecBufSize;
  std::uint16_t iKeySize;
  std::uint16_t iIndexes;
  std::uint16_t iValChecks;
  std::uint16_t iRefIntChecks;
  std::uint16_t iBookMarkSize;
  BOOL16 bBookMarkStable;
  std::uint32_t eOpenMode;
  std::uint32_t eShareMode;
  BOOL16 bIndexed;
  std::int16_t iSeqNums;
  BOOL16 bSoftDeletes;
  BOOL16 bDeletedOn;
  std::uint16_t iRefRange;
  std::uint32_t exltMode;
  std::uint16_t iRestrVersion;
  BOOL16 bUniDirectional;
  std::uint16_t eprvRights;
  std::uint16_t Dummy4;
  std::uint16_t iFmlRights;
  std::uint16_t iPasswords;
  std::uint16_t iCodePage;
  BOOL16 bProtected;
  std::uint16_t iTblLevel;
  char szLangDriver[32];
  BOOL16 bFieldMap;
  std::uint16_t iBlockSize;
  BOOL16 bStrictRefInt;
  std::uint16_t iFilters;
  BOOL16 bTempTable;
  std::uint16_t iUnUsed[16];
};
static_assert(sizeof(CURProps) == 427);

// Field descriptor (62 bytes).
struct FLDDesc {
  std::uint16_t iFldNum;
  char szName[32];
  std::uint16_t iFldType;
  std::uint16_t iSubType;
  std::int16_t iUnits1;
  std::int16_t iUnits2;
  std::uint16_t iOffset;
  std::uint16_t iLen;
  std::uint16_t iNullOffset;
  std::uint32_t efldvVchk;
  std::uint32_t efldrRights;
  BOOL16 bCalcField;
  std::uint16_t iUnUsed[2];
};
static_assert(sizeof(FLDDesc) == 62);
static_assert(offsetof(FLDDesc, szName) == 2 && offsetof(FLDDesc, iOffset) == 42);

// Session information (562 bytes).
struct SESInfo {
  std::uint16_t iSession;
  char szName[32];
  std::uint16_t iDatabases;
  std::uint16_t iCursors;
  std::int16_t iLockWait;
  char szNetDir[261];
  char szPrivDir[261];
};
static_assert(sizeof(SESInfo) == 562);

// Database description (357 bytes).
struct DBDesc {
  char szName[32];
  char szText[32];
  char szPhyName[261];
  char szDbType[32];
};
static_assert(sizeof(DBDesc) == 357);

// Configuration entry (292 bytes).
struct CFGDesc {
  char szNodeName[32];
  char szDescription[128];
  std::uint16_t iDataType;
  char szValue[128];
  BOOL16 bHasSubnodes;
};
static_assert(sizeof(CFGDesc) == 292);

// Transaction information (10 bytes).
struct XInfo {
  std::uint32_t exState;
  std::uint32_t eXIL;
  std::uint16_t uNests;
};
static_assert(sizeof(XInfo) == 10);

// Date format (9 bytes) and time format (16 bytes).
struct FMTDate {
  char szDateSeparator[4];
  std::uint8_t iDateMode;
  std::uint8_t bFourDigitYear;
  std::uint8_t bYearBiased;
  std::uint8_t bMonthLeadingZero;
  std::uint8_t bDayLeadingZero;
};
static_assert(sizeof(FMTDate) == 9);

struct FMTTime {
  char cTimeSeparator;
  std::uint8_t bTwelveHour;
  char szAmString[6];
  char szPmString[6];
  std::uint8_t bSeconds;
  std::uint8_t bMilSeconds;
};
static_assert(sizeof(FMTTime) == 16);

// Error information (642 bytes).
struct DBIErrInfo {
  DBIResult iError;
  char szErrCode[128];
  char szContext[4][128];
};
static_assert(sizeof(DBIErrInfo) == 642);

// Index descriptor (893 bytes).
struct IDXDesc {
  char szName[261];
  std::uint16_t iIndexId;
  char szTagName[32];
  char szFormat[32];
  BOOL16 bPrimary;
  BOOL16 bUnique;
  BOOL16 bDescending;
  BOOL16 bMaintained;
  BOOL16 bSubset;
  BOOL16 bExpIdx;
  std::uint16_t iCost;
  std::uint16_t iFldsInKey;
  std::uint16_t iKeyLen;
  BOOL16 bOutofDate;
  std::uint16_t iKeyExpType;
  std::uint16_t aiKeyFld[16];
  char szKeyExp[221];
  char szKeyCond[221];
  BOOL16 bCaseInsensitive;
  std::uint16_t iBlockSize;
  std::uint16_t iRestrNum;
  BOOL16 abDescending[16];
  std::uint16_t iUnUsed[16];
};
static_assert(sizeof(IDXDesc) == 893);

// Validity check descriptor (1219 bytes).
struct VCHKDesc {
  std::uint16_t iFldNum;
  BOOL16 bRequired;
  BOOL16 bHasMinVal;
  BOOL16 bHasMaxVal;
  BOOL16 bHasDefVal;
  std::uint8_t aMinVal[256];
  std::uint8_t aMaxVal[256];
  std::uint8_t aDefVal[256];
  char szPict[176];
  std::uint32_t elkupType;
  char szLkupTblName[261];
};
static_assert(sizeof(VCHKDesc) == 1219);

// Record properties (14 bytes); the engine leaves them zero.
struct RECProps {
  std::uint32_t iSeqNum;
  std::uint32_t iPhyRecNum;
  std::uint16_t iRecStatus;
  BOOL16 bSeqNumChanged;
  BOOL16 bDeleteFlag;
};
static_assert(sizeof(RECProps) == 14);

// Stored procedure parameter descriptor (52 bytes).
struct SPParamDesc {
  std::uint16_t uParamNum;
  char szName[32];
  std::uint32_t eParamType;
  std::uint16_t uFldType;
  std::uint16_t uSubType;
  std::int16_t iUnits1;
  std::int16_t iUnits2;
  std::uint16_t uOffset;
  std::uint16_t uLen;
  std::uint16_t uNullOffset;
};
static_assert(sizeof(SPParamDesc) == 52);

// Table creation descriptor. Only the name, the field descriptors (physical
// types) and the index descriptors are used.
struct CRTblDesc {
  char szTblName[261];
  char szTblType[32];
  char szErrTblName[261];
  char szUserName[32];
  char szPassword[32];
  BOOL16 bProtected;
  BOOL16 bPack;
  std::uint16_t iFldCount;
  void* pecrFldOp;
  FLDDesc* pfldDesc;
  std::uint16_t iIdxCount;
  void* pecrIdxOp;
  IDXDesc* pidxDesc;
  std::uint16_t iSecRecCount;
  void* pecrSecOp;
  void* psecDesc;
  std::uint16_t iValChkCount;
  void* pecrValChkOp;
  VCHKDesc* pvchkDesc;
  std::uint16_t iRintCount;
  void* pecrRintOp;
  void* printDesc;
  std::uint16_t iOptParams;
  FLDDesc* pfldOptParams;
  std::uint8_t* pOptData;
};

// Header of a filter expression block; nodes and literals follow within
// iTotalSize bytes of the block's start.
struct CANExpr {
  std::uint16_t iVer;
  std::uint16_t iTotalSize;
  std::uint16_t iNodes;
  std::uint16_t iNodeStart;
  std::uint16_t iLiteralStart;
};
static_assert(sizeof(CANExpr) == 10);

#pragma pack(pop)

// Filter function: (client data, record buffer, physical record number 0);
// accepts the record when the low byte of its result is not 0.
using FilterCallback = std::int16_t (*)(std::uint32_t clientData, std::uint8_t* record, std::int32_t phyRecNum);
using hDBIFilter = void*;

// Detach notification: (callback type, client data, callback buffer).
using DetachCallback = std::uint32_t (*)(std::uint32_t type, std::uint32_t clientData, void* buffer);

}  // namespace kbe

using kbe::DBIResult;

// Address of the function in ordinal slot `ordinal`, or null when the slot is
// empty or out of range.
KBE_API void* KBEProcByOrdinal(unsigned ordinal);

// ---- entry, initialisation and sessions ----------------------------------
KBE_API void ZZZ();
KBE_API DBIResult DbiInitFn(std::uint16_t version, void* environment);
KBE_API DBIResult DbiExit();
KBE_API std::uint32_t DLLINITFUNCTION(void* attachRecord);
KBE_API std::uint32_t DLLEXITFUNCTION2(void* record);
KBE_API DBIResult DbiStartSession(const char* name, kbe::hDBISes* session, const char* netDir);
KBE_API DBIResult DbiSetCurrSession(kbe::hDBISes session);
KBE_API DBIResult DbiGetCurrSession(kbe::hDBISes* session);
KBE_API DBIResult DbiCloseSession(kbe::hDBISes session);
KBE_API DBIResult DbiSetPrivateDir(const char* directory);
KBE_API DBIResult DbiGetSysInfo(void* sysInfo);
KBE_API DBIResult DbiGetSesInfo(kbe::SESInfo* info);
KBE_API DBIResult DbiRegisterCallBack(kbe::hDBICur cursor, std::uint32_t type, std::uint32_t clientData,
                                      std::uint16_t bufferLength, void* buffer, kbe::DetachCallback function);
KBE_API DBIResult DbiGetCallBack(kbe::hDBICur cursor, std::uint32_t type, std::uint32_t* clientData,
                                 std::uint16_t* bufferLength, void** buffer, kbe::DetachCallback* function);
KBE_API DBIResult DbiDateDecode(std::int32_t date, std::uint16_t* month, std::uint16_t* day, std::int16_t* year);
KBE_API DBIResult DbiTimeDecode(std::int32_t time, std::uint16_t* hour, std::uint16_t* minute,
                                std::uint16_t* milliseconds);
KBE_API DBIResult DbiTimeStampDecode(double timeStamp, std::int32_t* date, std::int32_t* time);
KBE_API DBIResult DbiGetLdObj(kbe::hDBICur cursor, void** ldObj);
KBE_API DBIResult DbiFormFullName(kbe::hDBIDb db, const char* tableName, const char* driverType, char* fullName);
KBE_API DBIResult DbiGetDateFormat(kbe::FMTDate* format);
KBE_API DBIResult DbiGetTimeFormat(kbe::FMTTime* format);
KBE_API DBIResult OsLdLoadBySymbName(const char* name, void** ldObj);
KBE_API DBIResult OsLdUnloadObj(void** ldObj);
KBE_API DBIResult DbiGetLdName(const char* driver, const char* objName, char* ldName);
KBE_API DBIResult DbiGetLdNameFromDb(kbe::hDBIDb db, const char* objName, char* ldName);
KBE_API DBIResult DbiNativeToAnsi(void* ldObj, char* destination, const char* source, std::uint32_t length,
                                  kbe::BOOL16* dataLoss);
KBE_API DBIResult DbiAnsiToNative(void* ldObj, char* destination, const char* source, std::uint32_t length,
                                  kbe::BOOL16* dataLoss);
KBE_API DBIResult DbiGetProp(kbe::hDBIObj object, std::uint32_t property, void* value, std::int16_t size,
                             std::uint16_t* length);
KBE_API DBIResult DbiSetProp(kbe::hDBIObj object, std::uint32_t property, std::uintptr_t value);
KBE_API DBIResult DbiGetObjFromName(std::uint32_t type, const char* name, kbe::hDBIObj* object);
KBE_API DBIResult DbiGetObjFromObj(kbe::hDBIObj object, std::uint32_t type, kbe::hDBIObj* result);

// ---- errors and logging ----------------------------------------------------
KBE_API DBIResult DbiGetErrorInfo(kbe::BOOL16 full, kbe::DBIErrInfo* info);
KBE_API DBIResult DbiGetErrorString(DBIResult result, char* message);
KBE_API DBIResult DbiGetErrorEntry(std::uint16_t entry, std::uint32_t* nativeError, char* message);
KBE_API DBIResult DbiDebugLayerOptions(std::uint16_t options, const char* logFile);

// ---- configuration and aliases -----------------------------------------
KBE_API DBIResult DbiOpenDriverList(kbe::hDBICur* cursor);
KBE_API DBIResult DbiGetDriverDesc(const char* driverType, void* driverDesc);
KBE_API DBIResult DbiOpenDatabaseList(kbe::hDBICur* cursor);
KBE_API DBIResult DbiGetDatabaseDesc(const char* alias, kbe::DBDesc* desc);
KBE_API DBIResult DbiCfgPosition(kbe::hDBICfg cfg, const char* path);
KBE_API DBIResult DbiCfgAddRecord(kbe::hDBICfg cfg, const char* path, std::int16_t fieldCount,
                                  const kbe::FLDDesc* fields, const void* record);
KBE_API DBIResult DbiCfgDropRecord(kbe::hDBICfg cfg, const char* path);
KBE_API DBIResult DbiCfgGetHelp(kbe::hDBICfg cfg, const char* path, const char* nodeName, void* help);
KBE_API DBIResult DbiOpenCfgInfoList(kbe::hDBICfg cfg, std::uint32_t openMode, std::uint32_t configMode,
                                     const char* path, kbe::hDBICur* cursor);
KBE_API DBIResult DbiAddAlias(kbe::hDBICfg cfg, const char* alias, const char* driverType, const char* params,
                              kbe::BOOL16 persist);
KBE_API DBIResult DbiDeleteAlias(kbe::hDBICfg cfg, const char* alias);

// ---- databases and transactions ----------------------------------------
KBE_API DBIResult DbiOpenDatabase(const char* alias, const char* dbType, std::uint32_t openMode,
                                  std::uint32_t shareMode, const char* password, std::uint16_t optionalFields,
                                  const kbe::FLDDesc* optionalDescs, const void* optionalValues, kbe::hDBIDb* db);
KBE_API DBIResult DbiCloseDatabase(kbe::hDBIDb* db);
KBE_API DBIResult DbiBeginTran(kbe::hDBIDb db, std::uint32_t isolation, kbe::hDBIXact* transaction);
KBE_API DBIResult DbiEndTran(kbe::hDBIDb db, kbe::hDBIXact transaction, std::uint32_t endType);
KBE_API DBIResult DbiGetTranInfo(kbe::hDBIDb db, kbe::hDBIXact transaction, kbe::XInfo* info);

// ---- cursors (information cursors are served from memory) ----------------
KBE_API DBIResult DbiCloseCursor(kbe::hDBICur* cursor);
KBE_API DBIResult DbiGetCursorProps(kbe::hDBICur cursor, kbe::CURProps* props);
KBE_API DBIResult DbiGetFieldDescs(kbe::hDBICur cursor, kbe::FLDDesc* descs);
KBE_API DBIResult DbiSetToBegin(kbe::hDBICur cursor);
KBE_API DBIResult DbiSetToEnd(kbe::hDBICur cursor);
KBE_API DBIResult DbiGetRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps);
KBE_API DBIResult DbiGetNextRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps);
KBE_API DBIResult DbiGetPriorRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record, void* recProps);
KBE_API DBIResult DbiGetRelativeRecord(kbe::hDBICur cursor, std::int32_t offset, std::uint32_t lock,
                                       std::uint8_t* record, void* recProps);
KBE_API DBIResult DbiGetBookMark(kbe::hDBICur cursor, std::uint8_t* bookmark);
KBE_API DBIResult DbiSetToBookMark(kbe::hDBICur cursor, const std::uint8_t* bookmark);
KBE_API DBIResult DbiGetRecordCount(kbe::hDBICur cursor, std::uint32_t* count);
KBE_API DBIResult DbiGetExactRecordCount(kbe::hDBICur cursor, std::uint32_t* count);
KBE_API DBIResult DbiInitRecord(kbe::hDBICur cursor, std::uint8_t* record);
// The blank flag is 32 bits wide (TRUE written as -1).
KBE_API DBIResult DbiGetField(kbe::hDBICur cursor, std::uint16_t field, const std::uint8_t* record, void* value,
                              std::int32_t* blank);
KBE_API DBIResult DbiPutField(kbe::hDBICur cursor, std::uint16_t field, std::uint8_t* record, const void* value);
KBE_API DBIResult DbiGetSeqNo(kbe::hDBICur cursor, std::uint32_t* sequence);
KBE_API DBIResult DbiGetIndexDesc(kbe::hDBICur cursor, std::uint16_t sequence, kbe::IDXDesc* desc);
KBE_API DBIResult DbiGetIndexDescs(kbe::hDBICur cursor, kbe::IDXDesc* descs);
KBE_API DBIResult DbiGetVchkDesc(kbe::hDBICur cursor, std::uint16_t sequence, kbe::VCHKDesc* desc);
// The read-only and unidirectional flags are accepted and not used.
KBE_API DBIResult DbiCloneCursor(kbe::hDBICur cursor, kbe::BOOL16 readOnly, kbe::BOOL16 uniDirectional,
                                 kbe::hDBICur* clone);
KBE_API DBIResult DbiTranslateRecordStructure(const char* sourceDriver, std::uint16_t count,
                                              const kbe::FLDDesc* source, const char* destinationDriver,
                                              const char* languageDriver, kbe::FLDDesc* destination,
                                              kbe::BOOL16 creatable);
// The comparison is -1, 0 or 1.
KBE_API DBIResult DbiCompareBookMarks(kbe::hDBICur cursor, const std::uint8_t* bookmark1,
                                      const std::uint8_t* bookmark2, std::int32_t* comparison);
KBE_API DBIResult DbiSetToCursor(kbe::hDBICur destination, kbe::hDBICur source);
KBE_API DBIResult DbiForceReread(kbe::hDBICur cursor);
KBE_API DBIResult DbiInsertRecord(kbe::hDBICur cursor, std::uint32_t lock, std::uint8_t* record);
KBE_API DBIResult DbiAppendRecord(kbe::hDBICur cursor, std::uint8_t* record);
KBE_API DBIResult DbiModifyRecord(kbe::hDBICur cursor, std::uint8_t* record, kbe::BOOL16 freeLock);
KBE_API DBIResult DbiDeleteRecord(kbe::hDBICur cursor, std::uint8_t* record);
// The all-locks flag is accepted and not used.
KBE_API DBIResult DbiRelRecordLock(kbe::hDBICur cursor, kbe::BOOL16 all);

// ---- queries -------------------------------------------------------------
KBE_API DBIResult DbiQAlloc(kbe::hDBIDb db, std::uint32_t queryLanguage, kbe::hDBIStmt* statement);
KBE_API DBIResult DbiQPrepare(kbe::hDBIStmt statement, const char* sql);
KBE_API DBIResult DbiQSetParams(kbe::hDBIStmt statement, std::uint16_t count, const kbe::FLDDesc* descs,
                                const std::uint8_t* record);
// A null cursor argument executes the statement without a result.
KBE_API DBIResult DbiQExec(kbe::hDBIStmt statement, kbe::hDBICur* cursor);
KBE_API DBIResult DbiQExecDirect(kbe::hDBIDb db, std::uint32_t queryLanguage, const char* sql, kbe::hDBICur* cursor);
KBE_API DBIResult DbiQFree(kbe::hDBIStmt* statement);
KBE_API DBIResult DbiQPrepareProc(kbe::hDBIDb db, const char* procName, std::uint16_t count,
                                  const kbe::SPParamDesc* descs, void* record, kbe::hDBIStmt* statement);
KBE_API DBIResult DbiQSetProcParams(kbe::hDBIStmt statement, std::uint16_t count, const kbe::SPParamDesc* descs,
                                    const std::uint8_t* record);
KBE_API DBIResult DbiQExecProcDirect(kbe::hDBIDb db, const char* procName, std::uint16_t count,
                                     const kbe::SPParamDesc* descs, const std::uint8_t* record, kbe::hDBICur* cursor);

// ---- blobs: cursor, record buffer and 1-based field number first -----------
KBE_API DBIResult DbiOpenBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t openMode);
KBE_API DBIResult DbiGetBlobSize(kbe::hDBICur cursor, const std::uint8_t* record, std::uint16_t field,
                                 std::uint32_t* size);
KBE_API DBIResult DbiGetBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                             std::uint32_t length, std::uint8_t* destination, std::uint32_t* read);
KBE_API DBIResult DbiPutBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field, std::uint32_t offset,
                             std::uint32_t length, const std::uint8_t* source);
KBE_API DBIResult DbiTruncateBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field,
                                  std::uint32_t length);
KBE_API DBIResult DbiFreeBlob(kbe::hDBICur cursor, std::uint8_t* record, std::uint16_t field);

// ---- tables, indexes, keys and ranges --------------------------------------
KBE_API DBIResult DbiOpenTable(kbe::hDBIDb db, const char* tableName, const char* driverType, const char* indexName,
                               const char* indexTagName, std::uint16_t indexId, std::uint32_t openMode,
                               std::uint32_t shareMode, std::uint32_t translateMode, kbe::BOOL16 uniDirectional,
                               void* optParams, kbe::hDBICur* cursor);
KBE_API DBIResult DbiSwitchToIndex(kbe::hDBICur* cursor, const char* indexName, const char* tagName,
                                   std::uint16_t indexId, kbe::BOOL16 currentRecord);
// Search conditions: 0 equal, 1 greater, 2 greater or equal.
KBE_API DBIResult DbiSetToKey(kbe::hDBICur cursor, std::uint32_t condition, kbe::BOOL16 directKey,
                              std::uint16_t fields, std::uint16_t partialLength, const std::uint8_t* key);
KBE_API DBIResult DbiGetRecordForKey(kbe::hDBICur cursor, kbe::BOOL16 directKey, std::uint16_t fields,
                                     std::uint16_t partialLength, const std::uint8_t* key, std::uint8_t* record);
KBE_API DBIResult DbiSetRange(kbe::hDBICur cursor, kbe::BOOL16 keyItself, std::uint16_t fields1,
                              std::uint16_t partialLength1, const std::uint8_t* key1, kbe::BOOL16 inclusive1,
                              std::uint16_t fields2, std::uint16_t partialLength2, const std::uint8_t* key2,
                              kbe::BOOL16 inclusive2);
KBE_API DBIResult DbiResetRange(kbe::hDBICur cursor);
KBE_API DBIResult DbiExtractKey(kbe::hDBICur cursor, const std::uint8_t* record, std::uint8_t* key);
KBE_API DBIResult DbiEmptyTable(kbe::hDBIDb db, kbe::hDBICur cursor, const char* tableName, const char* driverType);
KBE_API DBIResult DbiCreateTable(kbe::hDBIDb db, kbe::BOOL16 overwrite, const kbe::CRTblDesc* desc);
KBE_API DBIResult DbiDeleteTable(kbe::hDBIDb db, const char* tableName, const char* driverType);
KBE_API DBIResult DbiRenameTable(kbe::hDBIDb db, const char* oldName, const char* driverType, const char* newName);
KBE_API DBIResult DbiAddIndex(kbe::hDBIDb db, kbe::hDBICur cursor, const char* tableName, const char* driverType,
                              const kbe::IDXDesc* desc, const char* keyViolationTable);
KBE_API DBIResult DbiDeleteIndex(kbe::hDBIDb db, kbe::hDBICur cursor, const char* tableName, const char* driverType,
                                 const char* indexName, const char* tagName, std::uint16_t indexId);

// ---- filters -----------------------------------------------------------------
KBE_API DBIResult DbiAddFilter(kbe::hDBICur cursor, std::uint32_t clientData, std::uint16_t priority,
                               kbe::BOOL16 canAbort, const void* expression, kbe::FilterCallback callback,
                               kbe::hDBIFilter* filter);
KBE_API DBIResult DbiDropFilter(kbe::hDBICur cursor, kbe::hDBIFilter filter);
KBE_API DBIResult DbiActivateFilter(kbe::hDBICur cursor, kbe::hDBIFilter filter);
KBE_API DBIResult DbiDeactivateFilter(kbe::hDBICur cursor, kbe::hDBIFilter filter);

// ---- catalogue lists ---------------------------------------------------------
KBE_API DBIResult DbiOpenTableList(kbe::hDBIDb db, kbe::BOOL16 extended, kbe::BOOL16 system, const char* pattern,
                                   kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenIndexList(kbe::hDBIDb db, const char* tableName, const char* driverType,
                                   kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenFieldList(kbe::hDBIDb db, const char* tableName, const char* driverType,
                                   kbe::BOOL16 physicalTypes, kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenVchkList(kbe::hDBIDb db, const char* tableName, const char* driverType,
                                  kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenRintList(kbe::hDBIDb db, const char* tableName, const char* driverType,
                                  kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenSecurityList(kbe::hDBIDb db, const char* tableName, const char* driverType,
                                      kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenTableTypesList(const char* driverType, kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenFieldTypesList(const char* driverType, const char* tableType, kbe::hDBICur* cursor);
// `desc` receives one 164-byte "FIELDTYPES" row.
KBE_API DBIResult DbiGetFieldTypeDesc(const char* driverType, const char* tableType, const char* fieldType,
                                      void* desc);
KBE_API DBIResult DbiOpenSPList(kbe::hDBIDb db, kbe::BOOL16 extended, kbe::BOOL16 system, const char* qualifier,
                                kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenSPParamList(kbe::hDBIDb db, const char* procName, kbe::BOOL16 physicalTypes,
                                     std::uint16_t overload, kbe::hDBICur* cursor);
KBE_API DBIResult DbiOpenSessionRepository(void* unused, kbe::hDBICur* cursor);
