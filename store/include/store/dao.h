// The storage component's object model: DAO's objects and members over an
// embedded SQLCipher database.
//
// Every object is a reference-counted interface (AddRef/Release); every member
// returns an HRESULT. DAO's own failures are 0x800A0000 + the DAO error number
// and also fill the Errors collection of the engine the object belongs to.
// Strings are UTF-8. Booleans are 16-bit: -1 true, 0 false. Optional
// arguments are variants; pass Variant::missing() to omit one.
//
// Create an engine through the class object:
//   ComPtr<IClassFactory> f;
//   khStoreGetClassObject(CLSID_PrivDBEngine, IClassFactory::kIID, (void**)f.put());
//   ComPtr<_DBEngine> e;
//   f->CreateInstance(nullptr, _DBEngine::kIID, (void**)e.put());
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/com.h"
#include "platform/hresult.h"
#include "platform/variant.h"

#define KHSTORE_API extern "C" __attribute__((visibility("default")))

namespace kh::dao {

using BSTR = std::string;
using VARIANT_BOOL = std::int16_t;

// Class and interface identifiers.
extern const GUID CLSID_DBEngine;      // {00000010-0000-0010-8000-00AA006D2EA4}
extern const GUID CLSID_PrivDBEngine;  // {00000011-0000-0010-8000-00AA006D2EA4}

// ---- constants ----------------------------------------------------------

// Field types.
enum DataType : std::int16_t {
  dbBoolean = 1,
  dbByte = 2,
  dbInteger = 3,
  dbLong = 4,
  dbCurrency = 5,
  dbSingle = 6,
  dbDouble = 7,
  dbDate = 8,
  dbBinary = 9,
  dbText = 10,
  dbLongBinary = 11,
  dbMemo = 12,
  dbGUID = 15,
};

// Field attributes.
enum FieldAttribute : std::int32_t {
  dbFixedField = 0x1,
  dbVariableField = 0x2,
  dbAutoIncrField = 0x10,
  dbUpdatableField = 0x20,
  dbDescending = 0x1,  // on index fields
};

// Table attributes.
enum TableAttribute : std::int32_t {
  dbSystemObject = static_cast<std::int32_t>(0x80000002u),
  dbHiddenObject = 0x1,
  dbAttachedTable = 0x40000000,
};

// Relation attributes.
enum RelationAttribute : std::int32_t {
  dbRelationUnique = 0x1,
  dbRelationDontEnforce = 0x2,
  dbRelationInherited = 0x4,
  dbRelationUpdateCascade = 0x100,
  dbRelationDeleteCascade = 0x1000,
};

// Recordset types.
enum RecordsetType : std::int16_t {
  dbOpenTable = 1,
  dbOpenDynaset = 2,
  dbOpenSnapshot = 4,
  dbOpenForwardOnly = 8,
};

// Recordset and Execute options.
enum RecordsetOption : std::int32_t {
  dbDenyWrite = 0x1,
  dbDenyRead = 0x2,
  dbReadOnly = 0x4,
  dbAppendOnly = 0x8,
  dbInconsistent = 0x10,
  dbConsistent = 0x20,
  dbSQLPassThrough = 0x40,
  dbFailOnError = 0x80,
  dbForwardOnly = 0x100,
  dbSeeChanges = 0x200,
};

// Lock types.
enum LockType : std::int32_t {
  dbPessimistic = 2,
  dbOptimistic = 3,
};

// OpenDatabase / CreateDatabase options.
enum DatabaseOption : std::int32_t {
  dbVersion10 = 1,
  dbEncrypt = 2,
  dbDecrypt = 4,
  dbVersion11 = 8,
  dbVersion20 = 16,
  dbVersion30 = 32,
};

// EditMode values.
enum EditMode : std::int16_t {
  dbEditNone = 0,
  dbEditInProgress = 1,
  dbEditAdd = 2,
};

// Workspace types.
enum WorkspaceType : std::int32_t {
  dbUseODBC = 1,
  dbUseJet = 2,
};

// Update types.
enum UpdateType : std::int32_t {
  dbUpdateBatch = 4,
  dbUpdateRegular = 1,
  dbUpdateCurrentRecord = 2,
};

// CommitTrans options.
constexpr std::int32_t dbForceOSFlush = 1;

// The locale string of a new file: Jet's general sort order on code page 1252.
inline constexpr const char* dbLangGeneral = ";LANGID=0x0409;CP=1252;COUNTRY=0";

// ---- DAO error numbers used by the component ----------------------------

namespace err {
constexpr unsigned InvalidArgument = 3001;           // Invalid argument.
constexpr unsigned DatabaseExclusive = 3006;         // Database is exclusively locked.
constexpr unsigned TableExists = 3010;               // Table already exists.
constexpr unsigned ObjectNotFound = 3011;            // Couldn't find object.
constexpr unsigned ObjectExists = 3012;              // Object already exists.
constexpr unsigned IndexNotFound = 3015;             // Not an index in this table.
constexpr unsigned NoCurrentIndex = 3019;            // Operation invalid without a current index.
constexpr unsigned UpdateWithoutEdit = 3020;         // Update or CancelUpdate without AddNew or Edit.
constexpr unsigned NoCurrentRecord = 3021;           // No current record.
constexpr unsigned DuplicateKey = 3022;              // Duplicate values in index or primary key.
constexpr unsigned FileNotFound = 3024;              // Couldn't find file.
constexpr unsigned DiskFull = 3026;                  // Not enough space on disk.
constexpr unsigned ReadOnly = 3027;                  // Can't update; database or object is read-only.
constexpr unsigned BadAccount = 3029;                // Not a valid account name or password.
constexpr unsigned BadPassword = 3031;               // Not a valid password.
constexpr unsigned NoPermission = 3033;              // No permission.
constexpr unsigned NotInTransaction = 3034;          // Commit or rollback without BeginTrans.
constexpr unsigned OutOfMemory = 3035;               // Out of memory.
constexpr unsigned BadPath = 3044;                   // Not a valid path.
constexpr unsigned FileInUse = 3045;                 // Couldn't use; file already in use.
constexpr unsigned CantOpenFile = 3051;              // Couldn't open file; exclusively opened or no permission.
constexpr unsigned BadFileName = 3055;               // Not a valid file name.
constexpr unsigned NullInIndex = 3058;               // Index or primary key can't contain a Null value.
constexpr unsigned TooFewParameters = 3061;          // Too few parameters.
constexpr unsigned QueryNotUpdatable = 3073;         // Operation must use an updatable query.
constexpr unsigned SyntaxErrorExpression = 3075;     // Syntax error in query expression.
constexpr unsigned CantFindTable = 3078;             // Couldn't find input table or query.
constexpr unsigned BadName = 3125;                   // Not a valid name.
constexpr unsigned InvalidSql = 3129;                // Invalid SQL statement.
constexpr unsigned SyntaxErrorFrom = 3131;           // Syntax error in FROM clause.
constexpr unsigned TrailingCharacters = 3142;        // Characters found after end of SQL statement.
constexpr unsigned NotValidBookmark = 3159;          // Not a valid bookmark.
constexpr unsigned NullToNonVariant = 3162;          // Null assigned to a non-nullable value.
constexpr unsigned FieldTooSmall = 3163;             // Field is too small to accept the data.
constexpr unsigned RecordDeleted = 3167;             // Record is deleted.
constexpr unsigned CantDefineFieldTwice = 3191;      // Can't define field more than once.
constexpr unsigned DataChanged = 3197;               // Data has changed; operation stopped.
constexpr unsigned RelatedRecordsExist = 3200;       // Record can't be deleted or changed: related records.
constexpr unsigned RelatedRecordRequired = 3201;     // Can't add or change record: related record required.
constexpr unsigned DatabaseExists = 3204;            // Database already exists.
constexpr unsigned CurrentlyLocked = 3218;           // Couldn't update; currently locked.
constexpr unsigned InvalidOperation = 3219;          // Invalid operation.
constexpr unsigned OperationNotSupported = 3251;     // Operation not supported for this type of object.
constexpr unsigned LockedByUser = 3260;              // Couldn't update; currently locked by user.
constexpr unsigned InvalidFieldName = 3264;          // No field defined.
constexpr unsigned ItemNotFound = 3265;              // Item not found in this collection.
constexpr unsigned PropertyNotFound = 3270;          // Property not found.
constexpr unsigned PrimaryKeyExists = 3283;          // Primary key already exists.
constexpr unsigned IndexExists = 3284;               // Index already exists.
constexpr unsigned FieldCantBeNull = 3314;           // Field can't contain a Null value.
constexpr unsigned ZeroLengthNotAllowed = 3315;      // Field can't be a zero-length string.
constexpr unsigned ValidationRuleViolated = 3316;    // Validation rule violated.
constexpr unsigned UnrecognizedFormat = 3343;        // Unrecognized database format.
constexpr unsigned NumericOverflow = 3349;           // Numeric field overflow.
constexpr unsigned ObjectAlreadyInCollection = 3367; // Can't append; object already in collection.
constexpr unsigned ObjectInvalid = 3420;             // Object invalid or no longer set.
constexpr unsigned ConversionError = 3421;           // Data type conversion error.
constexpr unsigned TypeMismatch = 3464;              // Data type mismatch in criteria expression.
}  // namespace err

// ---- interfaces ---------------------------------------------------------

struct IClassFactory : IUnknown {
  static constexpr GUID kIID = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  virtual HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** out) = 0;
  virtual HRESULT LockServer(VARIANT_BOOL lock) = 0;
};

struct Error;
struct Errors;
struct Workspace;
struct Workspaces;
struct Database;
struct _TableDef;
struct TableDefs;
struct _QueryDef;
struct QueryDefs;
struct Recordset;
struct _Field;
struct Fields;
struct _Index;
struct Indexes;
struct IndexFields;
struct Parameter;
struct Parameters;
struct Relation;
struct Relations;

struct _Collection : IDispatch {
  static constexpr GUID kIID = {0x000000A0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Count(std::int16_t* out) = 0;
  virtual HRESULT Refresh() = 0;
};

struct _DynaCollection : _Collection {
  static constexpr GUID kIID = {0x000000A2, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  // Appends a new (not yet appended) object created by this collection's owner.
  virtual HRESULT Append(IDispatch* object) = 0;
  virtual HRESULT Delete(const BSTR& name) = 0;
};

struct Error : IDispatch {
  static constexpr GUID kIID = {0x00000023, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Number(std::int32_t* out) = 0;
  virtual HRESULT get_Description(BSTR* out) = 0;
  virtual HRESULT get_Source(BSTR* out) = 0;
};

struct Errors : _Collection {
  static constexpr GUID kIID = {0x00000025, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, Error** out) = 0;
};

struct _DBEngine : IDispatch {
  static constexpr GUID kIID = {0x00000021, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Version(BSTR* out) = 0;
  virtual HRESULT get_SystemDB(BSTR* out) = 0;
  virtual HRESULT put_SystemDB(const BSTR& path) = 0;
  virtual HRESULT get_Workspaces(Workspaces** out) = 0;
  virtual HRESULT get_Errors(Errors** out) = 0;
  virtual HRESULT CreateWorkspace(const BSTR& name, const BSTR& user, const BSTR& password,
                                  const Variant& type, Workspace** out) = 0;
  // Opens through workspace 0.
  virtual HRESULT OpenDatabase(const BSTR& name, const Variant& options, const Variant& readOnly,
                               const Variant& connect, Database** out) = 0;
  virtual HRESULT CompactDatabase(const BSTR& source, const BSTR& target, const Variant& targetLocale,
                                  const Variant& options, const Variant& sourceLocale) = 0;
  virtual HRESULT RepairDatabase(const BSTR& name) = 0;
};

struct Workspace : IDispatch {
  static constexpr GUID kIID = {0x00000039, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_UserName(BSTR* out) = 0;
  virtual HRESULT OpenDatabase(const BSTR& name, const Variant& options, const Variant& readOnly,
                               const Variant& connect, Database** out) = 0;
  // locale: ";LANGID=...;CP=...;COUNTRY=..." optionally followed by ";pwd=<password>".
  virtual HRESULT CreateDatabase(const BSTR& name, const BSTR& locale, const Variant& options,
                                 Database** out) = 0;
  virtual HRESULT BeginTrans() = 0;
  virtual HRESULT CommitTrans(std::int32_t options) = 0;
  virtual HRESULT Rollback() = 0;
  virtual HRESULT Close() = 0;
};

struct Workspaces : _DynaCollection {
  static constexpr GUID kIID = {0x0000003B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, Workspace** out) = 0;
};

struct Database : IDispatch {
  static constexpr GUID kIID = {0x00000071, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Connect(BSTR* out) = 0;
  virtual HRESULT get_Transactions(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_Updatable(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_RecordsAffected(std::int32_t* out) = 0;
  virtual HRESULT get_TableDefs(TableDefs** out) = 0;
  virtual HRESULT get_QueryDefs(QueryDefs** out) = 0;
  virtual HRESULT get_Relations(Relations** out) = 0;
  virtual HRESULT Execute(const BSTR& sql, const Variant& options) = 0;
  virtual HRESULT CreateTableDef(const Variant& name, const Variant& attributes, const Variant& sourceTable,
                                 const Variant& connect, _TableDef** out) = 0;
  virtual HRESULT CreateQueryDef(const Variant& name, const Variant& sql, _QueryDef** out) = 0;
  virtual HRESULT CreateRelation(const Variant& name, const Variant& table, const Variant& foreignTable,
                                 const Variant& attributes, Relation** out) = 0;
  virtual HRESULT BeginTrans() = 0;
  virtual HRESULT CommitTrans(std::int32_t options) = 0;
  virtual HRESULT Rollback() = 0;
  virtual HRESULT NewPassword(const BSTR& oldPassword, const BSTR& newPassword) = 0;
  // name: a table, a stored query or an SQL statement.
  virtual HRESULT OpenRecordset(const BSTR& name, const Variant& type, const Variant& options,
                                const Variant& lockEdit, Recordset** out) = 0;
  virtual HRESULT Close() = 0;
};

struct _TableDef : IDispatch {
  static constexpr GUID kIID = {0x00000049, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Attributes(std::int32_t* out) = 0;
  virtual HRESULT put_Attributes(std::int32_t value) = 0;
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(const BSTR& value) = 0;
  virtual HRESULT get_Updatable(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_RecordCount(std::int32_t* out) = 0;
  virtual HRESULT get_ValidationRule(BSTR* out) = 0;
  virtual HRESULT put_ValidationRule(const BSTR& value) = 0;
  virtual HRESULT get_Fields(Fields** out) = 0;
  virtual HRESULT get_Indexes(Indexes** out) = 0;
  virtual HRESULT OpenRecordset(const Variant& type, const Variant& options, Recordset** out) = 0;
  virtual HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, _Field** out) = 0;
  virtual HRESULT CreateIndex(const Variant& name, _Index** out) = 0;
};

struct TableDefs : _DynaCollection {
  static constexpr GUID kIID = {0x0000004B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, _TableDef** out) = 0;
};

struct _QueryDef : IDispatch {
  static constexpr GUID kIID = {0x00000069, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(const BSTR& value) = 0;
  virtual HRESULT get_SQL(BSTR* out) = 0;
  virtual HRESULT put_SQL(const BSTR& value) = 0;
  virtual HRESULT get_Type(std::int16_t* out) = 0;
  virtual HRESULT get_Updatable(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_ReturnsRecords(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_RecordsAffected(std::int32_t* out) = 0;
  virtual HRESULT get_Parameters(Parameters** out) = 0;
  virtual HRESULT get_Fields(Fields** out) = 0;
  virtual HRESULT Execute(const Variant& options) = 0;
  virtual HRESULT OpenRecordset(const Variant& type, const Variant& options, const Variant& lockEdit,
                                Recordset** out) = 0;
  virtual HRESULT Close() = 0;
};

struct QueryDefs : _DynaCollection {
  static constexpr GUID kIID = {0x0000006B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, _QueryDef** out) = 0;
};

// A field value of a recordset's current record as the store holds it, lent
// without making a variant. Text (UTF-8) and bytes point into the recordset and
// stay valid until it moves, changes or is asked for values again.
struct FieldValueView {
  VARTYPE type = VT_EMPTY;     // VT_NULL, or the kind a variant of the value would have
  std::int64_t integer = 0;    // VT_BOOL (-1/0), VT_UI1, VT_I2, VT_I4; VT_CY scaled by 10000
  double real = 0;             // VT_R4, VT_R8, VT_DATE
  const char* data = nullptr;  // VT_BSTR, VT_UI1_ARRAY
  std::size_t size = 0;
};

struct Recordset : IDispatch {
  static constexpr GUID kIID = {0x00000031, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Type(std::int16_t* out) = 0;
  virtual HRESULT get_BOF(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_EOF(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_NoMatch(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_Updatable(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_Restartable(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_Bookmarkable(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_EditMode(std::int16_t* out) = 0;
  virtual HRESULT get_RecordCount(std::int32_t* out) = 0;
  virtual HRESULT get_AbsolutePosition(std::int32_t* out) = 0;
  virtual HRESULT put_AbsolutePosition(std::int32_t value) = 0;
  virtual HRESULT get_Bookmark(Variant* out) = 0;
  virtual HRESULT put_Bookmark(const Variant& value) = 0;
  virtual HRESULT get_LastModified(Variant* out) = 0;
  virtual HRESULT get_Index(BSTR* out) = 0;
  virtual HRESULT put_Index(const BSTR& value) = 0;
  virtual HRESULT get_LockEdits(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_LockEdits(VARIANT_BOOL value) = 0;
  virtual HRESULT get_Parent(Database** out) = 0;
  virtual HRESULT get_Fields(Fields** out) = 0;
  // index: a 0-based position or a field name (any letter case).
  virtual HRESULT get_Collect(const Variant& index, Variant* out) = 0;
  virtual HRESULT put_Collect(const Variant& index, const Variant& value) = 0;
  virtual HRESULT AddNew() = 0;
  virtual HRESULT Edit() = 0;
  virtual HRESULT Update(std::int32_t updateType, VARIANT_BOOL force) = 0;
  virtual HRESULT _30_Update() = 0;
  virtual HRESULT CancelUpdate(std::int32_t updateType) = 0;
  virtual HRESULT _30_CancelUpdate() = 0;
  virtual HRESULT Delete() = 0;
  virtual HRESULT MoveFirst() = 0;
  virtual HRESULT MoveLast(std::int32_t options) = 0;
  virtual HRESULT _30_MoveLast() = 0;
  virtual HRESULT MoveNext() = 0;
  virtual HRESULT MovePrevious() = 0;
  virtual HRESULT Move(std::int32_t rows, const Variant& startBookmark) = 0;
  virtual HRESULT FindFirst(const BSTR& criteria) = 0;
  virtual HRESULT FindLast(const BSTR& criteria) = 0;
  virtual HRESULT FindNext(const BSTR& criteria) = 0;
  virtual HRESULT FindPrevious(const BSTR& criteria) = 0;
  // comparison: "=", ">=", ">", "<=" or "<"; keys past the index's field count are missing values.
  virtual HRESULT Seek(const BSTR& comparison, const std::array<Variant, 13>& keys) = 0;
  virtual HRESULT Clone(Recordset** out) = 0;
  virtual HRESULT Requery(const Variant& newQueryDef) = 0;
  virtual HRESULT Close() = 0;
  // The current record's values (the edit buffer's while editing) in field
  // order, without variants: `count` views, at most the field count. For
  // readers that copy a record out at once.
  virtual HRESULT ViewCurrentValues(FieldValueView* out, std::int16_t count) = 0;
};

struct _Field : IDispatch {
  static constexpr GUID kIID = {0x00000051, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(const BSTR& value) = 0;
  virtual HRESULT get_Type(std::int16_t* out) = 0;
  virtual HRESULT put_Type(std::int16_t value) = 0;
  virtual HRESULT get_Size(std::int32_t* out) = 0;
  virtual HRESULT put_Size(std::int32_t value) = 0;
  virtual HRESULT get_Attributes(std::int32_t* out) = 0;
  virtual HRESULT put_Attributes(std::int32_t value) = 0;
  virtual HRESULT get_CollatingOrder(std::int32_t* out) = 0;
  virtual HRESULT get_OrdinalPosition(std::int16_t* out) = 0;
  // Length in bytes of a Memo or Long Binary value of the current record.
  virtual HRESULT get_FieldSize(std::int32_t* out) = 0;
  virtual HRESULT get_SourceTable(BSTR* out) = 0;
  virtual HRESULT get_SourceField(BSTR* out) = 0;
  virtual HRESULT get_ValidationRule(BSTR* out) = 0;
  virtual HRESULT put_ValidationRule(const BSTR& value) = 0;
  virtual HRESULT get_ValidationText(BSTR* out) = 0;
  virtual HRESULT put_ValidationText(const BSTR& value) = 0;
  virtual HRESULT get_DefaultValue(Variant* out) = 0;
  virtual HRESULT put_DefaultValue(const Variant& value) = 0;
  virtual HRESULT get_Required(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Required(VARIANT_BOOL value) = 0;
  virtual HRESULT get_AllowZeroLength(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_AllowZeroLength(VARIANT_BOOL value) = 0;
  virtual HRESULT get_DataUpdatable(VARIANT_BOOL* out) = 0;
  virtual HRESULT get_ForeignName(BSTR* out) = 0;
  virtual HRESULT put_ForeignName(const BSTR& value) = 0;
  // The value in the current record of the recordset the field belongs to.
  virtual HRESULT get_Value(Variant* out) = 0;
  virtual HRESULT put_Value(const Variant& value) = 0;
};

struct Fields : _DynaCollection {
  static constexpr GUID kIID = {0x00000053, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, _Field** out) = 0;
};

struct _Index : IDispatch {
  static constexpr GUID kIID = {0x00000059, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(const BSTR& value) = 0;
  virtual HRESULT get_Unique(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Unique(VARIANT_BOOL value) = 0;
  virtual HRESULT get_Primary(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Primary(VARIANT_BOOL value) = 0;
  virtual HRESULT get_Required(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_Required(VARIANT_BOOL value) = 0;
  virtual HRESULT get_IgnoreNulls(VARIANT_BOOL* out) = 0;
  virtual HRESULT put_IgnoreNulls(VARIANT_BOOL value) = 0;
  virtual HRESULT get_Foreign(VARIANT_BOOL* out) = 0;
  // The index's fields collection (an IndexFields) as a dispatch variant.
  virtual HRESULT get_Fields(Variant* out) = 0;
  virtual HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, _Field** out) = 0;
};

struct Indexes : _DynaCollection {
  static constexpr GUID kIID = {0x0000005B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, _Index** out) = 0;
};

struct IndexFields : _DynaCollection {
  static constexpr GUID kIID = {0x0000005D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  // The field as a dispatch variant.
  virtual HRESULT get_Item(const Variant& index, Variant* out) = 0;
};

struct Parameter : IDispatch {
  static constexpr GUID kIID = {0x00000061, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT get_Type(std::int16_t* out) = 0;
  virtual HRESULT put_Type(std::int16_t value) = 0;
  virtual HRESULT get_Value(Variant* out) = 0;
  virtual HRESULT put_Value(const Variant& value) = 0;
};

struct Parameters : _Collection {
  static constexpr GUID kIID = {0x00000063, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, Parameter** out) = 0;
};

struct Relation : IDispatch {
  static constexpr GUID kIID = {0x00000089, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Name(BSTR* out) = 0;
  virtual HRESULT put_Name(const BSTR& value) = 0;
  virtual HRESULT get_Table(BSTR* out) = 0;
  virtual HRESULT put_Table(const BSTR& value) = 0;
  virtual HRESULT get_ForeignTable(BSTR* out) = 0;
  virtual HRESULT put_ForeignTable(const BSTR& value) = 0;
  virtual HRESULT get_Attributes(std::int32_t* out) = 0;
  virtual HRESULT put_Attributes(std::int32_t value) = 0;
  virtual HRESULT get_Fields(Fields** out) = 0;
  virtual HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, _Field** out) = 0;
};

struct Relations : _DynaCollection {
  static constexpr GUID kIID = {0x0000008B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
  virtual HRESULT get_Item(const Variant& index, Relation** out) = 0;
};

}  // namespace kh::dao

// The component's class object, as a COM in-process server hands it out.
KHSTORE_API kh::HRESULT khStoreGetClassObject(const kh::GUID& clsid, const kh::GUID& iid, void** out);
