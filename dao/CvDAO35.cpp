// CvDAO35: the wrapper classes over the store's DAO objects.
#include "CvDAO35.h"

#include <dlfcn.h>

#include <atomic>
#include <cfenv>
#include <cstdio>

namespace {

using kh::ComPtr;
using kh::HRESULT;
using kh::Variant;
namespace dao = kh::dao;

// ---- process-wide state ---------------------------------------------------

std::atomic<std::int32_t> g_liveObjects{0};

// The floating-point environments of the two sides: the caller's, saved while
// a DAO call runs, and DAO's, which starts as the environment at load and then
// carries whatever DAO leaves in it from call to call.
// On x86-64 the state that matters (rounding, exception masks and flags of SSE
// arithmetic, the x87 control word) is two registers, saved and loaded in a few
// cycles; elsewhere the whole environment is taken.
struct FpEnv {
#if defined(__x86_64__)
  unsigned mxcsr = 0;
  unsigned short x87 = 0;
  void save() noexcept {
    __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
    __asm__ volatile("fnstcw %0" : "=m"(x87));
  }
  void load() const noexcept {
    __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
    __asm__ volatile("fldcw %0" : : "m"(x87));
  }
#else
  fenv_t env{};
  void save() noexcept { fegetenv(&env); }
  void load() const noexcept { fesetenv(&env); }
#endif
};
FpEnv g_callerEnv;
FpEnv g_daoEnv;
int g_bracketDepth = 0;

bool g_initialised = false;  // missing value built, environments captured
bool g_finalised = false;    // leak report done
bool g_storePinned = false;  // the store's library loaded once more, for good

#if defined(KH_DAO_PROGRAM_BUILD)
bool g_readingErrors = false;  // composing an EDAOError message from DAO's errors
#endif

Variant& missingSlot() {
  static Variant value;
  return value;
}

// The private and the shared engine class.
constexpr kh::GUID kPrivateEngineClass = {0x00000011, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr kh::GUID kSharedEngineClass = {0x00000010, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

// Saves the caller's floating-point environment and loads DAO's for the
// lifetime of the object, then saves DAO's and restores the caller's (also when
// the call in between throws). Nested brackets leave the outer one in charge.
class FpBracket {
 public:
  FpBracket() noexcept {
    DAOLayerInitialize();
    if (g_bracketDepth++ == 0) {
      g_callerEnv.save();
      g_daoEnv.load();
    }
  }
  ~FpBracket() {
    if (--g_bracketDepth == 0) {
      g_daoEnv.save();
      g_callerEnv.load();
    }
  }
  FpBracket(const FpBracket&) = delete;
  FpBracket& operator=(const FpBracket&) = delete;
};

#if defined(KH_DAO_PROGRAM_BUILD)
// ":" and, for each error of the engine up the parent chain, CR LF and its
// description.
std::string errorLines(DAOBase* origin) {
  if (g_readingErrors) return ":";  // a failure while reading the errors themselves
  struct Guard {
    Guard() { g_readingErrors = true; }
    ~Guard() { g_readingErrors = false; }
  } guard;
  try {
    std::string text = ":";
    DAODBEngine* engine = nullptr;
    for (DAOBase* p = origin; p && !engine; p = p->ParentWrapper()) engine = dynamic_cast<DAODBEngine*>(p);
    if (engine) {
      DAOErrors* errors = engine->GetErrors();
      std::int16_t count = errors->GetCount();
      for (std::int16_t i = 0; i < count; ++i)
        text += "\r\n" + errors->GetItem(Variant(std::int32_t{i}))->GetDescription();
    }
    return text;
  } catch (...) {
    return "(excepted while getting DAO error message)";
  }
}
#endif

[[noreturn]] void raise(const char* name, HRESULT hr, DAOBase* origin) {
  std::string text = std::string(name) + " failed";
#if defined(KH_DAO_PROGRAM_BUILD)
  text += errorLines(origin);
#else
  (void)origin;
#endif
  throw EDAOError(text, hr);
}

// The call bracket: runs one DAO call with DAO's floating-point environment and
// turns a failing HRESULT into EDAOError(name, HRESULT). A wrapper without an
// object fails with E_POINTER without calling anything. Strings need no
// preparation: the caller's strings are the store's UTF-8 already.
template <class I, class F>
void call(DAOBase* self, const char* name, I* intf, F&& work) {
  HRESULT hr = kh::E_POINTER;
  if (intf) {
    FpBracket fp;
    hr = work(intf);
  }
  if (kh::FAILED(hr)) raise(name, hr, self);
}

// A property value of type T.
template <class T, class I, class F>
T get(DAOBase* self, const char* name, I* intf, F&& read) {
  T value{};
  call(self, name, intf, [&](I* i) { return read(i, &value); });
  return value;
}

// A new wrapper W (owned by the caller, parent = self) of the object a DAO
// call hands out. The temporary reference is given back once the wrapper has
// its own.
template <class W, class I, class F>
std::unique_ptr<W> make(DAOBase* self, const char* name, I* intf, F&& create) {
  ComPtr<typename W::Interface> out;
  call(self, name, intf, [&](I* i) { return create(i, out.put()); });
  return std::make_unique<W>(self, out.get());
}

// A new wrapper W of the object in the dispatch variant a DAO call hands out.
template <class W, class I, class F>
std::unique_ptr<W> makeFromVariant(DAOBase* self, const char* name, I* intf, F&& create) {
  Variant out;
  call(self, name, intf, [&](I* i) { return create(i, &out); });
  return std::make_unique<W>(self, out);
}

// The cached child collection in `slot`, made on first use.
template <class W, class I, class F>
W* cached(std::unique_ptr<W>& slot, DAOBase* self, const char* name, I* intf, F&& create) {
  if (!slot) slot = make<W>(self, name, intf, std::forward<F>(create));
  return slot.get();
}

dao::_Collection* collectionOf(const DAOBase* w) { return static_cast<dao::_Collection*>(w->Dispatch()); }
dao::_DynaCollection* dynaCollectionOf(const DAOBase* w) { return static_cast<dao::_DynaCollection*>(w->Dispatch()); }

// Loads the store's library once more and never lets it go, so the store stays
// mapped for the life of the process whatever its other users unload.
void pinStoreLibrary() noexcept {
  if (g_storePinned) return;
  g_storePinned = true;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&khStoreGetClassObject), &info) && info.dli_fname)
    (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NODELETE);  // the handle is kept for good
}

// Load and unload of the layer with the deliverable, for a deliverable that
// does not finish the layer itself.
struct LayerLifetime {
  LayerLifetime() noexcept { DAOLayerInitialize(); }
  ~LayerLifetime() { DAOLayerFinalize(); }
} g_layerLifetime;

}  // namespace

// Member definitions: the failure name is the class name, a dot and the member name.
#define CVDAO35_NAME(Cls, Member) #Cls "." #Member

#define CVDAO35_GET(Type, Cls, Member, Property)                                                                \
  Type Cls::Member() {                                                                                          \
    return get<Type>(this, CVDAO35_NAME(Cls, Member), Intf(), [](auto* i, Type* v) { return i->Property(v); }); \
  }

#define CVDAO35_SET(Type, Cls, Member, Property)                                                \
  void Cls::Member(Type value) {                                                                \
    call(this, CVDAO35_NAME(Cls, Member), Intf(), [&](auto* i) { return i->Property(value); }); \
  }

#define CVDAO35_CALL(Cls, Member, Method)                                               \
  void Cls::Member() {                                                                  \
    call(this, CVDAO35_NAME(Cls, Member), Intf(), [](auto* i) { return i->Method(); }); \
  }

#define CVDAO35_ITEM(Cls, Item)                                                                 \
  std::unique_ptr<Item> Cls::GetItem(const Variant& index) {                                    \
    return make<Item>(this, CVDAO35_NAME(Cls, GetItem), Intf(),                                 \
                      [&](auto* i, Item::Interface** out) { return i->get_Item(index, out); }); \
  }

// ---- process-wide state -------------------------------------------------

std::int32_t DAOLiveObjects() noexcept { return g_liveObjects.load(); }

const Variant& DAOMissing() noexcept { return missingSlot(); }

void DAOLayerInitialize() noexcept {
  if (g_initialised) return;
  g_initialised = true;
  missingSlot() = Variant::missing();
  g_callerEnv.save();
  g_daoEnv = g_callerEnv;
}

std::string DAOLeakReport(std::int32_t count) {
  return "There are still " + std::to_string(count) + " objects allocated.";
}

bool DAOReportLeaks() noexcept {
  std::int32_t count = g_liveObjects.load();
  if (count <= 0) return false;
  try {
    std::string line = std::string(kDAOLeakCaption) + ": " + DAOLeakReport(count) + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
  } catch (...) {
  }
  return true;
}

void DAOLayerFinalize() noexcept {
  if (g_finalised) return;
  g_finalised = true;
  DAOReportLeaks();
  missingSlot().clear();
}

// ---- DAOUserData, DAOBase -----------------------------------------------

DAOUserData::~DAOUserData() = default;

DAOBase::DAOBase(DAOBase* parent, Ref ref) noexcept : parent_(parent), intf_(std::move(ref.p)) { ++g_liveObjects; }

DAOBase::DAOBase(const DAOBase& other) noexcept : parent_(other.parent_) {
  AddRefBracketed(other.intf_.get());
  intf_ = ComPtr<kh::IDispatch>::adopt(other.intf_.get());
  ++g_liveObjects;
}

DAOBase::~DAOBase() {
  // The derived classes' collection slots are gone by now.
  userData_.reset();
  if (intf_) {
    try {
      FpBracket fp;
      intf_.reset();
    } catch (...) {
    }
  }
  --g_liveObjects;
}

void DAOBase::AddRefBracketed(kh::IDispatch* p) noexcept {
  if (!p) return;
  FpBracket fp;
  p->AddRef();
}

void* DAOBase::QueryVariant(const Variant& v, const kh::GUID& iid, const char* message) {
  kh::IDispatch* d = v.type() == kh::VT_DISPATCH ? v.dispatch() : nullptr;
  if (!d) throw EDAOConvError(message);
  void* raw = nullptr;
  HRESULT hr;
  {
    FpBracket fp;
    hr = d->QueryInterface(iid, &raw);
  }
  if (kh::FAILED(hr) || !raw) throw EDAOConvError(message);
  return raw;
}

// ---- collections --------------------------------------------------------

std::int16_t DAOCollection::GetCount() {
  return get<std::int16_t>(this, "DAOCollection.GetCount", collectionOf(this),
                           [](dao::_Collection* i, std::int16_t* n) { return i->get_Count(n); });
}

void DAOCollection::Refresh() {
  call(this, "DAOCollection.Refresh", collectionOf(this), [](dao::_Collection* i) { return i->Refresh(); });
}

void DAODynaCollection::Append(DAOBase& object) {
  call(this, "DAODynaCollection.Append", dynaCollectionOf(this),
       [&](dao::_DynaCollection* i) { return i->Append(object.Dispatch()); });
}

void DAODynaCollection::Delete(const std::string& name) {
  call(this, "DAODynaCollection.Delete", dynaCollectionOf(this),
       [&](dao::_DynaCollection* i) { return i->Delete(name); });
}

// ---- engine -------------------------------------------------------------

DAOWorkspaces* DAODBEngine::GetWorkspaces() {
  return cached(workspaces_, this, "DAODBEngine.GetWorkspaces", Intf(),
                [](dao::_DBEngine* i, dao::Workspaces** out) { return i->get_Workspaces(out); });
}

DAOErrors* DAODBEngine::GetErrors() {
  return cached(errors_, this, "DAODBEngine.GetErrors", Intf(),
                [](dao::_DBEngine* i, dao::Errors** out) { return i->get_Errors(out); });
}

CVDAO35_GET(std::string, DAODBEngine, GetSystemDB, get_SystemDB)
CVDAO35_SET(const std::string&, DAODBEngine, SetSystemDB, put_SystemDB)

std::unique_ptr<DAOWorkspace> DAODBEngine::CreateWorkspace(const std::string& name, const std::string& userName,
                                                           const std::string& password, const Variant& type) {
  return make<DAOWorkspace>(this, "DAODBEngine.CreateWorkspace", Intf(), [&](dao::_DBEngine* i, dao::Workspace** out) {
    return i->CreateWorkspace(name, userName, password, type, out);
  });
}

void DAODBEngine::CompactDatabase(const std::string& sourceName, const std::string& targetName,
                                  const Variant& targetLocale, const Variant& options, const Variant& sourceLocale) {
  call(this, "DAODBEngine.CompactDatabase", Intf(), [&](dao::_DBEngine* i) {
    return i->CompactDatabase(sourceName, targetName, targetLocale, options, sourceLocale);
  });
}

CVDAO35_SET(const std::string&, DAODBEngine, RepairDatabase, RepairDatabase)

DAOLocalEngine::DAOLocalEngine(bool privateEngine) : DAODBEngine(nullptr, CreateEngine(privateEngine)) {
  pinStoreLibrary();
}

DAOBase::Ref DAOLocalEngine::CreateEngine(bool privateEngine) {
  const kh::GUID& engineClass = privateEngine ? kPrivateEngineClass : kSharedEngineClass;
  HRESULT hr;
  ComPtr<dao::IClassFactory> factory;
  {
    FpBracket fp;
    hr = khStoreGetClassObject(engineClass, dao::IClassFactory::kIID, reinterpret_cast<void**>(factory.put()));
  }
  if (kh::SUCCEEDED(hr) && !factory) hr = kh::E_POINTER;
  if (kh::FAILED(hr)) raise("DAO.CreateEngineFactory", hr, nullptr);
  ComPtr<dao::_DBEngine> engine;
  {
    FpBracket fp;
    hr = factory->CreateInstance(nullptr, dao::_DBEngine::kIID, reinterpret_cast<void**>(engine.put()));
    factory.reset();
  }
  if (kh::SUCCEEDED(hr) && !engine) hr = kh::E_POINTER;
  if (kh::FAILED(hr)) raise("DAO.CreateEngine", hr, nullptr);
  return Ref{ComPtr<kh::IDispatch>::adopt(engine.detach())};
}

// ---- errors -------------------------------------------------------------

CVDAO35_GET(std::int32_t, DAOError, GetNumber, get_Number)
CVDAO35_GET(std::string, DAOError, GetDescription, get_Description)
CVDAO35_ITEM(DAOErrors, DAOError)

// ---- workspaces ---------------------------------------------------------

std::unique_ptr<DAODatabase> DAOWorkspace::OpenDatabase(const std::string& name, const Variant& options,
                                                        const Variant& readOnly, const Variant& connect) {
  return make<DAODatabase>(this, "DAOWorkspace.OpenDatabase", Intf(), [&](dao::Workspace* i, dao::Database** out) {
    return i->OpenDatabase(name, options, readOnly, connect, out);
  });
}

std::unique_ptr<DAODatabase> DAOWorkspace::CreateDatabase(const std::string& name, const std::string& locale,
                                                          const Variant& options) {
  return make<DAODatabase>(this, "DAOWorkspace.CreateDatabase", Intf(), [&](dao::Workspace* i, dao::Database** out) {
    return i->CreateDatabase(name, locale, options, out);
  });
}

CVDAO35_ITEM(DAOWorkspaces, DAOWorkspace)

// ---- table definitions --------------------------------------------------

CVDAO35_GET(std::int32_t, DAOTableDef, GetAttributes, get_Attributes)
CVDAO35_GET(std::string, DAOTableDef, GetName, get_Name)
CVDAO35_SET(const std::string&, DAOTableDef, SetName, put_Name)

DAOFields* DAOTableDef::GetFields() {
  return cached(fields_, this, "DAOTableDef.GetFields", Intf(),
                [](dao::_TableDef* i, dao::Fields** out) { return i->get_Fields(out); });
}

DAOIndexes* DAOTableDef::GetIndexes() {
  return cached(indexes_, this, "DAOTableDef.GetIndexes", Intf(),
                [](dao::_TableDef* i, dao::Indexes** out) { return i->get_Indexes(out); });
}

std::unique_ptr<DAORecordset> DAOTableDef::OpenRecordset(const Variant& type, const Variant& options) {
  return make<DAORecordset>(this, "DAOTableDef.OpenRecordset", Intf(), [&](dao::_TableDef* i, dao::Recordset** out) {
    return i->OpenRecordset(type, options, out);
  });
}

std::unique_ptr<DAOField> DAOTableDef::CreateField(const Variant& name, const Variant& type, const Variant& size) {
  return make<DAOField>(this, "DAOTableDef.CreateField", Intf(),
                        [&](dao::_TableDef* i, dao::_Field** out) { return i->CreateField(name, type, size, out); });
}

std::unique_ptr<DAOIndex> DAOTableDef::CreateIndex(const Variant& name) {
  return make<DAOIndex>(this, "DAOTableDef.CreateIndex", Intf(),
                        [&](dao::_TableDef* i, dao::_Index** out) { return i->CreateIndex(name, out); });
}

CVDAO35_ITEM(DAOTableDefs, DAOTableDef)

// ---- databases ----------------------------------------------------------

CVDAO35_GET(std::string, DAODatabase, GetConnect, get_Connect)
CVDAO35_GET(std::int16_t, DAODatabase, GetTransactions, get_Transactions)

DAOTableDefs* DAODatabase::GetTableDefs() {
  return cached(tableDefs_, this, "DAODatabase.GetTableDefs", Intf(),
                [](dao::Database* i, dao::TableDefs** out) { return i->get_TableDefs(out); });
}

DAOQueryDefs* DAODatabase::GetQueryDefs() {
  return cached(queryDefs_, this, "DAODatabase.GetQueryDefs", Intf(),
                [](dao::Database* i, dao::QueryDefs** out) { return i->get_QueryDefs(out); });
}

DAORelations* DAODatabase::GetRelations() {
  return cached(relations_, this, "DAODatabase.GetRelations", Intf(),
                [](dao::Database* i, dao::Relations** out) { return i->get_Relations(out); });
}

void DAODatabase::Execute(const std::string& sql, const Variant& options) {
  call(this, "DAODatabase.Execute", Intf(), [&](dao::Database* i) { return i->Execute(sql, options); });
}

std::unique_ptr<DAOTableDef> DAODatabase::CreateTableDef(const Variant& name, const Variant& attributes,
                                                         const Variant& sourceTable, const Variant& connect) {
  return make<DAOTableDef>(this, "DAODatabase.CreateTableDef", Intf(), [&](dao::Database* i, dao::_TableDef** out) {
    return i->CreateTableDef(name, attributes, sourceTable, connect, out);
  });
}

std::unique_ptr<DAOQueryDef> DAODatabase::CreateQueryDef(const Variant& name, const Variant& sql) {
  return make<DAOQueryDef>(this, "DAODatabase.CreateQueryDef", Intf(),
                           [&](dao::Database* i, dao::_QueryDef** out) { return i->CreateQueryDef(name, sql, out); });
}

std::unique_ptr<DAORelation> DAODatabase::CreateRelation(const Variant& name, const Variant& table,
                                                         const Variant& foreignTable, const Variant& attributes) {
  return make<DAORelation>(this, "DAODatabase.CreateRelation", Intf(), [&](dao::Database* i, dao::Relation** out) {
    return i->CreateRelation(name, table, foreignTable, attributes, out);
  });
}

CVDAO35_CALL(DAODatabase, BeginTrans, BeginTrans)
CVDAO35_SET(std::int32_t, DAODatabase, CommitTrans, CommitTrans)
CVDAO35_CALL(DAODatabase, Rollback, Rollback)

void DAODatabase::NewPassword(const std::string& oldPassword, const std::string& newPassword) {
  call(this, "DAODatabase.NewPassword", Intf(),
       [&](dao::Database* i) { return i->NewPassword(oldPassword, newPassword); });
}

std::unique_ptr<DAORecordset> DAODatabase::OpenRecordset(const std::string& name, const Variant& type,
                                                         const Variant& options, const Variant& lockEdit) {
  return make<DAORecordset>(this, "DAODatabase.OpenRecordset", Intf(), [&](dao::Database* i, dao::Recordset** out) {
    return i->OpenRecordset(name, type, options, lockEdit, out);
  });
}

// ---- query definitions --------------------------------------------------

CVDAO35_GET(std::string, DAOQueryDef, GetName, get_Name)
CVDAO35_SET(const std::string&, DAOQueryDef, SetSQL, put_SQL)
CVDAO35_GET(std::int32_t, DAOQueryDef, GetRecordsAffected, get_RecordsAffected)

DAOParameters* DAOQueryDef::GetParameters() {
  return cached(parameters_, this, "DAOQueryDef.GetParameters", Intf(),
                [](dao::_QueryDef* i, dao::Parameters** out) { return i->get_Parameters(out); });
}

CVDAO35_SET(const Variant&, DAOQueryDef, Execute, Execute)

std::unique_ptr<DAORecordset> DAOQueryDef::OpenRecordset(const Variant& type, const Variant& options,
                                                         const Variant& lockEdit) {
  return make<DAORecordset>(this, "DAOQueryDef.OpenRecordset", Intf(), [&](dao::_QueryDef* i, dao::Recordset** out) {
    return i->OpenRecordset(type, options, lockEdit, out);
  });
}

CVDAO35_ITEM(DAOQueryDefs, DAOQueryDef)

// ---- recordsets ---------------------------------------------------------

CVDAO35_GET(std::int16_t, DAORecordset, GetBOF, get_BOF)
CVDAO35_GET(std::int16_t, DAORecordset, GetEOF, get_EOF)
CVDAO35_GET(std::int16_t, DAORecordset, GetNoMatch, get_NoMatch)
CVDAO35_GET(std::int16_t, DAORecordset, GetUpdatable, get_Updatable)
CVDAO35_GET(std::int16_t, DAORecordset, GetRestartable, get_Restartable)
CVDAO35_GET(std::int16_t, DAORecordset, GetEditMode, get_EditMode)
CVDAO35_GET(std::int32_t, DAORecordset, GetRecordCount, get_RecordCount)
CVDAO35_GET(std::int32_t, DAORecordset, GetAbsolutePosition, get_AbsolutePosition)
CVDAO35_GET(Variant, DAORecordset, GetBookmark, get_Bookmark)
CVDAO35_SET(const Variant&, DAORecordset, SetBookmark, put_Bookmark)
CVDAO35_GET(Variant, DAORecordset, GetLastModified, get_LastModified)
CVDAO35_GET(std::string, DAORecordset, GetIndex, get_Index)
CVDAO35_SET(const std::string&, DAORecordset, SetIndex, put_Index)
CVDAO35_SET(std::int16_t, DAORecordset, SetLockEdits, put_LockEdits)

std::unique_ptr<DAODatabase> DAORecordset::GetParent() {
  return make<DAODatabase>(this, "DAORecordset.GetParent", Intf(),
                           [](dao::Recordset* i, dao::Database** out) { return i->get_Parent(out); });
}

DAOFields* DAORecordset::GetFields() {
  return cached(fields_, this, "DAORecordset.GetFields", Intf(),
                [](dao::Recordset* i, dao::Fields** out) { return i->get_Fields(out); });
}

Variant DAORecordset::GetCollect(const Variant& index) {
  return get<Variant>(this, "DAORecordset.GetCollect", Intf(),
                      [&](dao::Recordset* i, Variant* out) { return i->get_Collect(index, out); });
}

void DAORecordset::ViewCurrentValues(dao::FieldValueView* out, std::int16_t count) {
  call(this, "DAORecordset.ViewCurrentValues", Intf(),
       [&](dao::Recordset* i) { return i->ViewCurrentValues(out, count); });
}

void DAORecordset::SetCollect(const Variant& index, const Variant& value) {
  call(this, "DAORecordset.SetCollect", Intf(), [&](dao::Recordset* i) { return i->put_Collect(index, value); });
}

CVDAO35_CALL(DAORecordset, _30_CancelUpdate, _30_CancelUpdate)
CVDAO35_CALL(DAORecordset, AddNew, AddNew)
CVDAO35_CALL(DAORecordset, Delete, Delete)
CVDAO35_CALL(DAORecordset, Edit, Edit)
CVDAO35_CALL(DAORecordset, MoveFirst, MoveFirst)
CVDAO35_CALL(DAORecordset, _30_MoveLast, _30_MoveLast)
CVDAO35_CALL(DAORecordset, MoveNext, MoveNext)
CVDAO35_CALL(DAORecordset, MovePrevious, MovePrevious)
CVDAO35_CALL(DAORecordset, _30_Update, _30_Update)
CVDAO35_SET(const std::string&, DAORecordset, FindFirst, FindFirst)
CVDAO35_SET(const std::string&, DAORecordset, FindLast, FindLast)
CVDAO35_SET(const std::string&, DAORecordset, FindNext, FindNext)
CVDAO35_SET(const std::string&, DAORecordset, FindPrevious, FindPrevious)

void DAORecordset::Seek(const std::string& comparison, const std::array<Variant, 13>& keys) {
  call(this, "DAORecordset.Seek", Intf(), [&](dao::Recordset* i) { return i->Seek(comparison, keys); });
}

void DAORecordset::Update(std::int32_t updateType, std::int32_t force) {
  call(this, "DAORecordset.Update", Intf(),
       [&](dao::Recordset* i) { return i->Update(updateType, force ? kh::VARIANT_TRUE : kh::VARIANT_FALSE); });
}

std::unique_ptr<DAORecordset> DAORecordset::Clone() {
  return make<DAORecordset>(this, "DAORecordset.Clone", Intf(),
                            [](dao::Recordset* i, dao::Recordset** out) { return i->Clone(out); });
}

CVDAO35_SET(const Variant&, DAORecordset, Requery, Requery)

// ---- fields -------------------------------------------------------------

CVDAO35_GET(std::int32_t, DAOField, GetCollatingOrder, get_CollatingOrder)
CVDAO35_GET(std::int32_t, DAOField, GetSize, get_Size)
CVDAO35_GET(std::int32_t, DAOField, GetAttributes, get_Attributes)
CVDAO35_GET(std::int32_t, DAOField, GetFieldSize, get_FieldSize)
CVDAO35_GET(std::int16_t, DAOField, GetType, get_Type)
CVDAO35_GET(std::string, DAOField, GetName, get_Name)
CVDAO35_GET(std::string, DAOField, GetSourceTable, get_SourceTable)
CVDAO35_GET(std::string, DAOField, GetValidationRule, get_ValidationRule)
CVDAO35_GET(Variant, DAOField, GetDefaultValue, get_DefaultValue)
CVDAO35_GET(std::int16_t, DAOField, GetRequired, get_Required)
CVDAO35_GET(std::int16_t, DAOField, GetAllowZeroLength, get_AllowZeroLength)
CVDAO35_GET(std::int16_t, DAOField, GetDataUpdatable, get_DataUpdatable)
CVDAO35_SET(std::int32_t, DAOField, SetAttributes, put_Attributes)
CVDAO35_SET(std::int32_t, DAOField, SetSize, put_Size)
CVDAO35_SET(std::int16_t, DAOField, SetAllowZeroLength, put_AllowZeroLength)
CVDAO35_SET(const std::string&, DAOField, SetForeignName, put_ForeignName)

CVDAO35_ITEM(DAOFields, DAOField)

// ---- indexes ------------------------------------------------------------

CVDAO35_GET(std::string, DAOIndex, GetName, get_Name)
CVDAO35_SET(const std::string&, DAOIndex, SetName, put_Name)
CVDAO35_GET(std::int16_t, DAOIndex, GetUnique, get_Unique)
CVDAO35_GET(std::int16_t, DAOIndex, GetIgnoreNulls, get_IgnoreNulls)
CVDAO35_GET(std::int16_t, DAOIndex, GetPrimary, get_Primary)
CVDAO35_SET(std::int16_t, DAOIndex, SetUnique, put_Unique)
CVDAO35_SET(std::int16_t, DAOIndex, SetPrimary, put_Primary)
CVDAO35_SET(std::int16_t, DAOIndex, SetRequired, put_Required)
CVDAO35_SET(std::int16_t, DAOIndex, SetIgnoreNulls, put_IgnoreNulls)

DAOIndexFields* DAOIndex::GetFields() {
  if (!fields_)
    fields_ = makeFromVariant<DAOIndexFields>(this, "DAOIndex.GetFields", Intf(),
                                              [](dao::_Index* i, Variant* out) { return i->get_Fields(out); });
  return fields_.get();
}

std::unique_ptr<DAOField> DAOIndex::CreateField(const Variant& name, const Variant& type, const Variant& size) {
  return make<DAOField>(this, "DAOIndex.CreateField", Intf(),
                        [&](dao::_Index* i, dao::_Field** out) { return i->CreateField(name, type, size, out); });
}

CVDAO35_ITEM(DAOIndexes, DAOIndex)

std::unique_ptr<DAOField> DAOIndexFields::GetItem(const Variant& index) {
  return makeFromVariant<DAOField>(this, "DAOIndexFields.GetItem", Intf(),
                                   [&](dao::IndexFields* i, Variant* out) { return i->get_Item(index, out); });
}

// ---- parameters ---------------------------------------------------------

CVDAO35_GET(std::string, DAOParameter, GetName, get_Name)
CVDAO35_GET(Variant, DAOParameter, GetValue, get_Value)
CVDAO35_SET(const Variant&, DAOParameter, SetValue, put_Value)
CVDAO35_GET(std::int16_t, DAOParameter, GetType, get_Type)

CVDAO35_ITEM(DAOParameters, DAOParameter)

// ---- relations ----------------------------------------------------------

DAOFields* DAORelation::GetFields() {
  return cached(fields_, this, "DAORelation.GetFields", Intf(),
                [](dao::Relation* i, dao::Fields** out) { return i->get_Fields(out); });
}

std::unique_ptr<DAOField> DAORelation::CreateField(const Variant& name, const Variant& type, const Variant& size) {
  return make<DAOField>(this, "DAORelation.CreateField", Intf(),
                        [&](dao::Relation* i, dao::_Field** out) { return i->CreateField(name, type, size, out); });
}
