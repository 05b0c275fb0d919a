// CvDAO35: the wrapper classes through which the engine library and the
// program reach the store's DAO objects.
//
// Every DAO object kind has a wrapper class that owns one counted reference
// to the object's interface. Each member makes exactly one call of the DAO
// member of the same name; a failing HRESULT becomes EDAOError carrying the
// HRESULT and the member's name ("DAOWorkspace.OpenDatabase"). Around each
// call the caller's floating-point environment is put aside and DAO's own is
// loaded, and afterwards the other way round, so neither side sees the other's
// rounding mode or exception masks.
//
// Ownership:
// - a wrapper owns its interface reference, its user data and its cached child
//   collection wrappers;
// - the parent link (the wrapper that handed this one out) does not own; a
//   wrapper must not be used after any wrapper of its parent chain has been
//   destroyed (the program build walks the chain to report DAO's errors);
// - collection members (GetFields, GetTableDefs, ...) return the cached wrapper,
//   created on first use; callers never destroy it;
// - lookups and creation members (GetItem, OpenRecordset, CreateField, ...)
//   return a new wrapper owned by the caller.
//
// The same sources are built into the engine library (KH_DAO_ENGINE_BUILD)
// and into the program (KH_DAO_PROGRAM_BUILD). Both builds hold every member;
// they differ only in EDAOError (see there).
//
// Strings are the store's UTF-8 std::string in both directions; converting to
// and from the engine's ANSI is left to the caller. 16-bit Booleans are DAO's
// -1 (true) and 0 (false). Optional DAO arguments are variants: pass
// DAOMissing() to leave one out.
//
// All wrappers belong to the thread that loaded the layer; nothing is locked.
#pragma once

#if defined(KH_DAO_ENGINE_BUILD) == defined(KH_DAO_PROGRAM_BUILD)
#error "CvDAO35 is built with exactly one of KH_DAO_ENGINE_BUILD or KH_DAO_PROGRAM_BUILD"
#endif

#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "platform/com.h"
#include "platform/hresult.h"
#include "platform/variant.h"
#include "store/dao.h"

// ---- exceptions ---------------------------------------------------------

#if defined(KH_DAO_ENGINE_BUILD)
// A failed DAO call, in the engine library: a plain object with the HRESULT and
// the message "<Class>.<Member> failed". It is deliberately not a
// std::exception; the engine's failure conversion traps it by its own type.
class EDAOError {
 public:
  EDAOError(std::string message, kh::HRESULT errorCode) : message_(std::move(message)), errorCode_(errorCode) {}
  std::string message() const { return message_; }
  kh::HRESULT errorCode() const noexcept { return errorCode_; }

 private:
  std::string message_;
  kh::HRESULT errorCode_;
};
#else
// A failed DAO call, in the program: a std::exception whose what() is
// "<Class>.<Member> failed:" followed by "\r\n" and the description of each
// error in the Errors collection of the engine up the parent chain (nothing
// after the colon without an engine or errors), or
// "<Class>.<Member> failed(excepted while getting DAO error message)" when the
// errors cannot be read.
class EDAOError : public std::runtime_error {
 public:
  EDAOError(const std::string& message, kh::HRESULT errorCode) : std::runtime_error(message), errorCode_(errorCode) {}
  std::string message() const { return what(); }
  kh::HRESULT errorCode() const noexcept { return errorCode_; }

 private:
  kh::HRESULT errorCode_;
};
#endif

// A constructor was given a variant that holds no usable DAO object.
class EDAOConvError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  std::string message() const { return what(); }
};

// ---- process-wide state -------------------------------------------------

// Live wrapper objects: counted from the end of a successful construction to
// destruction.
std::int32_t DAOLiveObjects() noexcept;

// The value to pass for an omitted optional argument: an Error variant with
// DISP_E_PARAMNOTFOUND (0x80020004).
const kh::Variant& DAOMissing() noexcept;

// Load-time set-up: builds the missing-argument value and captures the current
// floating-point environment as both the caller's and DAO's. Runs by itself
// when the deliverable is loaded; calling it again does nothing. (There is no
// COM runtime to initialise here: the store's objects come straight from its
// class object and are used on the loading thread.)
void DAOLayerInitialize() noexcept;

// The text of the leak report for `count` live objects:
// "There are still <count> objects allocated."
std::string DAOLeakReport(std::int32_t count);
inline constexpr const char* kDAOLeakCaption = "DAO";

// The leak report as a message box would show it: when wrappers are alive,
// writes "DAO: There are still <n> objects allocated." and a line feed to
// standard error. Returns whether it wrote anything.
bool DAOReportLeaks() noexcept;

// Unload-time finish: the leak report, then the missing-argument value is
// cleared. The deliverable calls it at unload, after destroying its own
// wrappers; a static destructor calls it if nobody did. Runs once.
void DAOLayerFinalize() noexcept;

// ---- user data ------------------------------------------------------------

// Root of whatever the owner of a wrapper hangs on it (the engine's TBaseData
// derives from it). The wrapper destroys it through this virtual destructor.
class DAOUserData {
 public:
  virtual ~DAOUserData();

 protected:
  DAOUserData() = default;
  DAOUserData(const DAOUserData&) = default;
  DAOUserData& operator=(const DAOUserData&) = default;
};

// ---- the class tree -----------------------------------------------------

class DAOCollection;
class DAODynaCollection;
class DAODAO;
class DAODBEngine;
class DAOLocalEngine;
class DAOError;
class DAOErrors;
class DAOWorkspace;
class DAOWorkspaces;
class DAOTableDef;
class DAOTableDefs;
class DAODatabase;
class DAOQueryDef;
class DAOQueryDefs;
class DAORecordset;
class DAOField;
class DAOFields;
class DAOIndex;
class DAOIndexes;
class DAOIndexFields;
class DAOParameter;
class DAOParameters;
class DAORelation;
class DAORelations;

// Every wrapper class X has the same four constructors:
//   1. X(parent, interface)  takes a reference of its own on the interface;
//   2. X(parent, variant)    the variant must hold a dispatch of X's kind, else
//                            EDAOConvError "Variant is not of type VT_Dispatch";
//   3. X(variant)            as 2 with no parent, else EDAOConvError
//                            "Automation object is not of type varDispatch";
//   4. X(other)              explicit: a second wrapper of other's DAO object
//                            with the same parent (no user data, no cached
//                            collections of its own yet).
// A variant with a null dispatch, or with an object that is not of X's kind,
// counts as not holding a dispatch.
class DAOBase {
 public:
  using BaseInterface = kh::IDispatch;

  // Destroys the cached child collections (the class's own slots first, then
  // those of its bases), then the user data, then gives back the interface
  // reference.
  virtual ~DAOBase();

  DAOBase& operator=(const DAOBase&) = delete;

  // The wrapper that handed this one out; null for an engine and for
  // wrappers made from an automation variant.
  DAOBase* ParentWrapper() const noexcept { return parent_; }

  DAOUserData* UserData() const noexcept { return userData_.get(); }
  // Replaces (and destroys) the current user data.
  void SetUserData(std::unique_ptr<DAOUserData> data) noexcept { userData_ = std::move(data); }
  // Hands the user data to the caller.
  std::unique_ptr<DAOUserData> TakeUserData() noexcept { return std::move(userData_); }

  // The DAO object (borrowed).
  kh::IDispatch* Dispatch() const noexcept { return intf_.get(); }

  static constexpr const char* kNotDispatchVariant = "Variant is not of type VT_Dispatch";
  static constexpr const char* kNotDispatchAutomation = "Automation object is not of type varDispatch";

 protected:
  // One counted reference, already taken.
  struct Ref {
    kh::ComPtr<kh::IDispatch> p;
  };

  DAOBase(DAOBase* parent, Ref ref) noexcept;
  DAOBase(const DAOBase& other) noexcept;  // second wrapper of other's object

  // Takes a reference on `p` (constructor 1).
  template <class I>
  static Ref Acquire(I* p) noexcept {
    kh::IDispatch* d = p;
    AddRefBracketed(d);
    return Ref{kh::ComPtr<kh::IDispatch>::adopt(d)};
  }
  // The object of kind I in a dispatch variant (constructors 2 and 3).
  template <class I>
  static Ref FromVariant(const kh::Variant& v, const char* message) {
    return Ref{kh::ComPtr<kh::IDispatch>::adopt(static_cast<I*>(QueryVariant(v, I::kIID, message)))};
  }

 private:
  static void AddRefBracketed(kh::IDispatch* p) noexcept;
  // A counted pointer of the interface `iid` of the object in `v`, or EDAOConvError(message).
  static void* QueryVariant(const kh::Variant& v, const kh::GUID& iid, const char* message);

  DAOBase* parent_;
  std::unique_ptr<DAOUserData> userData_;
  kh::ComPtr<kh::IDispatch> intf_;
};

// The four constructors of a wrapper class, its DAO interface type and the
// typed access to its interface.
#define CVDAO35_WRAPPER(Cls, Base, Iface)                                                                            \
 public:                                                                                                             \
  using Interface = Iface;                                                                                           \
  static_assert(std::is_base_of_v<Base::BaseInterface, Iface>, #Cls " wraps an interface of its base class's kind"); \
  Cls(DAOBase* parent, Iface* intf) noexcept : Base(parent, DAOBase::Acquire(intf)) {}                               \
  Cls(DAOBase* parent, const ::kh::Variant& v)                                                                       \
      : Base(parent, DAOBase::FromVariant<Iface>(v, DAOBase::kNotDispatchVariant)) {}                                \
  explicit Cls(const ::kh::Variant& automation)                                                                      \
      : Base(nullptr, DAOBase::FromVariant<Iface>(automation, DAOBase::kNotDispatchAutomation)) {}                   \
  explicit Cls(const Cls& other) noexcept : Base(other) {}                                                           \
  Cls& operator=(const Cls&) = delete;                                                                               \
  Iface* Intf() const noexcept { return static_cast<Iface*>(Dispatch()); }                                           \
                                                                                                                     \
 protected:                                                                                                          \
  Cls(DAOBase* parent, DAOBase::Ref ref) noexcept : Base(parent, std::move(ref)) {}                                  \
                                                                                                                     \
 public:

// Any DAO collection.
class DAOCollection : public DAOBase {
 public:
  using BaseInterface = kh::dao::_Collection;
  std::int16_t GetCount();
  void Refresh();

 protected:
  DAOCollection(DAOBase* parent, Ref ref) noexcept : DAOBase(parent, std::move(ref)) {}
  DAOCollection(const DAOCollection& other) noexcept : DAOBase(other) {}
};

// A collection that objects can be appended to and deleted from.
class DAODynaCollection : public DAOCollection {
 public:
  using BaseInterface = kh::dao::_DynaCollection;
  // Appends the DAO object of `object` (a new field, index, table, ...).
  void Append(DAOBase& object);
  void Delete(const std::string& name);

 protected:
  DAODynaCollection(DAOBase* parent, Ref ref) noexcept : DAOCollection(parent, std::move(ref)) {}
  DAODynaCollection(const DAODynaCollection& other) noexcept : DAOCollection(other) {}
};

// Any DAO object that is not a collection.
class DAODAO : public DAOBase {
 public:
  using BaseInterface = kh::IDispatch;

 protected:
  DAODAO(DAOBase* parent, Ref ref) noexcept : DAOBase(parent, std::move(ref)) {}
  DAODAO(const DAODAO& other) noexcept : DAOBase(other) {}

 private:
  std::unique_ptr<DAOCollection> properties_;  // DAO's Properties; no member fills it
};

class DAODBEngine : public DAODAO {
  CVDAO35_WRAPPER(DAODBEngine, DAODAO, kh::dao::_DBEngine)

  DAOWorkspaces* GetWorkspaces();
  DAOErrors* GetErrors();
  std::string GetSystemDB();
  void SetSystemDB(const std::string& path);
  std::unique_ptr<DAOWorkspace> CreateWorkspace(const std::string& name, const std::string& userName,
                                                const std::string& password, const kh::Variant& type);
  void CompactDatabase(const std::string& sourceName, const std::string& targetName, const kh::Variant& targetLocale,
                       const kh::Variant& options, const kh::Variant& sourceLocale);
  void RepairDatabase(const std::string& name);

 private:
  std::unique_ptr<DAOWorkspaces> workspaces_;
  std::unique_ptr<DAOErrors> errors_;
};

// An engine of its own, created through the store's class object: the private
// engine class (each instance with its own system database setting) or the
// shared one. Failures: EDAOError "DAO.CreateEngineFactory" (no class
// object) or "DAO.CreateEngine" (the class object made no engine). The first
// engine of the process also pins the store's library in memory for the life
// of the process.
class DAOLocalEngine : public DAODBEngine {
 public:
  explicit DAOLocalEngine(bool privateEngine);
  DAOLocalEngine(const DAOLocalEngine&) = delete;
  DAOLocalEngine& operator=(const DAOLocalEngine&) = delete;

 private:
  static Ref CreateEngine(bool privateEngine);
};

class DAOError : public DAOBase {
  CVDAO35_WRAPPER(DAOError, DAOBase, kh::dao::Error)

  std::int32_t GetNumber();
  std::string GetDescription();
};

class DAOErrors : public DAOCollection {
  CVDAO35_WRAPPER(DAOErrors, DAOCollection, kh::dao::Errors)

  std::unique_ptr<DAOError> GetItem(const kh::Variant& index);
};

class DAOWorkspace : public DAODAO {
  CVDAO35_WRAPPER(DAOWorkspace, DAODAO, kh::dao::Workspace)

  std::unique_ptr<DAODatabase> OpenDatabase(const std::string& name, const kh::Variant& options,
                                            const kh::Variant& readOnly, const kh::Variant& connect);
  std::unique_ptr<DAODatabase> CreateDatabase(const std::string& name, const std::string& locale,
                                              const kh::Variant& options);

 private:
  // Databases, Users, Groups and Properties of a workspace; no member fills them.
  std::array<std::unique_ptr<DAOCollection>, 4> unusedSlots_;
};

class DAOWorkspaces : public DAODynaCollection {
  CVDAO35_WRAPPER(DAOWorkspaces, DAODynaCollection, kh::dao::Workspaces)

  std::unique_ptr<DAOWorkspace> GetItem(const kh::Variant& index);
};

class DAOTableDef : public DAODAO {
  CVDAO35_WRAPPER(DAOTableDef, DAODAO, kh::dao::_TableDef)

  std::int32_t GetAttributes();
  std::string GetName();
  void SetName(const std::string& name);
  DAOFields* GetFields();
  DAOIndexes* GetIndexes();
  std::unique_ptr<DAORecordset> OpenRecordset(const kh::Variant& type, const kh::Variant& options);
  std::unique_ptr<DAOField> CreateField(const kh::Variant& name, const kh::Variant& type, const kh::Variant& size);
  std::unique_ptr<DAOIndex> CreateIndex(const kh::Variant& name);

 private:
  std::unique_ptr<DAOFields> fields_;
  std::unique_ptr<DAOIndexes> indexes_;
};

class DAOTableDefs : public DAODynaCollection {
  CVDAO35_WRAPPER(DAOTableDefs, DAODynaCollection, kh::dao::TableDefs)

  std::unique_ptr<DAOTableDef> GetItem(const kh::Variant& index);
};

class DAODatabase : public DAODAO {
  CVDAO35_WRAPPER(DAODatabase, DAODAO, kh::dao::Database)

  std::string GetConnect();
  std::int16_t GetTransactions();
  DAOTableDefs* GetTableDefs();
  DAOQueryDefs* GetQueryDefs();
  DAORelations* GetRelations();
  void Execute(const std::string& sql, const kh::Variant& options);
  std::unique_ptr<DAOTableDef> CreateTableDef(const kh::Variant& name, const kh::Variant& attributes,
                                              const kh::Variant& sourceTable, const kh::Variant& connect);
  std::unique_ptr<DAOQueryDef> CreateQueryDef(const kh::Variant& name, const kh::Variant& sql);
  std::unique_ptr<DAORelation> CreateRelation(const kh::Variant& name, const kh::Variant& table,
                                              const kh::Variant& foreignTable, const kh::Variant& attributes);
  void BeginTrans();
  void CommitTrans(std::int32_t options);
  void Rollback();
  void NewPassword(const std::string& oldPassword, const std::string& newPassword);
  std::unique_ptr<DAORecordset> OpenRecordset(const std::string& name, const kh::Variant& type,
                                              const kh::Variant& options, const kh::Variant& lockEdit);

 private:
  std::unique_ptr<DAOTableDefs> tableDefs_;
  std::unique_ptr<DAOQueryDefs> queryDefs_;
  std::unique_ptr<DAORelations> relations_;
  // Recordsets and Containers of a database; no member fills them.
  std::array<std::unique_ptr<DAOCollection>, 2> unusedSlots_;
};

class DAOQueryDef : public DAODAO {
  CVDAO35_WRAPPER(DAOQueryDef, DAODAO, kh::dao::_QueryDef)

  std::string GetName();
  void SetSQL(const std::string& sql);
  std::int32_t GetRecordsAffected();
  DAOParameters* GetParameters();
  void Execute(const kh::Variant& options);
  std::unique_ptr<DAORecordset> OpenRecordset(const kh::Variant& type, const kh::Variant& options,
                                              const kh::Variant& lockEdit);

 private:
  std::unique_ptr<DAOCollection> unusedSlot_;  // a query's Fields; no member fills it
  std::unique_ptr<DAOParameters> parameters_;
};

class DAOQueryDefs : public DAODynaCollection {
  CVDAO35_WRAPPER(DAOQueryDefs, DAODynaCollection, kh::dao::QueryDefs)

  std::unique_ptr<DAOQueryDef> GetItem(const kh::Variant& index);
};

class DAORecordset : public DAODAO {
  CVDAO35_WRAPPER(DAORecordset, DAODAO, kh::dao::Recordset)

  std::int16_t GetBOF();
  std::int16_t GetEOF();
  std::int16_t GetNoMatch();
  std::int16_t GetUpdatable();
  std::int16_t GetRestartable();
  std::int16_t GetEditMode();
  std::int32_t GetRecordCount();
  std::int32_t GetAbsolutePosition();
  kh::Variant GetBookmark();
  void SetBookmark(const kh::Variant& bookmark);
  kh::Variant GetLastModified();
  std::string GetIndex();
  void SetIndex(const std::string& index);
  void SetLockEdits(std::int16_t lockEdits);
  // A new wrapper of the recordset's database, with this recordset as parent.
  std::unique_ptr<DAODatabase> GetParent();
  DAOFields* GetFields();
  kh::Variant GetCollect(const kh::Variant& index);
  // The first `count` values of the current record, lent without variants
  // (see dao::Recordset::ViewCurrentValues).
  void ViewCurrentValues(kh::dao::FieldValueView* out, std::int16_t count);
  void SetCollect(const kh::Variant& index, const kh::Variant& value);
  void _30_CancelUpdate();
  void AddNew();
  void Delete();
  void Edit();
  void MoveFirst();
  void _30_MoveLast();
  void MoveNext();
  void MovePrevious();
  void _30_Update();
  void FindFirst(const std::string& criteria);
  void FindLast(const std::string& criteria);
  void FindNext(const std::string& criteria);
  void FindPrevious(const std::string& criteria);
  // Keys beyond the index's field count are DAOMissing().
  void Seek(const std::string& comparison, const std::array<kh::Variant, 13>& keys);
  // `force` is passed on as a 16-bit Boolean (non-zero: true).
  void Update(std::int32_t updateType, std::int32_t force);
  std::unique_ptr<DAORecordset> Clone();
  void Requery(const kh::Variant& queryDef);

 private:
  std::unique_ptr<DAOFields> fields_;
  std::unique_ptr<DAOCollection> unusedSlot_;  // a recordset's Properties; no member fills it
};

class DAOField : public DAODAO {
  CVDAO35_WRAPPER(DAOField, DAODAO, kh::dao::_Field)

  std::int32_t GetCollatingOrder();
  std::int32_t GetSize();
  std::int32_t GetAttributes();
  std::int32_t GetFieldSize();
  std::int16_t GetType();
  std::string GetName();
  std::string GetSourceTable();
  std::string GetValidationRule();
  kh::Variant GetDefaultValue();
  std::int16_t GetRequired();
  std::int16_t GetAllowZeroLength();
  std::int16_t GetDataUpdatable();
  void SetAttributes(std::int32_t attributes);
  void SetSize(std::int32_t size);
  void SetAllowZeroLength(std::int16_t allow);
  void SetForeignName(const std::string& name);
};

class DAOFields : public DAODynaCollection {
  CVDAO35_WRAPPER(DAOFields, DAODynaCollection, kh::dao::Fields)

  std::unique_ptr<DAOField> GetItem(const kh::Variant& index);
};

class DAOIndex : public DAODAO {
  CVDAO35_WRAPPER(DAOIndex, DAODAO, kh::dao::_Index)

  std::string GetName();
  void SetName(const std::string& name);
  std::int16_t GetUnique();
  std::int16_t GetIgnoreNulls();
  std::int16_t GetPrimary();
  void SetUnique(std::int16_t unique);
  void SetPrimary(std::int16_t primary);
  void SetRequired(std::int16_t required);
  void SetIgnoreNulls(std::int16_t ignoreNulls);
  // DAO hands the index's fields over as a dispatch variant.
  DAOIndexFields* GetFields();
  std::unique_ptr<DAOField> CreateField(const kh::Variant& name, const kh::Variant& type, const kh::Variant& size);

 private:
  std::unique_ptr<DAOIndexFields> fields_;
};

class DAOIndexes : public DAODynaCollection {
  CVDAO35_WRAPPER(DAOIndexes, DAODynaCollection, kh::dao::Indexes)

  std::unique_ptr<DAOIndex> GetItem(const kh::Variant& index);
};

class DAOIndexFields : public DAODynaCollection {
  CVDAO35_WRAPPER(DAOIndexFields, DAODynaCollection, kh::dao::IndexFields)

  // DAO hands the field over as a dispatch variant.
  std::unique_ptr<DAOField> GetItem(const kh::Variant& index);
};

class DAOParameter : public DAODAO {
  CVDAO35_WRAPPER(DAOParameter, DAODAO, kh::dao::Parameter)

  std::string GetName();
  kh::Variant GetValue();
  void SetValue(const kh::Variant& value);
  std::int16_t GetType();
};

class DAOParameters : public DAOCollection {
  CVDAO35_WRAPPER(DAOParameters, DAOCollection, kh::dao::Parameters)

  std::unique_ptr<DAOParameter> GetItem(const kh::Variant& index);
};

class DAORelation : public DAODAO {
  CVDAO35_WRAPPER(DAORelation, DAODAO, kh::dao::Relation)

  DAOFields* GetFields();
  std::unique_ptr<DAOField> CreateField(const kh::Variant& name, const kh::Variant& type, const kh::Variant& size);

 private:
  std::unique_ptr<DAOFields> fields_;
};

class DAORelations : public DAODynaCollection {
  CVDAO35_WRAPPER(DAORelations, DAODynaCollection, kh::dao::Relations)
};

#undef CVDAO35_WRAPPER
