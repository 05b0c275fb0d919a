// The notifications of a data set to controls and detail data sets.
#pragma once

#include <QObject>
#include <vector>

#include "DataSet.h"

class TQuery;

class TDataSource : public QObject {
  Q_OBJECT

 public:
  explicit TDataSource(QObject* parent = nullptr);
  explicit TDataSource(TDataSet* dataSet, QObject* parent = nullptr);
  ~TDataSource() override;

  TDataSet* DataSet() const noexcept { return dataSet_; }
  void setDataSet(TDataSet* dataSet);
  TDataSetState State() const noexcept;

 signals:
  // The current record changed (field null), a field of it changed (field
  // set), or the state changed (field null).
  void dataChange(TField* field);
  void stateChange();
  // Every notification as it came, for controls that tell them apart.
  void dataEvent(TDataEvent event, TField* field);

 private:
  friend class TDataSet;
  friend class TQuery;
  void dispatch(TDataEvent event, TField* field);

  TDataSet* dataSet_ = nullptr;
  TDataSetState lastState_ = TDataSetState::dsInactive;
  std::vector<TQuery*> details_;
};
