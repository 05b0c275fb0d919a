#include "schema.h"

#include "recordset.h"

namespace kh::store {

using namespace dao;

std::size_t itemPosition(const Variant& index, std::size_t count,
                         const std::function<std::string(std::size_t)>& nameAt) {
  if (index.type() == VT_BSTR) {
    for (std::size_t i = 0; i < count; ++i)
      if (sameName(nameAt(i), index.str())) return i;
    fail(err::ItemNotFound);
  }
  Variant n;
  if (FAILED(index.changeType(VT_I4, n))) fail(err::ItemNotFound);
  if (n.i4() < 0 || static_cast<std::size_t>(n.i4()) >= count) fail(err::ItemNotFound);
  return static_cast<std::size_t>(n.i4());
}

namespace {

template <class Impl>
Impl* ourObject(IDispatch* object) {
  return dynamic_cast<Impl*>(object);
}

FieldDef newFieldDef(const Variant& name, const Variant& type, const Variant& size) {
  FieldDef d;
  d.name = textArg(name);
  d.type = static_cast<std::int16_t>(longArg(type, dbText));
  d.size = longArg(size, 0);
  if (isOmitted(size)) d.size = d.type == dbText ? 50 : fixedSizeOf(d.type);
  return d;
}

}  // namespace

// ---- FieldImpl -----------------------------------------------------------

FieldImpl* FieldImpl::standalone(std::shared_ptr<ErrorStore> errors, FieldDef def) {
  auto* f = new FieldImpl;
  f->mode_ = Mode::Standalone;
  f->errors_ = std::move(errors);
  f->def_ = std::move(def);
  return f;
}

FieldImpl* FieldImpl::ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table, const std::string& name) {
  auto* f = new FieldImpl;
  f->mode_ = Mode::Table;
  f->errors_ = db->errorStore();
  f->db_ = std::move(db);
  f->table_ = std::move(table);
  f->def_.name = name;
  return f;
}

FieldImpl* FieldImpl::fixed(std::shared_ptr<ErrorStore> errors, FieldDef def) {
  auto* f = new FieldImpl;
  f->mode_ = Mode::Fixed;
  f->errors_ = std::move(errors);
  f->def_ = std::move(def);
  return f;
}

FieldImpl* FieldImpl::ofRecordset(RecordsetImpl* rs, int column) {
  auto* f = new FieldImpl;
  f->mode_ = Mode::Recordset;
  f->rs_ = rs;
  rs->AddRef();
  f->errors_ = rs->errorStore();
  f->column_ = column;
  return f;
}

FieldImpl::~FieldImpl() {
  if (rs_) rs_->Release();
}

ErrorStore* FieldImpl::errors() const { return errors_.get(); }

FieldDef FieldImpl::definition() const {
  switch (mode_) {
    case Mode::Table: {
      const FieldDef* d = table_->field(def_.name);
      if (!d) fail(err::ObjectInvalid);
      return *d;
    }
    case Mode::Recordset: return rs_->columnDef(column_);
    default: return def_;
  }
}

void FieldImpl::bindToTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table) {
  mode_ = Mode::Table;
  db_ = std::move(db);
  table_ = std::move(table);
}

template <class F>
HRESULT FieldImpl::change(F&& edit, bool allowedOnTable) {
  return guarded(errors(), [&] {
    if (mode_ == Mode::Standalone) {
      edit(def_);
      return;
    }
    if (mode_ == Mode::Table && allowedOnTable) {
      FieldDef d = definition();
      edit(d);
      db_->updateField(table_->name, d);
      return;
    }
    fail(err::InvalidOperation);
  });
}

HRESULT FieldImpl::get_Name(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); *out = definition().name; });
}
HRESULT FieldImpl::put_Name(const BSTR& value) {
  return change([&](FieldDef& d) { d.name = value; }, false);
}
HRESULT FieldImpl::get_Type(std::int16_t* out) {
  return guarded(errors(), [&] { requireOut(out); *out = definition().type; });
}
HRESULT FieldImpl::put_Type(std::int16_t value) {
  return change(
      [&](FieldDef& d) {
        if (!isValidFieldType(value)) fail(err::InvalidArgument);
        d.type = value;
        if (value != dbText && value != dbBinary) d.size = fixedSizeOf(value);
      },
      false);
}
HRESULT FieldImpl::get_Size(std::int32_t* out) {
  return guarded(errors(), [&] { requireOut(out); *out = definition().size; });
}
HRESULT FieldImpl::put_Size(std::int32_t value) {
  return change(
      [&](FieldDef& d) {
        if (d.type == dbText || d.type == dbBinary) {
          if (value < 1 || value > 255) fail(err::InvalidArgument);
          d.size = value;
        } else if (value != fixedSizeOf(d.type)) {
          fail(err::InvalidOperation);
        }
      },
      false);
}
HRESULT FieldImpl::get_Attributes(std::int32_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    FieldDef d = definition();
    std::int32_t a = d.attributes;
    if (mode_ == Mode::Standalone || mode_ == Mode::Table || mode_ == Mode::Recordset) {
      if (!(a & dbDescending) || mode_ != Mode::Fixed) {
        a |= (d.type == dbText || d.type == dbMemo || d.type == dbLongBinary) ? dbVariableField : dbFixedField;
        if (mode_ == Mode::Recordset && rs_->columnUpdatable(column_)) a |= dbUpdatableField;
        if (mode_ == Mode::Table) a |= dbUpdatableField;
      }
    }
    *out = a;
  });
}
HRESULT FieldImpl::put_Attributes(std::int32_t value) {
  return change([&](FieldDef& d) { d.attributes = value & (dbAutoIncrField | dbDescending | dbFixedField | dbVariableField); },
                false);
}
HRESULT FieldImpl::get_CollatingOrder(std::int32_t* out) {
  // Jet's general sort order.
  return guarded(errors(), [&] { requireOut(out); *out = 1033; });
}
HRESULT FieldImpl::get_OrdinalPosition(std::int16_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    *out = mode_ == Mode::Recordset ? static_cast<std::int16_t>(column_) : definition().ordinal;
  });
}
HRESULT FieldImpl::get_FieldSize(std::int32_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (mode_ != Mode::Recordset) fail(err::InvalidOperation);
    *out = rs_->fieldSize(column_);
  });
}
HRESULT FieldImpl::get_SourceTable(BSTR* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (mode_ == Mode::Recordset) *out = rs_->columnSourceTable(column_);
    else if (mode_ == Mode::Table) *out = table_->name;
    else out->clear();
  });
}
HRESULT FieldImpl::get_SourceField(BSTR* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    *out = mode_ == Mode::Recordset ? rs_->columnSourceField(column_) : definition().name;
  });
}
HRESULT FieldImpl::get_ValidationRule(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); *out = definition().validationRule; });
}
HRESULT FieldImpl::put_ValidationRule(const BSTR& value) {
  return change([&](FieldDef& d) { d.validationRule = value; }, true);
}
HRESULT FieldImpl::get_ValidationText(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); *out = definition().validationText; });
}
HRESULT FieldImpl::put_ValidationText(const BSTR& value) {
  return change([&](FieldDef& d) { d.validationText = value; }, true);
}
HRESULT FieldImpl::get_DefaultValue(Variant* out) {
  return guarded(errors(), [&] { requireOut(out); *out = Variant(definition().defaultValue); });
}
HRESULT FieldImpl::put_DefaultValue(const Variant& value) {
  return change([&](FieldDef& d) { d.defaultValue = textArg(value); }, true);
}
HRESULT FieldImpl::get_Required(VARIANT_BOOL* out) {
  return guarded(errors(), [&] { requireOut(out); *out = definition().required ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT FieldImpl::put_Required(VARIANT_BOOL value) {
  return change([&](FieldDef& d) { d.required = value != 0; }, true);
}
HRESULT FieldImpl::get_AllowZeroLength(VARIANT_BOOL* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    *out = definition().allowZeroLength ? VARIANT_TRUE : VARIANT_FALSE;
  });
}
HRESULT FieldImpl::put_AllowZeroLength(VARIANT_BOOL value) {
  return change(
      [&](FieldDef& d) {
        if (value && !isTextType(d.type)) fail(err::InvalidOperation);
        d.allowZeroLength = value != 0;
      },
      true);
}
HRESULT FieldImpl::get_DataUpdatable(VARIANT_BOOL* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    bool updatable = mode_ == Mode::Recordset ? rs_->columnUpdatable(column_) : mode_ != Mode::Fixed;
    *out = updatable ? VARIANT_TRUE : VARIANT_FALSE;
  });
}
HRESULT FieldImpl::get_ForeignName(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); *out = definition().foreignName; });
}
HRESULT FieldImpl::put_ForeignName(const BSTR& value) {
  return change([&](FieldDef& d) { d.foreignName = value; }, false);
}
HRESULT FieldImpl::get_Value(Variant* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (mode_ != Mode::Recordset) fail(err::InvalidOperation);
    *out = rs_->value(column_);
  });
}
HRESULT FieldImpl::put_Value(const Variant& value) {
  return guarded(errors(), [&] {
    if (mode_ != Mode::Recordset) fail(err::InvalidOperation);
    rs_->setValue(column_, value);
  });
}

// ---- FieldsImpl ----------------------------------------------------------

FieldsImpl* FieldsImpl::owned(std::shared_ptr<ErrorStore> errors, Owner owner) {
  auto* f = new FieldsImpl;
  f->owner_ = owner;
  f->errors_ = std::move(errors);
  return f;
}

FieldsImpl* FieldsImpl::ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table) {
  auto* f = new FieldsImpl;
  f->owner_ = Owner::Table;
  f->errors_ = db->errorStore();
  f->db_ = std::move(db);
  f->table_ = std::move(table);
  return f;
}

FieldsImpl* FieldsImpl::fixed(std::shared_ptr<ErrorStore> errors, std::vector<FieldDef> defs) {
  auto* f = new FieldsImpl;
  f->owner_ = Owner::Fixed;
  f->errors_ = std::move(errors);
  f->fixed_ = std::move(defs);
  return f;
}

FieldsImpl* FieldsImpl::ofRecordset(RecordsetImpl* rs) {
  auto* f = new FieldsImpl;
  f->owner_ = Owner::Recordset;
  f->errors_ = rs->errorStore();
  f->rs_ = rs;
  rs->AddRef();
  return f;
}

FieldsImpl::~FieldsImpl() {
  if (rs_) rs_->Release();
}

ErrorStore* FieldsImpl::errors() const { return errors_.get(); }

std::vector<FieldDef> FieldsImpl::definitions() const {
  std::vector<FieldDef> out;
  for (const auto& f : items_) out.push_back(f->definition());
  return out;
}

void FieldsImpl::bindToTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table) {
  for (auto& f : items_) f->bindToTable(db, table);
  items_.clear();
  owner_ = Owner::Table;
  db_ = std::move(db);
  table_ = std::move(table);
}

void FieldsImpl::freeze(std::vector<FieldDef> defs) {
  for (auto& f : items_) f->freeze();
  items_.clear();
  owner_ = Owner::Fixed;
  fixed_ = std::move(defs);
}

std::size_t FieldsImpl::count() const {
  switch (owner_) {
    case Owner::Table: return table_->fields.size();
    case Owner::Fixed: return fixed_.size();
    case Owner::Recordset: return static_cast<std::size_t>(rs_->columnCount());
    default: return items_.size();
  }
}

std::string FieldsImpl::nameAt(std::size_t i) const {
  switch (owner_) {
    case Owner::Table: return table_->fields[i].name;
    case Owner::Fixed: return fixed_[i].name;
    case Owner::Recordset: return rs_->columnDef(static_cast<int>(i)).name;
    default: return items_[i]->definition().name;
  }
}

HRESULT FieldsImpl::get_Count(std::int16_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (db_) db_->requireOpen();
    *out = static_cast<std::int16_t>(count());
  });
}

HRESULT FieldsImpl::Refresh() { return S_OK; }

HRESULT FieldsImpl::Append(IDispatch* object) {
  return guarded(errors(), [&] {
    auto* field = ourObject<FieldImpl>(object);
    if (!field) fail(err::InvalidArgument);
    if (field->mode() != FieldImpl::Mode::Standalone) fail(err::ObjectAlreadyInCollection);
    FieldDef d = field->definition();
    if (d.name.empty()) fail(err::InvalidFieldName);
    switch (owner_) {
      case Owner::Table:
        db_->appendField(table_->name, d);
        field->bindToTable(db_, table_);
        return;
      case Owner::Fixed:
      case Owner::Recordset: fail(err::OperationNotSupported);
      default:
        for (std::size_t i = 0; i < items_.size(); ++i)
          if (sameName(nameAt(i), d.name))
            fail(owner_ == Owner::NewTable ? err::CantDefineFieldTwice : err::ObjectAlreadyInCollection, d.name);
        items_.push_back(ComPtr<FieldImpl>(field));
    }
  });
}

HRESULT FieldsImpl::Delete(const BSTR& name) {
  return guarded(errors(), [&] {
    switch (owner_) {
      case Owner::Table: db_->deleteField(table_->name, name); return;
      case Owner::Fixed:
      case Owner::Recordset: fail(err::OperationNotSupported);
      default: {
        std::size_t i = itemPosition(Variant(name), items_.size(), [&](std::size_t k) { return nameAt(k); });
        items_.erase(items_.begin() + static_cast<long>(i));
      }
    }
  });
}

HRESULT FieldsImpl::get_Item(const Variant& index, dao::_Field** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (db_) db_->requireOpen();
    std::size_t i = itemPosition(index, count(), [&](std::size_t k) { return nameAt(k); });
    switch (owner_) {
      case Owner::Table: *out = FieldImpl::ofTable(db_, table_, table_->fields[i].name); return;
      case Owner::Fixed: *out = FieldImpl::fixed(errors_, fixed_[i]); return;
      case Owner::Recordset: *out = FieldImpl::ofRecordset(rs_, static_cast<int>(i)); return;
      default:
        items_[i]->AddRef();
        *out = items_[i].get();
    }
  });
}

// ---- IndexImpl -----------------------------------------------------------

IndexImpl* IndexImpl::standalone(std::shared_ptr<ErrorStore> errors, std::string name) {
  auto* x = new IndexImpl;
  x->errors_ = errors;
  x->def_.name = std::move(name);
  x->fields_ = new IndexFieldsImpl(std::move(errors));
  return x;
}

IndexImpl* IndexImpl::ofTable(std::shared_ptr<ErrorStore> errors, const IndexDef& def) {
  auto* x = standalone(std::move(errors), def.name);
  x->def_ = def;
  x->appended_ = true;
  x->fields_->setFixed(def.fields);
  return x;
}

IndexImpl::~IndexImpl() {
  if (fields_) fields_->Release();
}

IndexDef IndexImpl::definition() const {
  IndexDef d = def_;
  d.fields = fields_->fixed() ? def_.fields : fields_->definitions();
  return d;
}

void IndexImpl::freeze() {
  def_ = definition();
  appended_ = true;
  fields_->setFixed(def_.fields);
}

template <class F>
HRESULT IndexImpl::change(F&& edit) {
  return guarded(errors_.get(), [&] {
    if (appended_) fail(err::InvalidOperation);
    edit(def_);
  });
}

HRESULT IndexImpl::get_Name(BSTR* out) { return guarded(errors_.get(), [&] { requireOut(out); *out = def_.name; }); }
HRESULT IndexImpl::put_Name(const BSTR& value) { return change([&](IndexDef& d) { d.name = value; }); }
HRESULT IndexImpl::get_Unique(VARIANT_BOOL* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = def_.unique || def_.primary ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT IndexImpl::put_Unique(VARIANT_BOOL value) { return change([&](IndexDef& d) { d.unique = value != 0; }); }
HRESULT IndexImpl::get_Primary(VARIANT_BOOL* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = def_.primary ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT IndexImpl::put_Primary(VARIANT_BOOL value) { return change([&](IndexDef& d) { d.primary = value != 0; }); }
HRESULT IndexImpl::get_Required(VARIANT_BOOL* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = def_.required || def_.primary ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT IndexImpl::put_Required(VARIANT_BOOL value) { return change([&](IndexDef& d) { d.required = value != 0; }); }
HRESULT IndexImpl::get_IgnoreNulls(VARIANT_BOOL* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = def_.ignoreNulls ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT IndexImpl::put_IgnoreNulls(VARIANT_BOOL value) { return change([&](IndexDef& d) { d.ignoreNulls = value != 0; }); }
HRESULT IndexImpl::get_Foreign(VARIANT_BOOL* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = def_.foreign ? VARIANT_TRUE : VARIANT_FALSE; });
}
HRESULT IndexImpl::get_Fields(Variant* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = Variant::fromDispatch(fields_); });
}
HRESULT IndexImpl::CreateField(const Variant& name, const Variant& type, const Variant& size, dao::_Field** out) {
  return guarded(errors_.get(), [&] {
    requireOut(out);
    *out = FieldImpl::standalone(errors_, newFieldDef(name, type, size));
  });
}

// ---- IndexFieldsImpl -----------------------------------------------------

std::vector<FieldDef> IndexFieldsImpl::definitions() const {
  std::vector<FieldDef> out;
  for (const auto& f : items_) out.push_back(f->definition());
  return out;
}

void IndexFieldsImpl::setFixed(std::vector<FieldDef> defs) {
  items_.clear();
  for (auto& d : defs) items_.push_back(ComPtr<FieldImpl>::adopt(FieldImpl::fixed(errors_, d)));
  fixed_ = true;
}

HRESULT IndexFieldsImpl::get_Count(std::int16_t* out) {
  return guarded(errors_.get(), [&] { requireOut(out); *out = static_cast<std::int16_t>(items_.size()); });
}
HRESULT IndexFieldsImpl::Refresh() { return S_OK; }
HRESULT IndexFieldsImpl::Append(IDispatch* object) {
  return guarded(errors_.get(), [&] {
    if (fixed_) fail(err::OperationNotSupported);
    auto* field = ourObject<FieldImpl>(object);
    if (!field || field->mode() != FieldImpl::Mode::Standalone) fail(err::InvalidArgument);
    std::string name = field->definition().name;
    if (name.empty()) fail(err::InvalidFieldName);
    for (const auto& f : items_)
      if (sameName(f->definition().name, name)) fail(err::ObjectAlreadyInCollection);
    items_.push_back(ComPtr<FieldImpl>(field));
  });
}
HRESULT IndexFieldsImpl::Delete(const BSTR& name) {
  return guarded(errors_.get(), [&] {
    if (fixed_) fail(err::OperationNotSupported);
    std::size_t i = itemPosition(Variant(name), items_.size(), [&](std::size_t k) { return items_[k]->definition().name; });
    items_.erase(items_.begin() + static_cast<long>(i));
  });
}
HRESULT IndexFieldsImpl::get_Item(const Variant& index, Variant* out) {
  return guarded(errors_.get(), [&] {
    requireOut(out);
    std::size_t i = itemPosition(index, items_.size(), [&](std::size_t k) { return items_[k]->definition().name; });
    *out = Variant::fromDispatch(items_[i].get());
  });
}

// ---- IndexesImpl ---------------------------------------------------------

IndexesImpl* IndexesImpl::owned(std::shared_ptr<ErrorStore> errors) {
  auto* x = new IndexesImpl;
  x->errors_ = std::move(errors);
  return x;
}

IndexesImpl* IndexesImpl::ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table) {
  auto* x = new IndexesImpl;
  x->errors_ = db->errorStore();
  x->db_ = std::move(db);
  x->table_ = std::move(table);
  return x;
}

std::vector<IndexDef> IndexesImpl::definitions() const {
  std::vector<IndexDef> out;
  for (const auto& x : items_) out.push_back(x->definition());
  return out;
}

void IndexesImpl::bindToTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table) {
  for (auto& x : items_) x->freeze();
  items_.clear();
  db_ = std::move(db);
  table_ = std::move(table);
}

HRESULT IndexesImpl::get_Count(std::int16_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    *out = static_cast<std::int16_t>(table_ ? table_->indexes.size() : items_.size());
  });
}
HRESULT IndexesImpl::Refresh() { return S_OK; }
HRESULT IndexesImpl::Append(IDispatch* object) {
  return guarded(errors(), [&] {
    auto* index = ourObject<IndexImpl>(object);
    if (!index) fail(err::InvalidArgument);
    if (index->appended()) fail(err::ObjectAlreadyInCollection);
    IndexDef d = index->definition();
    if (d.fields.empty()) fail(err::InvalidFieldName);
    if (table_) {
      db_->appendIndex(table_->name, d);
      index->freeze();
      return;
    }
    for (const auto& x : items_) {
      IndexDef o = x->definition();
      if (sameName(o.name, d.name)) fail(err::IndexExists);
      if (o.primary && d.primary) fail(err::PrimaryKeyExists);
    }
    items_.push_back(ComPtr<IndexImpl>(index));
  });
}
HRESULT IndexesImpl::Delete(const BSTR& name) {
  return guarded(errors(), [&] {
    if (table_) {
      db_->deleteIndex(table_->name, name);
      return;
    }
    std::size_t i = itemPosition(Variant(name), items_.size(), [&](std::size_t k) { return items_[k]->definition().name; });
    items_.erase(items_.begin() + static_cast<long>(i));
  });
}
HRESULT IndexesImpl::get_Item(const Variant& index, dao::_Index** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (table_) {
      db_->requireOpen();
      std::size_t i = itemPosition(index, table_->indexes.size(), [&](std::size_t k) { return table_->indexes[k].name; });
      *out = IndexImpl::ofTable(errors_, table_->indexes[i]);
      return;
    }
    std::size_t i = itemPosition(index, items_.size(), [&](std::size_t k) { return items_[k]->definition().name; });
    items_[i]->AddRef();
    *out = items_[i].get();
  });
}

// ---- TableDefImpl --------------------------------------------------------

TableDefImpl* TableDefImpl::created(std::shared_ptr<DbState> db, TableData data) {
  auto* t = new TableDefImpl;
  t->db_ = std::move(db);
  t->data_ = std::move(data);
  t->fields_ = FieldsImpl::owned(t->db_->errorStore(), FieldsImpl::Owner::NewTable);
  t->indexes_ = IndexesImpl::owned(t->db_->errorStore());
  return t;
}

TableDefImpl* TableDefImpl::ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table) {
  auto* t = new TableDefImpl;
  t->db_ = std::move(db);
  t->table_ = table;
  t->fields_ = FieldsImpl::ofTable(t->db_, table);
  t->indexes_ = IndexesImpl::ofTable(t->db_, table);
  return t;
}

TableDefImpl::~TableDefImpl() {
  if (fields_) fields_->Release();
  if (indexes_) indexes_->Release();
}

TableData TableDefImpl::definition() const {
  if (table_) return *table_;
  TableData d = data_;
  d.fields = fields_->definitions();
  d.indexes = indexes_->definitions();
  return d;
}

void TableDefImpl::bindToTable(std::shared_ptr<TableData> table) {
  table_ = table;
  fields_->bindToTable(db_, table);
  indexes_->bindToTable(db_, table);
}

HRESULT TableDefImpl::get_Attributes(std::int32_t* out) {
  return guarded(errors(), [&] { requireOut(out); *out = table_ ? table_->attributes : data_.attributes; });
}
HRESULT TableDefImpl::put_Attributes(std::int32_t value) {
  return guarded(errors(), [&] {
    if (table_) fail(err::InvalidOperation);
    data_.attributes = value;
  });
}
HRESULT TableDefImpl::get_Name(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); *out = table_ ? table_->name : data_.name; });
}
HRESULT TableDefImpl::put_Name(const BSTR& value) {
  return guarded(errors(), [&] {
    if (table_) db_->renameTable(table_->name, value);
    else data_.name = value;
  });
}
HRESULT TableDefImpl::get_Updatable(VARIANT_BOOL* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    *out = (table_ && table_->system) || db_->readOnly() ? VARIANT_FALSE : VARIANT_TRUE;
  });
}
HRESULT TableDefImpl::get_RecordCount(std::int32_t* out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (!table_) {
      *out = 0;
      return;
    }
    Statement s(db_->handle(), "SELECT count(*) FROM " + quoteName(table_->name));
    s.step();
    *out = sqlite3_column_int(s.get(), 0);
  });
}
HRESULT TableDefImpl::get_ValidationRule(BSTR* out) {
  return guarded(errors(), [&] { requireOut(out); *out = table_ ? table_->validationRule : data_.validationRule; });
}
HRESULT TableDefImpl::put_ValidationRule(const BSTR& value) {
  return guarded(errors(), [&] {
    if (table_) fail(err::InvalidOperation);
    data_.validationRule = value;
  });
}
HRESULT TableDefImpl::get_Fields(dao::Fields** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    fields_->AddRef();
    *out = fields_;
  });
}
HRESULT TableDefImpl::get_Indexes(dao::Indexes** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    indexes_->AddRef();
    *out = indexes_;
  });
}
HRESULT TableDefImpl::OpenRecordset(const Variant& type, const Variant& options, dao::Recordset** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    if (!table_) fail(err::InvalidOperation);
    *out = openTableRecordset(db_, db_->owner(), table_->name, static_cast<std::int16_t>(longArg(type, dbOpenTable)),
                              longArg(options, 0), 0);
  });
}
HRESULT TableDefImpl::CreateField(const Variant& name, const Variant& type, const Variant& size, dao::_Field** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    *out = FieldImpl::standalone(db_->errorStore(), newFieldDef(name, type, size));
  });
}
HRESULT TableDefImpl::CreateIndex(const Variant& name, dao::_Index** out) {
  return guarded(errors(), [&] {
    requireOut(out);
    *out = IndexImpl::standalone(db_->errorStore(), textArg(name));
  });
}

// ---- TableDefsImpl -------------------------------------------------------

HRESULT TableDefsImpl::get_Count(std::int16_t* out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    *out = static_cast<std::int16_t>(db_->tables().size());
  });
}
HRESULT TableDefsImpl::Refresh() {
  return guarded(db_->errors(), [&] { db_->requireOpen(); });
}
HRESULT TableDefsImpl::Append(IDispatch* object) {
  return guarded(db_->errors(), [&] {
    auto* t = ourObject<TableDefImpl>(object);
    if (!t) fail(err::InvalidArgument);
    if (t->appended()) fail(err::ObjectAlreadyInCollection);
    TableData d = t->definition();
    db_->appendTable(d);
    t->bindToTable(db_->findTable(d.name));
  });
}
HRESULT TableDefsImpl::Delete(const BSTR& name) {
  return guarded(db_->errors(), [&] {
    if (!db_->findTable(name)) fail(err::ItemNotFound);
    db_->deleteTable(name);
  });
}
HRESULT TableDefsImpl::get_Item(const Variant& index, dao::_TableDef** out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    const auto& tables = db_->tables();
    std::size_t i = itemPosition(index, tables.size(), [&](std::size_t k) { return tables[k]->name; });
    *out = TableDefImpl::ofTable(db_, tables[i]);
  });
}

// ---- RelationImpl --------------------------------------------------------

RelationImpl* RelationImpl::created(std::shared_ptr<DbState> db, RelationData data) {
  auto* r = new RelationImpl;
  r->db_ = std::move(db);
  r->data_ = std::move(data);
  r->fields_ = FieldsImpl::owned(r->db_->errorStore(), FieldsImpl::Owner::NewRelation);
  return r;
}

RelationImpl* RelationImpl::ofCatalogue(std::shared_ptr<DbState> db, std::shared_ptr<RelationData> data) {
  auto* r = new RelationImpl;
  r->db_ = std::move(db);
  r->data_ = *data;
  r->appended_ = true;
  r->fields_ = FieldsImpl::fixed(r->db_->errorStore(), data->fields);
  return r;
}

RelationImpl::~RelationImpl() {
  if (fields_) fields_->Release();
}

RelationData RelationImpl::definition() const {
  RelationData d = data_;
  if (!appended_) d.fields = fields_->definitions();
  return d;
}

void RelationImpl::markAppended(std::shared_ptr<RelationData> data) {
  data_ = *data;
  appended_ = true;
  fields_->freeze(data->fields);
}

template <class F>
HRESULT RelationImpl::change(F&& edit) {
  return guarded(db_->errors(), [&] {
    if (appended_) fail(err::InvalidOperation);
    edit(data_);
  });
}

HRESULT RelationImpl::get_Name(BSTR* out) { return guarded(db_->errors(), [&] { requireOut(out); *out = data_.name; }); }
HRESULT RelationImpl::put_Name(const BSTR& v) { return change([&](RelationData& d) { d.name = v; }); }
HRESULT RelationImpl::get_Table(BSTR* out) { return guarded(db_->errors(), [&] { requireOut(out); *out = data_.table; }); }
HRESULT RelationImpl::put_Table(const BSTR& v) { return change([&](RelationData& d) { d.table = v; }); }
HRESULT RelationImpl::get_ForeignTable(BSTR* out) {
  return guarded(db_->errors(), [&] { requireOut(out); *out = data_.foreignTable; });
}
HRESULT RelationImpl::put_ForeignTable(const BSTR& v) { return change([&](RelationData& d) { d.foreignTable = v; }); }
HRESULT RelationImpl::get_Attributes(std::int32_t* out) {
  return guarded(db_->errors(), [&] { requireOut(out); *out = data_.attributes; });
}
HRESULT RelationImpl::put_Attributes(std::int32_t v) { return change([&](RelationData& d) { d.attributes = v; }); }
HRESULT RelationImpl::get_Fields(dao::Fields** out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    fields_->AddRef();
    *out = fields_;
  });
}
HRESULT RelationImpl::CreateField(const Variant& name, const Variant& type, const Variant& size, dao::_Field** out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    *out = FieldImpl::standalone(db_->errorStore(), newFieldDef(name, type, size));
  });
}

// ---- RelationsImpl -------------------------------------------------------

HRESULT RelationsImpl::get_Count(std::int16_t* out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    *out = static_cast<std::int16_t>(db_->relations().size());
  });
}
HRESULT RelationsImpl::Refresh() { return S_OK; }
HRESULT RelationsImpl::Append(IDispatch* object) {
  return guarded(db_->errors(), [&] {
    auto* r = ourObject<RelationImpl>(object);
    if (!r) fail(err::InvalidArgument);
    RelationData d = r->definition();
    db_->appendRelation(d);
    for (const auto& rel : db_->relations())
      if (sameName(rel->name, d.name)) r->markAppended(rel);
  });
}
HRESULT RelationsImpl::Delete(const BSTR& name) {
  return guarded(db_->errors(), [&] { db_->deleteRelation(name); });
}
HRESULT RelationsImpl::get_Item(const Variant& index, dao::Relation** out) {
  return guarded(db_->errors(), [&] {
    requireOut(out);
    db_->requireOpen();
    const auto& rels = db_->relations();
    std::size_t i = itemPosition(index, rels.size(), [&](std::size_t k) { return rels[k]->name; });
    *out = RelationImpl::ofCatalogue(db_, rels[i]);
  });
}

}  // namespace kh::store
