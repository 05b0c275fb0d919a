// Schema objects: table definitions, fields, indexes, relations and their
// collections, both before they are appended (owned definitions) and after
// (views of the file's catalogue).
#pragma once

#include <functional>

#include "db.h"

namespace kh::store {

class RecordsetImpl;

// Position of an item named or numbered by `index` among `count` items, or a
// failure 3265 (item not found).
std::size_t itemPosition(const Variant& index, std::size_t count, const std::function<std::string(std::size_t)>& nameAt);

class FieldImpl : public ComObject<dao::_Field> {
 public:
  enum class Mode { Standalone, Table, Fixed, Recordset };

  // A new field (CreateField): its definition is its own until it is appended.
  static FieldImpl* standalone(std::shared_ptr<ErrorStore> errors, FieldDef def);
  // A field of an appended table: reads the catalogue, writes changeable properties back.
  static FieldImpl* ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table, const std::string& name);
  // A field of an appended index or relation: read-only.
  static FieldImpl* fixed(std::shared_ptr<ErrorStore> errors, FieldDef def);
  // A column of a recordset: its value is the current record's.
  static FieldImpl* ofRecordset(RecordsetImpl* rs, int column);

  Mode mode() const { return mode_; }
  // The definition as it stands now.
  FieldDef definition() const;
  // After a successful append to a table.
  void bindToTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table);
  void freeze() { mode_ = Mode::Fixed; }

  HRESULT get_Name(BSTR* out) override;
  HRESULT put_Name(const BSTR& value) override;
  HRESULT get_Type(std::int16_t* out) override;
  HRESULT put_Type(std::int16_t value) override;
  HRESULT get_Size(std::int32_t* out) override;
  HRESULT put_Size(std::int32_t value) override;
  HRESULT get_Attributes(std::int32_t* out) override;
  HRESULT put_Attributes(std::int32_t value) override;
  HRESULT get_CollatingOrder(std::int32_t* out) override;
  HRESULT get_OrdinalPosition(std::int16_t* out) override;
  HRESULT get_FieldSize(std::int32_t* out) override;
  HRESULT get_SourceTable(BSTR* out) override;
  HRESULT get_SourceField(BSTR* out) override;
  HRESULT get_ValidationRule(BSTR* out) override;
  HRESULT put_ValidationRule(const BSTR& value) override;
  HRESULT get_ValidationText(BSTR* out) override;
  HRESULT put_ValidationText(const BSTR& value) override;
  HRESULT get_DefaultValue(Variant* out) override;
  HRESULT put_DefaultValue(const Variant& value) override;
  HRESULT get_Required(VARIANT_BOOL* out) override;
  HRESULT put_Required(VARIANT_BOOL value) override;
  HRESULT get_AllowZeroLength(VARIANT_BOOL* out) override;
  HRESULT put_AllowZeroLength(VARIANT_BOOL value) override;
  HRESULT get_DataUpdatable(VARIANT_BOOL* out) override;
  HRESULT get_ForeignName(BSTR* out) override;
  HRESULT put_ForeignName(const BSTR& value) override;
  HRESULT get_Value(Variant* out) override;
  HRESULT put_Value(const Variant& value) override;

 private:
  FieldImpl() = default;
  ~FieldImpl() override;
  ErrorStore* errors() const;
  // Changes the definition: only before append, or the properties a table allows.
  template <class F>
  HRESULT change(F&& edit, bool allowedOnTable);

  Mode mode_ = Mode::Standalone;
  FieldDef def_;
  std::shared_ptr<ErrorStore> errors_;
  std::shared_ptr<DbState> db_;
  std::shared_ptr<TableData> table_;
  RecordsetImpl* rs_ = nullptr;  // holds a reference
  int column_ = -1;
};

// A list of fields: of a new table, index or relation (its own objects), of an
// appended table (the catalogue), or of a recordset.
class FieldsImpl : public ComObject<dao::Fields> {
 public:
  enum class Owner { NewTable, NewIndex, NewRelation, Table, Fixed, Recordset };
  static FieldsImpl* owned(std::shared_ptr<ErrorStore> errors, Owner owner);
  static FieldsImpl* ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table);
  static FieldsImpl* fixed(std::shared_ptr<ErrorStore> errors, std::vector<FieldDef> defs);
  static FieldsImpl* ofRecordset(RecordsetImpl* rs);

  // The definitions of the listed fields.
  std::vector<FieldDef> definitions() const;
  const std::vector<ComPtr<FieldImpl>>& items() const { return items_; }
  // After the owning table was appended.
  void bindToTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table);
  void freeze(std::vector<FieldDef> defs);

  HRESULT get_Count(std::int16_t* out) override;
  HRESULT Refresh() override;
  HRESULT Append(IDispatch* object) override;
  HRESULT Delete(const BSTR& name) override;
  HRESULT get_Item(const Variant& index, dao::_Field** out) override;

 private:
  FieldsImpl() = default;
  ~FieldsImpl() override;
  ErrorStore* errors() const;
  std::size_t count() const;
  std::string nameAt(std::size_t i) const;

  Owner owner_ = Owner::NewTable;
  std::shared_ptr<ErrorStore> errors_;
  std::vector<ComPtr<FieldImpl>> items_;  // owned lists
  std::vector<FieldDef> fixed_;
  std::shared_ptr<DbState> db_;
  std::shared_ptr<TableData> table_;
  RecordsetImpl* rs_ = nullptr;  // holds a reference
};

class IndexFieldsImpl;

class IndexImpl : public ComObject<dao::_Index> {
 public:
  static IndexImpl* standalone(std::shared_ptr<ErrorStore> errors, std::string name);
  static IndexImpl* ofTable(std::shared_ptr<ErrorStore> errors, const IndexDef& def);
  IndexDef definition() const;
  void freeze();
  bool appended() const { return appended_; }

  HRESULT get_Name(BSTR* out) override;
  HRESULT put_Name(const BSTR& value) override;
  HRESULT get_Unique(VARIANT_BOOL* out) override;
  HRESULT put_Unique(VARIANT_BOOL value) override;
  HRESULT get_Primary(VARIANT_BOOL* out) override;
  HRESULT put_Primary(VARIANT_BOOL value) override;
  HRESULT get_Required(VARIANT_BOOL* out) override;
  HRESULT put_Required(VARIANT_BOOL value) override;
  HRESULT get_IgnoreNulls(VARIANT_BOOL* out) override;
  HRESULT put_IgnoreNulls(VARIANT_BOOL value) override;
  HRESULT get_Foreign(VARIANT_BOOL* out) override;
  HRESULT get_Fields(Variant* out) override;
  HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, dao::_Field** out) override;

 private:
  IndexImpl() = default;
  ~IndexImpl() override;
  template <class F>
  HRESULT change(F&& edit);

  IndexDef def_;
  bool appended_ = false;
  std::shared_ptr<ErrorStore> errors_;
  IndexFieldsImpl* fields_ = nullptr;  // holds a reference
};

class IndexFieldsImpl : public ComObject<dao::IndexFields> {
 public:
  explicit IndexFieldsImpl(std::shared_ptr<ErrorStore> errors) : errors_(std::move(errors)) {}
  std::vector<FieldDef> definitions() const;
  void setFixed(std::vector<FieldDef> defs);
  bool fixed() const { return fixed_; }

  HRESULT get_Count(std::int16_t* out) override;
  HRESULT Refresh() override;
  HRESULT Append(IDispatch* object) override;
  HRESULT Delete(const BSTR& name) override;
  HRESULT get_Item(const Variant& index, Variant* out) override;

 private:
  ~IndexFieldsImpl() override = default;
  std::shared_ptr<ErrorStore> errors_;
  std::vector<ComPtr<FieldImpl>> items_;
  bool fixed_ = false;
};

class IndexesImpl : public ComObject<dao::Indexes> {
 public:
  static IndexesImpl* owned(std::shared_ptr<ErrorStore> errors);
  static IndexesImpl* ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table);
  std::vector<IndexDef> definitions() const;
  void bindToTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table);

  HRESULT get_Count(std::int16_t* out) override;
  HRESULT Refresh() override;
  HRESULT Append(IDispatch* object) override;
  HRESULT Delete(const BSTR& name) override;
  HRESULT get_Item(const Variant& index, dao::_Index** out) override;

 private:
  IndexesImpl() = default;
  ~IndexesImpl() override = default;
  ErrorStore* errors() const { return errors_.get(); }

  std::shared_ptr<ErrorStore> errors_;
  std::vector<ComPtr<IndexImpl>> items_;  // before the table is appended
  std::shared_ptr<DbState> db_;
  std::shared_ptr<TableData> table_;
};

class TableDefImpl : public ComObject<dao::_TableDef> {
 public:
  static TableDefImpl* created(std::shared_ptr<DbState> db, TableData data);
  static TableDefImpl* ofTable(std::shared_ptr<DbState> db, std::shared_ptr<TableData> table);
  bool appended() const { return table_ != nullptr; }
  // The definition with its fields and indexes, for appending.
  TableData definition() const;
  void bindToTable(std::shared_ptr<TableData> table);

  HRESULT get_Attributes(std::int32_t* out) override;
  HRESULT put_Attributes(std::int32_t value) override;
  HRESULT get_Name(BSTR* out) override;
  HRESULT put_Name(const BSTR& value) override;
  HRESULT get_Updatable(VARIANT_BOOL* out) override;
  HRESULT get_RecordCount(std::int32_t* out) override;
  HRESULT get_ValidationRule(BSTR* out) override;
  HRESULT put_ValidationRule(const BSTR& value) override;
  HRESULT get_Fields(dao::Fields** out) override;
  HRESULT get_Indexes(dao::Indexes** out) override;
  HRESULT OpenRecordset(const Variant& type, const Variant& options, dao::Recordset** out) override;
  HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, dao::_Field** out) override;
  HRESULT CreateIndex(const Variant& name, dao::_Index** out) override;

 private:
  TableDefImpl() = default;
  ~TableDefImpl() override;
  ErrorStore* errors() const { return db_->errors(); }

  std::shared_ptr<DbState> db_;
  TableData data_;                      // before append
  std::shared_ptr<TableData> table_;    // after append
  FieldsImpl* fields_ = nullptr;        // holds a reference
  IndexesImpl* indexes_ = nullptr;      // holds a reference
};

class TableDefsImpl : public ComObject<dao::TableDefs> {
 public:
  explicit TableDefsImpl(std::shared_ptr<DbState> db) : db_(std::move(db)) {}
  HRESULT get_Count(std::int16_t* out) override;
  HRESULT Refresh() override;
  HRESULT Append(IDispatch* object) override;
  HRESULT Delete(const BSTR& name) override;
  HRESULT get_Item(const Variant& index, dao::_TableDef** out) override;

 private:
  ~TableDefsImpl() override = default;
  std::shared_ptr<DbState> db_;
};

class RelationImpl : public ComObject<dao::Relation> {
 public:
  static RelationImpl* created(std::shared_ptr<DbState> db, RelationData data);
  static RelationImpl* ofCatalogue(std::shared_ptr<DbState> db, std::shared_ptr<RelationData> data);
  RelationData definition() const;
  void markAppended(std::shared_ptr<RelationData> data);

  HRESULT get_Name(BSTR* out) override;
  HRESULT put_Name(const BSTR& value) override;
  HRESULT get_Table(BSTR* out) override;
  HRESULT put_Table(const BSTR& value) override;
  HRESULT get_ForeignTable(BSTR* out) override;
  HRESULT put_ForeignTable(const BSTR& value) override;
  HRESULT get_Attributes(std::int32_t* out) override;
  HRESULT put_Attributes(std::int32_t value) override;
  HRESULT get_Fields(dao::Fields** out) override;
  HRESULT CreateField(const Variant& name, const Variant& type, const Variant& size, dao::_Field** out) override;

 private:
  RelationImpl() = default;
  ~RelationImpl() override;
  template <class F>
  HRESULT change(F&& edit);

  std::shared_ptr<DbState> db_;
  RelationData data_;
  bool appended_ = false;
  FieldsImpl* fields_ = nullptr;  // holds a reference
};

class RelationsImpl : public ComObject<dao::Relations> {
 public:
  explicit RelationsImpl(std::shared_ptr<DbState> db) : db_(std::move(db)) {}
  HRESULT get_Count(std::int16_t* out) override;
  HRESULT Refresh() override;
  HRESULT Append(IDispatch* object) override;
  HRESULT Delete(const BSTR& name) override;
  HRESULT get_Item(const Variant& index, dao::Relation** out) override;

 private:
  ~RelationsImpl() override = default;
  std::shared_ptr<DbState> db_;
};

}  // namespace kh::store
