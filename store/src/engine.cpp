// The engine object, its Errors and Workspaces, and the class object that
// creates engines.
#include <filesystem>

#include "database.h"

namespace kh::store {

using namespace dao;
namespace fs = std::filesystem;

std::string connectPassword(const std::string& connect);
std::string localeWithoutPassword(const std::string& locale);

namespace {

class ErrorImpl : public ComObject<dao::Error> {
 public:
  explicit ErrorImpl(ErrorRecord r) : r_(std::move(r)) {}
  HRESULT get_Number(std::int32_t* out) override {
    if (!out) return E_POINTER;
    *out = r_.number;
    return S_OK;
  }
  HRESULT get_Description(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = r_.description;
    return S_OK;
  }
  HRESULT get_Source(BSTR* out) override {
    if (!out) return E_POINTER;
    *out = r_.source;
    return S_OK;
  }

 private:
  ErrorRecord r_;
};

class ErrorsImpl : public ComObject<dao::Errors> {
 public:
  explicit ErrorsImpl(std::shared_ptr<ErrorStore> errors) : errors_(std::move(errors)) {}
  HRESULT get_Count(std::int16_t* out) override {
    if (!out) return E_POINTER;
    *out = static_cast<std::int16_t>(errors_->snapshot().size());
    return S_OK;
  }
  HRESULT Refresh() override { return S_OK; }
  HRESULT get_Item(const Variant& index, dao::Error** out) override {
    // A failed lookup must not replace the errors it is reading.
    if (!out) return E_POINTER;
    auto list = errors_->snapshot();
    Variant n;
    if (index.type() == VT_BSTR || FAILED(index.changeType(VT_I4, n)) || n.i4() < 0 ||
        static_cast<std::size_t>(n.i4()) >= list.size())
      return DaoError(err::ItemNotFound);
    *out = new ErrorImpl(list[static_cast<std::size_t>(n.i4())]);
    return S_OK;
  }

 private:
  std::shared_ptr<ErrorStore> errors_;
};

class WorkspaceImpl : public ComObject<dao::Workspace> {
 public:
  WorkspaceImpl(std::shared_ptr<ErrorStore> errors, std::string name, std::string user)
      : errors_(std::move(errors)), name_(std::move(name)), user_(std::move(user)) {}

  HRESULT get_Name(BSTR* out) override {
    return guarded(errors_.get(), [&] { requireOut(out); live(); *out = name_; });
  }
  HRESULT get_UserName(BSTR* out) override {
    return guarded(errors_.get(), [&] { requireOut(out); live(); *out = user_; });
  }
  HRESULT OpenDatabase(const BSTR& name, const Variant& options, const Variant& readOnly, const Variant& connect,
                       dao::Database** out) override {
    return guarded(errors_.get(), [&] {
      requireOut(out);
      live();
      OpenOptions o;
      // Options may be the Boolean "exclusive" or a number with dbDenyWrite etc.
      o.exclusive = boolArg(options, false);
      o.readOnly = boolArg(readOnly, false);
      std::string c = textArg(connect);
      o.password = connectPassword(c);
      auto st = DbState::open(name, o, errors_);
      st->joinGroup(transactions_);
      databases_.push_back(st);
      *out = new DatabaseImpl(std::move(st), name, c);
    });
  }
  HRESULT CreateDatabase(const BSTR& name, const BSTR& locale, const Variant& options, dao::Database** out) override {
    return guarded(errors_.get(), [&] {
      requireOut(out);
      live();
      (void)longArg(options, 0);
      if (localeWithoutPassword(locale).find("LANGID") == std::string::npos) fail(err::InvalidArgument);
      std::string password = connectPassword(locale);
      if (password.size() > 20) fail(err::InvalidArgument);
      auto st = DbState::create(name, locale, password, errors_);
      st->joinGroup(transactions_);
      databases_.push_back(st);
      *out = new DatabaseImpl(std::move(st), name, password.empty() ? "" : ";PWD=" + password);
    });
  }
  HRESULT BeginTrans() override {
    return guarded(errors_.get(), [&] {
      live();
      transactions_->begin();
    });
  }
  HRESULT CommitTrans(std::int32_t) override {
    return guarded(errors_.get(), [&] {
      live();
      transactions_->commit();
    });
  }
  HRESULT Rollback() override {
    return guarded(errors_.get(), [&] {
      live();
      transactions_->rollback();
    });
  }
  HRESULT Close() override {
    return guarded(errors_.get(), [&] {
      live();
      forEach([](DbState& d) { d.close(); });
      closed_ = true;
    });
  }

 private:
  void live() const {
    if (closed_) fail(err::ObjectInvalid);
  }
  template <class F>
  void forEach(F&& f) {
    live();
    for (auto& w : databases_)
      if (auto d = w.lock(); d && d->isOpen()) f(*d);
  }

  std::shared_ptr<ErrorStore> errors_;
  std::string name_;
  std::string user_;
  bool closed_ = false;
  std::vector<std::weak_ptr<DbState>> databases_;
  std::shared_ptr<TransactionGroup> transactions_ = std::make_shared<TransactionGroup>();
};

class WorkspacesImpl : public ComObject<dao::Workspaces> {
 public:
  explicit WorkspacesImpl(std::shared_ptr<ErrorStore> errors) : errors_(std::move(errors)) {}
  void add(dao::Workspace* w) { items_.push_back(ComPtr<dao::Workspace>(w)); }
  dao::Workspace* first() {
    if (items_.empty()) add(ComPtr<dao::Workspace>::adopt(new WorkspaceImpl(errors_, "#Default Workspace#", "admin")).get());
    return items_.front().get();
  }

  HRESULT get_Count(std::int16_t* out) override {
    return guarded(errors_.get(), [&] {
      requireOut(out);
      first();
      *out = static_cast<std::int16_t>(items_.size());
    });
  }
  HRESULT Refresh() override { return S_OK; }
  HRESULT Append(IDispatch* object) override {
    return guarded(errors_.get(), [&] {
      auto* w = dynamic_cast<WorkspaceImpl*>(object);
      if (!w) fail(err::InvalidArgument);
      for (const auto& i : items_)
        if (i.get() == w) fail(err::ObjectAlreadyInCollection);
      first();
      add(w);
    });
  }
  HRESULT Delete(const BSTR&) override {
    return guarded(errors_.get(), [&] { fail(err::OperationNotSupported); });
  }
  HRESULT get_Item(const Variant& index, dao::Workspace** out) override {
    return guarded(errors_.get(), [&] {
      requireOut(out);
      first();
      std::size_t i = itemPosition(index, items_.size(), [&](std::size_t k) {
        BSTR n;
        items_[k]->get_Name(&n);
        return n;
      });
      items_[i]->AddRef();
      *out = items_[i].get();
    });
  }

 private:
  std::shared_ptr<ErrorStore> errors_;
  std::vector<ComPtr<dao::Workspace>> items_;
};

class DBEngineImpl : public ComObject<dao::_DBEngine> {
 public:
  DBEngineImpl() : errors_(std::make_shared<ErrorStore>()) {
    workspaces_ = new WorkspacesImpl(errors_);
    errorsCollection_ = new ErrorsImpl(errors_);
  }

  HRESULT get_Version(BSTR* out) override {
    return guarded(errors_.get(), [&] { requireOut(out); *out = "3.5"; });
  }
  HRESULT get_SystemDB(BSTR* out) override {
    return guarded(errors_.get(), [&] { requireOut(out); *out = systemDb_; });
  }
  HRESULT put_SystemDB(const BSTR& path) override {
    return guarded(errors_.get(), [&] { systemDb_ = path; });
  }
  HRESULT get_Workspaces(dao::Workspaces** out) override {
    return guarded(errors_.get(), [&] {
      requireOut(out);
      workspaces_->AddRef();
      *out = workspaces_;
    });
  }
  HRESULT get_Errors(dao::Errors** out) override {
    if (!out) return E_POINTER;
    errorsCollection_->AddRef();
    *out = errorsCollection_;
    return S_OK;
  }
  HRESULT CreateWorkspace(const BSTR& name, const BSTR& user, const BSTR& password, const Variant& type,
                          dao::Workspace** out) override {
    return guarded(errors_.get(), [&] {
      requireOut(out);
      std::int32_t t = longArg(type, dbUseJet);
      if (t != dbUseJet) fail(err::OperationNotSupported);
      // The store keeps no user accounts: only the default administrator signs in.
      if (!sameName(user, "admin") || !password.empty()) fail(err::BadAccount);
      *out = new WorkspaceImpl(errors_, name, user);
    });
  }
  HRESULT OpenDatabase(const BSTR& name, const Variant& options, const Variant& readOnly, const Variant& connect,
                       dao::Database** out) override {
    return workspaces_->first()->OpenDatabase(name, options, readOnly, connect, out);
  }
  HRESULT CompactDatabase(const BSTR& source, const BSTR& target, const Variant& targetLocale,
                          const Variant& options, const Variant& sourceLocale) override {
    return guarded(errors_.get(), [&] {
      (void)longArg(options, 0);
      if (source.empty() || target.empty()) fail(err::BadFileName);
      std::error_code ec;
      if (fs::exists(target, ec)) fail(err::DatabaseExists, target);
      auto parent = fs::path(target).parent_path();
      if (!parent.empty() && !fs::is_directory(parent, ec)) fail(err::BadPath, target);
      std::string sourcePassword = connectPassword(textArg(sourceLocale));
      std::string locale = textArg(targetLocale);
      // The target keeps the source's password unless its locale names another.
      std::string targetPassword = locale.empty() || localeWithoutPassword(locale) == locale
                                       ? sourcePassword
                                       : connectPassword(locale);
      OpenOptions o;
      o.exclusive = true;
      o.password = sourcePassword;
      auto st = DbState::open(source, o, errors_);
      st->exportTo(target, targetPassword, localeWithoutPassword(locale));
      st->close();
    });
  }
  HRESULT RepairDatabase(const BSTR& name) override {
    return guarded(errors_.get(), [&] {
      std::error_code ec;
      if (name.empty()) fail(err::BadFileName);
      auto parent = fs::path(name).parent_path();
      if (!parent.empty() && !fs::is_directory(parent, ec)) fail(err::BadPath, name);
      if (!fs::exists(name, ec)) fail(err::FileNotFound, name);
      repairCheck(name, errors_);
    });
  }

 private:
  ~DBEngineImpl() override {
    workspaces_->Release();
    errorsCollection_->Release();
  }

  std::shared_ptr<ErrorStore> errors_;
  std::string systemDb_;
  WorkspacesImpl* workspaces_;
  ErrorsImpl* errorsCollection_;

 public:
  static void repairCheck(const std::string& path, const std::shared_ptr<ErrorStore>& errors);
};

void DBEngineImpl::repairCheck(const std::string& path, const std::shared_ptr<ErrorStore>& errors) {
  // Without the password an encrypted file can only be checked from outside:
  // it must be a whole number of pages and not locked by an exclusive opener.
  std::error_code ec;
  auto size = fs::file_size(path, ec);
  if (ec || size == 0) fail(err::UnrecognizedFormat, path);
  OpenOptions o;
  o.readOnly = true;
  try {
    auto st = DbState::open(path, o, errors);
    Statement s(st->handle(), "PRAGMA integrity_check");
    if (s.step()) {
      const auto* r = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
      if (!r || std::string(r) != "ok") fail(3049, path);
    }
  } catch (const Failure& f) {
    // An encrypted file reads as a wrong password here: that is expected.
    if (f.number() != err::BadPassword) throw;
    if (size % 1024 != 0) fail(err::UnrecognizedFormat, path);
  }
}

class ClassFactory : public ComObject<dao::IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, const GUID& iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return static_cast<HRESULT>(0x80040110u);  // CLASS_E_NOAGGREGATION
    try {
      auto* e = new DBEngineImpl;
      HRESULT hr = e->QueryInterface(iid, out);
      e->Release();
      return hr;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT LockServer(VARIANT_BOOL) override { return S_OK; }
};

}  // namespace

}  // namespace kh::store

namespace kh::dao {
const GUID CLSID_DBEngine = {0x00000010, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const GUID CLSID_PrivDBEngine = {0x00000011, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
}  // namespace kh::dao

KHSTORE_API kh::HRESULT khStoreGetClassObject(const kh::GUID& clsid, const kh::GUID& iid, void** out) {
  using namespace kh;
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!(clsid == dao::CLSID_DBEngine) && !(clsid == dao::CLSID_PrivDBEngine))
    return static_cast<HRESULT>(0x80040111u);  // CLASS_E_CLASSNOTAVAILABLE
  try {
    auto* f = new store::ClassFactory;
    HRESULT hr = f->QueryInterface(iid, out);
    f->Release();
    return hr;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}
