#include "database.h"

#include <map>

#include "jetsql.h"

namespace kh::store {

using namespace dao;

// ---- DatabaseImpl --------------------------------------------------------

DatabaseImpl::DatabaseImpl(std::shared_ptr<DbState> db, std::string name, std::string connect)
    : db_(std::move(db)), name_(std::move(name)), connect_(std::move(connect)) {
  db_->setOwner(this);
}

DatabaseImpl::~DatabaseImpl() {
  db_->setOwner(nullptr);
  if (tableDefs_) tableDefs_->Release();
  if (relations_) relations_->Release();
  if (queryDefs_) queryDefs_->Release();
  db_->close();
}

HRESULT DatabaseImpl::get_Name(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); db_->requireOpen(); *out = name_; });
}
HRESULT DatabaseImpl::get_Connect(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); db_->requireOpen(); *out = connect_; });
}
HRESULT DatabaseImpl::get_Transactions(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); db_->requireOpen(); *out = VARIANT_TRUE; });
}
HRESULT DatabaseImpl::get_Updatable(VARIANT_BOOL* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    *out = db_->readOnly() ? VARIANT_FALSE : VARIANT_TRUE;
  });
}
HRESULT DatabaseImpl::get_RecordsAffected(std::int32_t* out) {
  return guarded(errors(), [&] { requireOut(out); *out = recordsAffected_; });
}
HRESULT DatabaseImpl::get_TableDefs(dao::TableDefs** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    if (!tableDefs_) tableDefs_ = new TableDefsImpl(db_);
    tableDefs_->AddRef();
    *out = tableDefs_;
  });
}
HRESULT DatabaseImpl::get_QueryDefs(dao::QueryDefs** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    if (!queryDefs_) queryDefs_ = new QueryDefsImpl(db_);
    queryDefs_->AddRef();
    *out = queryDefs_;
  });
}
HRESULT DatabaseImpl::get_Relations(dao::Relations** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    if (!relations_) relations_ = new RelationsImpl(db_);
    relations_->AddRef();
    *out = relations_;
  });
}

HRESULT DatabaseImpl::Execute(const BSTR& sql, const Variant& options) {
  return guarded(errors(), [&] {
    db_->requireOpen();
    std::int32_t opts = longArg(options, 0);
    // A stored action query runs by name.
    std::string text = sql;
    if (auto q = db_->findQuery(sql)) text = q->sql;
    PreparedJet p = translateJet(*db_, text);
    if (p.kind == PreparedJet::Kind::Select && p.intoTable.empty()) fail(3065);  // can't execute a select query
    if (!p.parameters.empty()) fail(err::TooFewParameters, std::to_string(p.parameters.size()));
    recordsAffected_ = executeJet(*db_, p, {}, (opts & dbFailOnError) != 0);
  });
}

HRESULT DatabaseImpl::CreateTableDef(const Variant& name, const Variant& attributes, const Variant& sourceTable,
                                     const Variant& connect, dao::_TableDef** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    TableData d;
    d.name = textArg(name);
    d.attributes = longArg(attributes, 0);
    if (!textArg(sourceTable).empty() || !textArg(connect).empty()) fail(err::OperationNotSupported);
    *out = TableDefImpl::created(db_, std::move(d));
  });
}

HRESULT DatabaseImpl::CreateQueryDef(const Variant& name, const Variant& sql, dao::_QueryDef** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    std::string n = textArg(name);
    ComPtr<QueryDefImpl> q = ComPtr<QueryDefImpl>::adopt(new QueryDefImpl(db_, this, n, textArg(sql), false));
    // A named query definition is stored at once, as DAO does.
    if (!n.empty()) {
      db_->appendQuery(QueryData{n, q->sql()});
      q->markStored();
    }
    *out = q.detach();
  });
}

HRESULT DatabaseImpl::CreateRelation(const Variant& name, const Variant& table, const Variant& foreignTable,
                                     const Variant& attributes, dao::Relation** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    RelationData d;
    d.name = textArg(name);
    d.table = textArg(table);
    d.foreignTable = textArg(foreignTable);
    d.attributes = longArg(attributes, 0);
    *out = RelationImpl::created(db_, std::move(d));
  });
}

HRESULT DatabaseImpl::BeginTrans() { return guarded(errors(), [&] { db_->groupBegin(); }); }
HRESULT DatabaseImpl::CommitTrans(std::int32_t) { return guarded(errors(), [&] { db_->groupCommit(); }); }
HRESULT DatabaseImpl::Rollback() { return guarded(errors(), [&] { db_->groupRollback(); }); }

HRESULT DatabaseImpl::NewPassword(const BSTR& oldPassword, const BSTR& newPassword) {
  return guarded(errors(), [&] {
    if (newPassword.size() > 20) fail(err::InvalidArgument);
    db_->newPassword(oldPassword, newPassword);
  });
}

HRESULT DatabaseImpl::OpenRecordset(const BSTR& name, const Variant& type, const Variant& options,
                                    const Variant& lockEdit, dao::Recordset** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    std::int16_t t = static_cast<std::int16_t>(longArg(type, -1));
    if (t == -1) t = db_->findTable(name) ? dbOpenTable : dbOpenDynaset;
    *out = openRecordsetOn(db_, this, name, t, longArg(options, 0), longArg(lockEdit, dbPessimistic), {});
  });
}

HRESULT DatabaseImpl::Close() {
  return guarded(errors(), [&] {
    db_->requireOpen();
    db_->close();
  });
}

dao::Recordset* openRecordsetOn(const std::shared_ptr<DbState>& db, dao::Database* parent, const std::string& source,
                                std::int16_t type, std::int32_t options, std::int32_t lockEdit,
                                const std::vector<Variant>& parameterValues) {
  if (db->findTable(source)) return openTableRecordset(db, parent, source, type, options, lockEdit);
  if (type == dbOpenTable) fail(err::InvalidArgument);
  std::string text = source;
  if (auto q = db->findQuery(source)) text = q->sql;
  PreparedJet p = translateJet(*db, text);
  if (p.kind != PreparedJet::Kind::Select || !p.intoTable.empty()) fail(3219);
  if (parameterValues.size() < p.parameters.size())
    fail(err::TooFewParameters, std::to_string(p.parameters.size() - parameterValues.size()));
  p.plan.params.assign(parameterValues.begin(), parameterValues.begin() + static_cast<long>(p.parameters.size()));
  return RecordsetImpl::open(db, parent, p.plan, type, options, lockEdit, false, source);
}

// ---- QueryDefImpl --------------------------------------------------------

QueryDefImpl::QueryDefImpl(std::shared_ptr<DbState> db, dao::Database* parent, std::string name, std::string sql,
                           bool stored)
    : db_(std::move(db)), parent_(parent), name_(std::move(name)), sql_(std::move(sql)), stored_(stored) {
  parameters_ = new ParametersImpl(db_->errorStore());
}

QueryDefImpl::~QueryDefImpl() { parameters_->Release(); }

void QueryDefImpl::prepare() {
  if (closed_) fail(err::ObjectInvalid);
  db_->requireOpen();
  if (prepared_ && preparedSchema_ == db_->schemaVersion()) return;
  prepared_ = translateJet(*db_, sql_);
  preparedSchema_ = db_->schemaVersion();
  parameters_->reset(prepared_->parameters);
}

std::vector<Variant> QueryDefImpl::parameterValues(bool toRun) const {
  // Running with a parameter nobody set would read it as Null: a misspelt
  // column name would silently give rows of Null.
  if (std::size_t n = parameters_->missing(); n && toRun) fail(err::TooFewParameters, std::to_string(n));
  std::vector<Variant> out;
  out.reserve(parameters_->values().size());
  for (const auto& p : parameters_->values()) out.push_back(p.value);
  return out;
}

HRESULT QueryDefImpl::get_Name(BSTR* out) { return guarded(errors(), [&] { requireOut(out); *out = name_; }); }
HRESULT QueryDefImpl::put_Name(const BSTR& value) {
  return guarded(errors(), [&] {
    if (stored_) fail(err::InvalidOperation);
    name_ = value;
  });
}
HRESULT QueryDefImpl::get_SQL(BSTR* out) { return guarded(errors(), [&] { requireOut(out); *out = sql_; }); }
HRESULT QueryDefImpl::put_SQL(const BSTR& value) {
  return guarded(errors(), [&] {
    if (closed_) fail(err::ObjectInvalid);
    if (stored_) db_->updateQuery(name_, value);
    sql_ = value;
    prepared_.reset();
    // The parameters of the new text are known at once.
    if (!sql_.empty()) prepare();
  });
}
HRESULT QueryDefImpl::get_Type(std::int16_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    prepare();
    // Jet's query types: 0 select, 0x50 update/insert/delete (action), 0x60 DDL.
    *out = prepared_->kind == PreparedJet::Kind::Select ? (prepared_->intoTable.empty() ? 0 : 0x50)
           : prepared_->kind == PreparedJet::Kind::Ddl  ? 0x60
                                                        : 0x30;
  });
}
HRESULT QueryDefImpl::get_Updatable(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); *out = db_->readOnly() ? VARIANT_FALSE : VARIANT_TRUE; });
}
HRESULT QueryDefImpl::get_ReturnsRecords(VARIANT_BOOL* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    prepare();
    *out = prepared_->kind == PreparedJet::Kind::Select && prepared_->intoTable.empty() ? VARIANT_TRUE : VARIANT_FALSE;
  });
}
HRESULT QueryDefImpl::get_RecordsAffected(std::int32_t* out) {
  return guarded(errors(), [&] { requireOut(out); *out = recordsAffected_; });
}
HRESULT QueryDefImpl::get_Parameters(dao::Parameters** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (!sql_.empty()) prepare();
    parameters_->AddRef();
    *out = parameters_;
  });
}
HRESULT QueryDefImpl::get_Fields(dao::Fields** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    ComPtr<dao::Recordset> rs;
    prepare();
    if (prepared_->kind != PreparedJet::Kind::Select) fail(err::InvalidOperation);
    rs.attach(openRecordsetOn(db_, parent_.get(), sql_, dbOpenSnapshot, 0, dbOptimistic, parameterValues(false)));
    HRESULT hr = rs->get_Fields(out);
    if (FAILED(hr)) fail(err::InvalidOperation);
  });
}
HRESULT QueryDefImpl::Execute(const Variant& options) {
  return guarded(errors(), [&] {
    prepare();
    if (prepared_->kind == PreparedJet::Kind::Select && prepared_->intoTable.empty()) fail(3065);
    std::int32_t opts = longArg(options, 0);
    recordsAffected_ = executeJet(*db_, *prepared_, parameterValues(), (opts & dbFailOnError) != 0);
    if (prepared_->kind == PreparedJet::Kind::Ddl) prepared_.reset();
  });
}
HRESULT QueryDefImpl::OpenRecordset(const Variant& type, const Variant& options, const Variant& lockEdit,
                                    dao::Recordset** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    prepare();
    if (prepared_->kind != PreparedJet::Kind::Select || !prepared_->intoTable.empty()) fail(err::InvalidOperation);
    QueryPlan plan = prepared_->plan;
    plan.params = parameterValues();
    std::int16_t t = static_cast<std::int16_t>(longArg(type, dbOpenDynaset));
    if (t == dbOpenTable) fail(err::InvalidArgument);
    *out = RecordsetImpl::open(db_, parent_.get(), plan, t, longArg(options, 0), longArg(lockEdit, dbPessimistic),
                               false, name_);
  });
}
HRESULT QueryDefImpl::Close() {
  return guarded(errors(), [&] {
    if (closed_) fail(err::ObjectInvalid);
    closed_ = true;
  });
}

// ---- QueryDefsImpl -------------------------------------------------------

HRESULT QueryDefsImpl::get_Count(std::int16_t* out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    *out = static_cast<std::int16_t>(db_->queries().size());
  });
}
HRESULT QueryDefsImpl::Refresh() { return S_OK; }
HRESULT QueryDefsImpl::Append(IDispatch* object) {
  return guarded(db_->errors(), [&] {
    auto* q = dynamic_cast<QueryDefImpl*>(object);
    if (!q) fail(err::InvalidArgument);
    if (q->stored()) fail(err::ObjectAlreadyInCollection);
    if (q->name().empty()) fail(3125, "");
    db_->appendQuery(QueryData{q->name(), q->sql()});
    q->markStored();
  });
}
HRESULT QueryDefsImpl::Delete(const BSTR& name) {
  return guarded(db_->errors(), [&] { db_->deleteQuery(name); });
}
HRESULT QueryDefsImpl::get_Item(const Variant& index, dao::_QueryDef** out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    const auto& qs = db_->queries();
    std::size_t i = itemPosition(index, qs.size(), [&](std::size_t k) { return qs[k]->name; });
    *out = new QueryDefImpl(db_, db_->owner(), qs[i]->name, qs[i]->sql, true);
  });
}

// ---- parameters ----------------------------------------------------------

void ParametersImpl::reset(const std::vector<ParameterInfo>& infos) {
  std::map<std::string, const ParameterValue*, jet::NameLess> old;
  for (const auto& p : *list_) old.emplace(p.info.name, &p);
  std::vector<ParameterValue> next;
  next.reserve(infos.size());
  for (const auto& info : infos) {
    ParameterValue pv{info, Variant::null()};
    if (auto it = old.find(info.name); it != old.end()) {
      pv.value = it->second->value;
      pv.given = it->second->given;
    }
    next.push_back(std::move(pv));
  }
  *list_ = std::move(next);
}

std::size_t ParametersImpl::missing() const {
  std::size_t n = 0;
  for (const auto& p : *list_) n += p.given ? 0 : 1;
  return n;
}

HRESULT ParametersImpl::get_Count(std::int16_t* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = static_cast<std::int16_t>(list_->size()); });
}
HRESULT ParametersImpl::Refresh() { return S_OK; }
HRESULT ParametersImpl::get_Item(const Variant& index, dao::Parameter** out) {
  return guarded(errors_.get(), [&] {
    requireOut(out);
    std::size_t i = itemPosition(index, list_->size(), [&](std::size_t k) { return (*list_)[k].info.name; });
    *out = new ParameterImpl(errors_, list_, i);
  });
}

HRESULT ParameterImpl::get_Name(BSTR* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = list_->at(index_).info.name; });
}
HRESULT ParameterImpl::get_Type(std::int16_t* out) {
  return guarded(errors_.get(), [&] {
    requireOut(out);
    std::int16_t t = list_->at(index_).info.type;
    *out = t ? t : static_cast<std::int16_t>(dbText);
  });
}
HRESULT ParameterImpl::put_Type(std::int16_t value) {
  return guarded(errors_.get(), [&] {
    if (!isValidFieldType(value)) fail(err::InvalidArgument);
    list_->at(index_).info.type = value;
  });
}
HRESULT ParameterImpl::get_Value(Variant* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = list_->at(index_).value; });
}
HRESULT ParameterImpl::put_Value(const Variant& value) {
  return guarded(errors_.get(), [&] {
    auto& p = list_->at(index_);
    if (p.info.type == 0 || value.isNull() || value.isEmpty()) {
      p.value = value.isEmpty() ? Variant::null() : value;
      p.given = true;
      return;
    }
    static const VARTYPE kinds[] = {VT_EMPTY, VT_BOOL, VT_UI1, VT_I2, VT_I4, VT_CY, VT_R4, VT_R8, VT_DATE};
    Variant v = value;
    if (p.info.type >= dbBoolean && p.info.type <= dbDate) {
      if (FAILED(value.changeType(kinds[p.info.type], v))) fail(err::ConversionError);
    } else if (p.info.type == dbText || p.info.type == dbMemo) {
      if (FAILED(value.changeType(VT_BSTR, v))) fail(err::ConversionError);
    }
    p.value = v;
    p.given = true;
  });
}

}  // namespace kh::store
