// An SQL statement with :name parameters, live or read-only.
#pragma once

#include <QPointer>
#include <QString>
#include <QVariant>
#include <vector>

#include "../../engine/include/kbe/kbe.h"
#include "DataSet.h"
#include "DataSource.h"
#include "Param.h"

class TQuery : public TDataSet {
 public:
  explicit TQuery(TDatabase* database = nullptr);
  ~TQuery() override;

  // Setting the text closes the query and makes its parameter list anew
  // (values of parameters of the same name are kept).
  const QString& SQL() const noexcept { return sql_; }
  void setSQL(const QString& sql);
  // The text the engine receives: each :name outside quoted text and
  // comments replaced by '?' ("::" stands for a colon).
  const QString& EngineSQL() const noexcept { return engineSql_; }

  // One parameter per distinct name (case-insensitive), in order of first use.
  std::vector<TParam>& Params() noexcept { return params_; }
  TParam& ParamByName(const QString& name);
  TParam* FindParam(const QString& name);

  // Asks for a live (editable) result; otherwise the result is read-only.
  bool RequestLive() const noexcept { return requestLive_; }
  void setRequestLive(bool live);

  // Master-detail: while the query is open, whenever the source's current
  // record changes the query runs again, each parameter that is not bound
  // taking the value of the master's field of the same name.
  TDataSource* DataSource() const noexcept { return master_; }
  void setDataSource(TDataSource* master);

  // Runs a statement without a result (an action query).
  void ExecSQL();
  int RowsAffected() const noexcept { return rowsAffected_; }

  void Refresh() override;

 protected:
  kbe::hDBICur OpenCursor() override;
  void ReleaseStatement() noexcept override;

 private:
  friend class TDataSource;
  void prepare();
  void bindParams();
  // Parameter values from the master; true when they differ from the last run.
  bool takeMasterValues();
  void masterChanged(TDataEvent event);

  QString sql_;
  QString engineSql_;
  std::vector<TParam> params_;
  std::vector<int> markers_;  // parameter index of each '?' in order
  bool requestLive_ = false;
  QPointer<TDataSource> master_;
  kbe::hDBIStmt statement_ = nullptr;
  QVariantList lastMasterValues_;
  int lastMasterRun_ = -1;
  int rowsAffected_ = 0;
};
