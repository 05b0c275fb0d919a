// Data sources: notifications to controls and detail queries.
#include "DataSource.h"

#include "Query.h"
#include <algorithm>
#include <cstring>

#include "DataSetSupport.h"
#include "binding/Bde.h"
#include "platform/ansi.h"

using namespace keyhaven::data;

// ---- data sources ------------------------------------------------------------------

TDataSource::TDataSource(QObject* parent) : QObject(parent) {}

TDataSource::TDataSource(TDataSet* dataSet, QObject* parent) : QObject(parent) { setDataSet(dataSet); }

TDataSource::~TDataSource() {
  if (dataSet_) dataSet_->removeSource(this);
  for (TQuery* detail : details_) {
    detail->master_ = nullptr;
    detail->lastMasterValues_.clear();
  }
}

void TDataSource::setDataSet(TDataSet* dataSet) {
  if (dataSet == dataSet_) return;
  for (TQuery* detail : details_)
    if (detail == dataSet) throw EDatabaseError(QStringLiteral("A data set cannot be its own master"));
  if (dataSet_) dataSet_->removeSource(this);
  dataSet_ = dataSet;
  if (dataSet_) dataSet_->addSource(this);
  lastState_ = State();
  emit stateChange();
  emit dataChange(nullptr);
}

TDataSetState TDataSource::State() const noexcept { return dataSet_ ? dataSet_->State() : TDataSetState::dsInactive; }

void TDataSource::dispatch(TDataEvent event, TField* field) {
  // Detail data sets follow first, so that listeners see them up to date.
  const std::vector<TQuery*> details = details_;
  for (TQuery* detail : details)
    if (std::find(details_.begin(), details_.end(), detail) != details_.end()) detail->masterChanged(event);
  emit dataEvent(event, field);
  const TDataSetState state = State();
  if (event == TDataEvent::deUpdateState || state != lastState_) {
    lastState_ = state;
    emit stateChange();
  }
  emit dataChange(event == TDataEvent::deFieldChange ? field : nullptr);
}

