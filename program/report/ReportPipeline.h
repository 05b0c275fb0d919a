// The data pipeline of the report layouts: walks a data set (through its
// data source) from its first record to its last.
#pragma once

#include "data/DataAccess.h"
#include "ReportDefinition.h"

class TppDBPipeline : public TppDataPipeline {
 public:
  explicit TppDBPipeline(TDataSource* source = nullptr) : source_(source) {}

  TDataSource* DataSource() const noexcept { return source_; }
  void setDataSource(TDataSource* source) noexcept { source_ = source; }

  bool First() override;
  bool Next() override;
  // Raw field values (date-times as QDateTime); an unknown field reads null.
  QVariant Value(const QString& fieldName) const override;

 private:
  TDataSet* dataSet() const;
  TDataSource* source_;
};
