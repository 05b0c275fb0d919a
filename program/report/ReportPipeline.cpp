// Report pipeline over a data set.
#include "ReportPipeline.h"

TDataSet* TppDBPipeline::dataSet() const {
  TDataSet* set = source_ ? source_->DataSet() : nullptr;
  return set && set->Active() ? set : nullptr;
}

bool TppDBPipeline::First() {
  TDataSet* set = dataSet();
  if (!set) return false;
  set->First();
  return !set->Eof();
}

bool TppDBPipeline::Next() {
  TDataSet* set = dataSet();
  if (!set) return false;
  set->Next();
  return !set->Eof();
}

QVariant TppDBPipeline::Value(const QString& fieldName) const {
  TDataSet* set = dataSet();
  TField* field = set ? set->FindField(fieldName) : nullptr;
  return field ? field->AsVariant() : QVariant();
}
