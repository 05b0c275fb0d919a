// Databases, stored and temporary query definitions, and query parameters.
#pragma once

#include "schema.h"
#include "sqlbridge.h"

namespace kh::store {

class TableDefsImpl;
class RelationsImpl;
class QueryDefsImpl;

class DatabaseImpl : public ComObject<dao::Database> {
 public:
  DatabaseImpl(std::shared_ptr<DbState> db, std::string name, std::string connect);
  const std::shared_ptr<DbState>& state() const { return db_; }
  ErrorStore* errors() const { return db_->errors(); }

  HRESULT get_Name(BSTR* out) override;
  HRESULT get_Connect(BSTR* out) override;
  HRESULT get_Transactions(VARIANT_BOOL* out) override;
  HRESULT get_Updatable(VARIANT_BOOL* out) override;
  HRESULT get_RecordsAffected(std::int32_t* out) override;
  HRESULT get_TableDefs(dao::TableDefs** out) override;
  HRESULT get_QueryDefs(dao::QueryDefs** out) override;
  HRESULT get_Relations(dao::Relations** out) override;
  HRESULT Execute(const BSTR& sql, const Variant& options) override;
  HRESULT CreateTableDef(const Variant& name, const Variant& attributes, const Variant& sourceTable,
                         const Variant& connect, dao::_TableDef** out) override;
  HRESULT CreateQueryDef(const Variant& name, const Variant& sql, dao::_QueryDef** out) override;
  HRESULT CreateRelation(const Variant& name, const Variant& table, const Variant& foreignTable,
                         const Variant& attributes, dao::Relation** out) override;
  HRESULT BeginTrans() override;
  HRESULT CommitTrans(std::int32_t options) override;
  HRESULT Rollback() override;
  HRESULT NewPassword(const BSTR& oldPassword, const BSTR& newPassword) override;
  HRESULT OpenRecordset(const BSTR& name, const Variant& type, const Variant& options, const Variant& lockEdit,
                        dao::Recordset** out) override;
  HRESULT Close() override;

 private:
  ~DatabaseImpl() override;

  std::shared_ptr<DbState> db_;
  std::string name_;
  std::string connect_;
  std::int32_t recordsAffected_ = 0;
  TableDefsImpl* tableDefs_ = nullptr;   // cached, holds a reference
  RelationsImpl* relations_ = nullptr;   // cached, holds a reference
  QueryDefsImpl* queryDefs_ = nullptr;   // cached, holds a reference
};

// Opens a recordset on a table, a stored query or an SQL statement.
dao::Recordset* openRecordsetOn(const std::shared_ptr<DbState>& db, dao::Database* parent, const std::string& source,
                                std::int16_t type, std::int32_t options, std::int32_t lockEdit,
                                const std::vector<Variant>& parameterValues);

class ParametersImpl;

class QueryDefImpl : public ComObject<dao::_QueryDef> {
 public:
  QueryDefImpl(std::shared_ptr<DbState> db, dao::Database* parent, std::string name, std::string sql, bool stored);
  ErrorStore* errors() const { return db_->errors(); }
  bool stored() const { return stored_; }
  const std::string& name() const { return name_; }
  const std::string& sql() const { return sql_; }
  void markStored() { stored_ = true; }

  HRESULT get_Name(BSTR* out) override;
  HRESULT put_Name(const BSTR& value) override;
  HRESULT get_SQL(BSTR* out) override;
  HRESULT put_SQL(const BSTR& value) override;
  HRESULT get_Type(std::int16_t* out) override;
  HRESULT get_Updatable(VARIANT_BOOL* out) override;
  HRESULT get_ReturnsRecords(VARIANT_BOOL* out) override;
  HRESULT get_RecordsAffected(std::int32_t* out) override;
  HRESULT get_Parameters(dao::Parameters** out) override;
  HRESULT get_Fields(dao::Fields** out) override;
  HRESULT Execute(const Variant& options) override;
  HRESULT OpenRecordset(const Variant& type, const Variant& options, const Variant& lockEdit,
                        dao::Recordset** out) override;
  HRESULT Close() override;

 private:
  ~QueryDefImpl() override;
  void prepare();  // translates the SQL once per change
  // The values in marker order. To run the statement every parameter needs a
  // value: `toRun` fails with "Too few parameters" while any was never given one.
  std::vector<Variant> parameterValues(bool toRun = true) const;

  std::shared_ptr<DbState> db_;
  ComPtr<dao::Database> parent_;
  std::string name_;
  std::string sql_;
  bool stored_ = false;
  bool closed_ = false;
  std::int32_t recordsAffected_ = 0;
  std::optional<PreparedJet> prepared_;
  std::uint64_t preparedSchema_ = 0;
  ParametersImpl* parameters_ = nullptr;  // holds a reference
};

class QueryDefsImpl : public ComObject<dao::QueryDefs> {
 public:
  explicit QueryDefsImpl(std::shared_ptr<DbState> db) : db_(std::move(db)) {}
  HRESULT get_Count(std::int16_t* out) override;
  HRESULT Refresh() override;
  HRESULT Append(IDispatch* object) override;
  HRESULT Delete(const BSTR& name) override;
  HRESULT get_Item(const Variant& index, dao::_QueryDef** out) override;

 private:
  ~QueryDefsImpl() override = default;
  std::shared_ptr<DbState> db_;
};

struct ParameterValue {
  ParameterInfo info;
  Variant value;
  bool given = false;  // a value was assigned (Null counts)
};

class ParameterImpl : public ComObject<dao::Parameter> {
 public:
  ParameterImpl(std::shared_ptr<ErrorStore> errors, std::shared_ptr<std::vector<ParameterValue>> list, std::size_t i)
      : errors_(std::move(errors)), list_(std::move(list)), index_(i) {}
  HRESULT get_Name(BSTR* out) override;
  HRESULT get_Type(std::int16_t* out) override;
  HRESULT put_Type(std::int16_t value) override;
  HRESULT get_Value(Variant* out) override;
  HRESULT put_Value(const Variant& value) override;

 private:
  ~ParameterImpl() override = default;
  std::shared_ptr<ErrorStore> errors_;
  std::shared_ptr<std::vector<ParameterValue>> list_;
  std::size_t index_;
};

class ParametersImpl : public ComObject<dao::Parameters> {
 public:
  explicit ParametersImpl(std::shared_ptr<ErrorStore> errors)
      : errors_(std::move(errors)), list_(std::make_shared<std::vector<ParameterValue>>()) {}
  // Keeps the values of parameters whose names stay.
  void reset(const std::vector<ParameterInfo>& infos);
  const std::vector<ParameterValue>& values() const { return *list_; }
  // The number of parameters that were never given a value.
  std::size_t missing() const;

  HRESULT get_Count(std::int16_t* out) override;
  HRESULT Refresh() override;
  HRESULT get_Item(const Variant& index, dao::Parameter** out) override;

 private:
  ~ParametersImpl() override = default;
  std::shared_ptr<ErrorStore> errors_;
  std::shared_ptr<std::vector<ParameterValue>> list_;
};

}  // namespace kh::store
