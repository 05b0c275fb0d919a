// Data-aware controls and the grid model.
#include "DBControls.h"

#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMetaMethod>
#include <algorithm>

#include "data/DataSetSupport.h"
#include "gui/MessageBox.h"

namespace {

void showError(QWidget* control, const QString& message) {
  MessageBox::Error(control ? control->window() : nullptr, message);
}

// A reporter for `control`: its dataError signal when anyone listens, else a
// message box. (Made inside the control's own members, which may ask whether
// the signal is connected.)
#define KH_DATA_ERROR_REPORTER(Class)                                  \
  [this](const QString& message) {                                     \
    if (isSignalConnected(QMetaMethod::fromSignal(&Class::dataError))) \
      emit dataError(message);                                         \
    else                                                               \
      showError(this, message);                                        \
  }

}  // namespace

// ---- the field link ------------------------------------------------------------------

TFieldDataLink::TFieldDataLink(QWidget* control) : QObject(control) {}

void TFieldDataLink::setDataSource(TDataSource* source) {
  if (source_ == source) return;
  disconnect(dataConnection_);
  disconnect(stateConnection_);
  source_ = source;
  if (source) {
    dataConnection_ = connect(source, &TDataSource::dataChange, this, &TFieldDataLink::onDataChange);
    stateConnection_ = connect(source, &TDataSource::stateChange, this, [this] { onDataChange(nullptr); });
  }
  emit refresh();
}

void TFieldDataLink::setFieldName(const QString& name) {
  fieldName_ = name;
  emit refresh();
}

void TFieldDataLink::onDataChange(TField* field) {
  if (writing_) return;
  if (!field || field->FieldName().compare(fieldName_, Qt::CaseInsensitive) == 0) emit refresh();
}

TField* TFieldDataLink::Field() const {
  TDataSet* ds = source_ ? source_->DataSet() : nullptr;
  if (!ds || !ds->Active() || fieldName_.isEmpty()) return nullptr;
  return ds->FindField(fieldName_);
}

bool TFieldDataLink::CanModify() const {
  const TField* field = Field();
  return field && field->DataSet().CanModify() && !field->ReadOnly();
}

bool TFieldDataLink::Write(const std::function<void(TField&)>& write) {
  TField* field = Field();
  if (!field || !CanModify()) {
    emit refresh();
    return false;
  }
  writing_ = true;
  try {
    TDataSet& ds = field->DataSet();
    if (ds.State() == TDataSetState::dsBrowse) ds.Edit();
    if (TField* f = Field()) write(*f);
    writing_ = false;
    return true;
  } catch (const std::exception& e) {
    writing_ = false;
    Report(QString::fromUtf8(e.what()));
    emit refresh();
    return false;
  }
}

void TFieldDataLink::Report(const QString& message) {
  if (reporter) reporter(message);
}

namespace {

// The field's text, or "" when it cannot be read.
QString fieldText(const TFieldDataLink& link) {
  try {
    if (const TField* f = link.Field()) return f->AsString();
  } catch (const std::exception&) {
  }
  return {};
}

}  // namespace

// ---- edit box ----------------------------------------------------------------------

TDBEdit::TDBEdit(QWidget* parent) : QLineEdit(parent), link_(this) {
  link_.reporter = KH_DATA_ERROR_REPORTER(TDBEdit);
  connect(&link_, &TFieldDataLink::refresh, this, &TDBEdit::showField);
  connect(this, &QLineEdit::textEdited, this, &TDBEdit::onTextEdited);
  showField();
}

void TDBEdit::showField() {
  const TField* f = link_.Field();
  setMaxLength(f && f->DataType() == TFieldType::ftString && f->Size() > 0 ? f->Size() : 32767);
  const QString value = fieldText(link_);
  if (value != text()) {
    const int position = cursorPosition();
    setText(value);
    setCursorPosition(std::min<int>(position, static_cast<int>(value.size())));
  }
  setReadOnly(!link_.CanModify());
}

void TDBEdit::onTextEdited(const QString& text) {
  link_.Write([&](TField& f) { f.setAsString(text); });
}

// ---- memo ----------------------------------------------------------------------------

TDBMemo::TDBMemo(QWidget* parent) : QPlainTextEdit(parent), link_(this) {
  link_.reporter = KH_DATA_ERROR_REPORTER(TDBMemo);
  connect(&link_, &TFieldDataLink::refresh, this, &TDBMemo::showField);
  connect(this, &QPlainTextEdit::textChanged, this, &TDBMemo::onTextChanged);
  showField();
}

void TDBMemo::showField() {
  // Notes keep Windows line breaks; the box shows plain ones.
  QString value = fieldText(link_);
  value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (value != toPlainText()) {
    showing_ = true;
    setPlainText(value);
    showing_ = false;
  }
  setReadOnly(!link_.CanModify());
}

void TDBMemo::onTextChanged() {
  if (showing_) return;
  QString text = toPlainText();
  if (maxLength_ > 0 && text.size() > maxLength_) {
    // Refused like typing past the end of a full edit box: nothing changes.
    QTextCursor cursor = textCursor();
    const int position = cursor.position();
    showField();
    cursor = textCursor();
    cursor.setPosition(std::min<int>(std::max(position - 1, 0), static_cast<int>(toPlainText().size())));
    setTextCursor(cursor);
    return;
  }
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  link_.Write([&](TField& f) { f.setAsString(text); });
}

// ---- check box -------------------------------------------------------------------------

TDBCheckBox::TDBCheckBox(QWidget* parent) : QCheckBox(parent), link_(this) {
  link_.reporter = KH_DATA_ERROR_REPORTER(TDBCheckBox);
  connect(&link_, &TFieldDataLink::refresh, this, &TDBCheckBox::showField);
  connect(this, &QCheckBox::clicked, this, &TDBCheckBox::onClicked);
  showField();
}

void TDBCheckBox::showField() { setChecked(fieldText(link_).compare(valueChecked_, Qt::CaseInsensitive) == 0); }

void TDBCheckBox::onClicked(bool checked) {
  if (!link_.Write([&](TField& f) { f.setAsString(checked ? valueChecked_ : valueUnchecked_); })) showField();
}

// ---- combo box ---------------------------------------------------------------------------

TDBComboBox::TDBComboBox(QWidget* parent) : QComboBox(parent), link_(this) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  link_.reporter = KH_DATA_ERROR_REPORTER(TDBComboBox);
  connect(&link_, &TFieldDataLink::refresh, this, &TDBComboBox::showField);
  connect(lineEdit(), &QLineEdit::textEdited, this, &TDBComboBox::onTextEdited);
  connect(this, &QComboBox::textActivated, this, &TDBComboBox::onTextEdited);
  showField();
}

void TDBComboBox::showField() {
  const QString value = fieldText(link_);
  if (value != currentText()) {
    showing_ = true;
    setEditText(value);
    showing_ = false;
  }
  lineEdit()->setReadOnly(!link_.CanModify());
}

void TDBComboBox::onTextEdited(const QString& text) {
  if (showing_) return;
  link_.Write([&](TField& f) { f.setAsString(text); });
}

// ---- date box ------------------------------------------------------------------------------

TDBDateEdit::TDBDateEdit(QWidget* parent) : QDateEdit(parent), link_(this) {
  setMinimumDate(QDate(100, 1, 1));  // shown blank: no date
  setSpecialValueText(QStringLiteral(" "));
  setCalendarPopup(true);
  link_.reporter = KH_DATA_ERROR_REPORTER(TDBDateEdit);
  connect(&link_, &TFieldDataLink::refresh, this, &TDBDateEdit::showField);
  connect(this, &QDateEdit::dateChanged, this, &TDBDateEdit::onDateChanged);
  showField();
}

void TDBDateEdit::showField() {
  QDate value;
  try {
    if (const TField* f = link_.Field(); f && !f->IsNull()) value = f->AsDateTime().date();
  } catch (const std::exception&) {
  }
  showing_ = true;
  setDate(value.isValid() ? value : minimumDate());
  showing_ = false;
  setReadOnly(!link_.CanModify());
}

void TDBDateEdit::setNull() { setDate(minimumDate()); }

void TDBDateEdit::onDateChanged(const QDate& date) {
  if (showing_) return;
  const bool none = date == minimumDate();
  link_.Write([&](TField& f) {
    if (none) {
      f.Clear();
      return;
    }
    // The time of day already held stays.
    const QTime time = f.IsNull() ? QTime(0, 0) : f.AsDateTime().time();
    f.setAsDateTime(QDateTime(date, time));
  });
}

void TDBDateEdit::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && !isReadOnly() &&
      lineEdit()->selectedText() == lineEdit()->text()) {
    setNull();
    event->accept();
    return;
  }
  QDateEdit::keyPressEvent(event);
}

// ---- lookup combo box --------------------------------------------------------------------------

TDBLookupComboBox::TDBLookupComboBox(QWidget* parent) : QComboBox(parent), link_(this) {
  link_.reporter = KH_DATA_ERROR_REPORTER(TDBLookupComboBox);
  connect(&link_, &TFieldDataLink::refresh, this, &TDBLookupComboBox::showField);
  connect(this, &QComboBox::activated, this, &TDBLookupComboBox::onActivated);
}

void TDBLookupComboBox::setListSource(TDataSource* source) {
  disconnect(listConnection_);
  listSource_ = source;
  if (source)
    listConnection_ = connect(source, &TDataSource::dataEvent, this, [this](TDataEvent event, TField*) {
      if (event != TDataEvent::deScroll && event != TDataEvent::deFieldChange) reloadList();
    });
  reloadList();
}

void TDBLookupComboBox::setKeyField(const QString& name) {
  keyField_ = name;
  reloadList();
}

void TDBLookupComboBox::setListField(const QString& name) {
  listField_ = name;
  reloadList();
}

void TDBLookupComboBox::reloadList() {
  showing_ = true;
  clear();
  TDataSet* ds = listSource_ ? listSource_->DataSet() : nullptr;
  try {
    if (ds && ds->Active() && ds->State() == TDataSetState::dsBrowse) {
      const TField* key = ds->FindField(keyField_.isEmpty() ? listField_ : keyField_);
      const TField* shown = ds->FindField(listField_.isEmpty() ? keyField_ : listField_);
      if (key && shown) {
        const int count = ds->RecordCount();
        for (int row = 0; row < count; ++row) {
          addItem(ds->DisplayTextAt(row, *shown), keyhaven::data::variantText(*key, ds->ValueAt(row, *key)));
        }
      }
    }
  } catch (const std::exception& e) {
    showing_ = false;
    link_.Report(QString::fromUtf8(e.what()));
  }
  showing_ = false;
  showField();
}

QString TDBLookupComboBox::KeyValue() const { return currentIndex() < 0 ? QString() : currentData().toString(); }

void TDBLookupComboBox::setKeyValue(const QString& key) {
  showing_ = true;
  setCurrentIndex(key.isEmpty() ? -1 : findData(key));
  showing_ = false;
}

void TDBLookupComboBox::showField() {
  setKeyValue(fieldText(link_));
  setEnabled(link_.CanModify() || link_.Field() != nullptr);
}

void TDBLookupComboBox::onActivated(int index) {
  if (showing_ || index < 0) return;
  const QString key = itemData(index).toString();
  if (!link_.Write([&](TField& f) { f.setAsString(key); })) showField();
}

// ---- grid model ----------------------------------------------------------------------------------

TDBGridModel::TDBGridModel(TDataSource* source, const QStringList& columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(columns) {
  setDataSource(source);
}

void TDBGridModel::setDataSource(TDataSource* source) {
  disconnect(connection_);
  source_ = source;
  if (source) connection_ = connect(source, &TDataSource::dataEvent, this, &TDBGridModel::onDataEvent);
  reset();
}

void TDBGridModel::setColumns(const QStringList& columns) {
  columns_ = columns;
  reset();
}

QStringList TDBGridModel::shownColumns() const {
  if (!columns_.isEmpty()) return columns_;
  QStringList names;
  if (TDataSet* ds = source_ ? source_->DataSet() : nullptr)
    for (const auto& f : ds->Fields()) names << f->FieldName();
  return names;
}

void TDBGridModel::reset() {
  beginResetModel();
  TDataSet* ds = source_ ? source_->DataSet() : nullptr;
  rows_ = 0;
  try {
    if (ds && ds->Active()) rows_ = ds->RecordCount();
  } catch (const std::exception&) {
  }
  shown_ = shownColumns();
  endResetModel();
  emit currentRowChanged(ds && ds->Active() ? ds->RecNo() : -1);
}

TField* TDBGridModel::FieldAt(int column) const {
  TDataSet* ds = source_ ? source_->DataSet() : nullptr;
  if (!ds || !ds->Active() || column < 0 || column >= shown_.size()) return nullptr;
  return ds->FindField(shown_[column]);
}

int TDBGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TDBGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  TField* field = FieldAt(index.column());
  if (!field) return {};
  try {
    return field->DataSet().DisplayTextAt(index.row(), *field);
  } catch (const std::exception&) {
    return {};
  }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= shown_.size()) return {};
  return shown_[section];
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TDBGridModel::onDataEvent(TDataEvent event, TField*) {
  TDataSet* ds = source_ ? source_->DataSet() : nullptr;
  switch (event) {
    case TDataEvent::deDataSetChange:
    case TDataEvent::deUpdateState:
      reset();
      break;
    case TDataEvent::deScroll:
      emit currentRowChanged(ds ? ds->RecNo() : -1);
      break;
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
      if (ds && ds->RecNo() >= 0 && ds->RecNo() < rows_ && !shown_.isEmpty())
        emit dataChanged(index(ds->RecNo(), 0), index(ds->RecNo(), static_cast<int>(shown_.size()) - 1));
      break;
  }
}

// ---- grid ------------------------------------------------------------------------------------------

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), model_(new TDBGridModel(nullptr, {}, this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(model_, &TDBGridModel::currentRowChanged, this, &TDBGrid::followDataSet);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { onCurrentChanged(current); });
}

void TDBGrid::setDataSource(TDataSource* source, const QStringList& columns) {
  model_->setColumns(columns);
  model_->setDataSource(source);
}

void TDBGrid::followDataSet(int row) {
  following_ = true;
  if (row < 0 || row >= model_->rowCount()) {
    setCurrentIndex(QModelIndex());
  } else {
    const int column = std::max(currentIndex().column(), 0);
    setCurrentIndex(model_->index(row, column));
    scrollTo(currentIndex());
  }
  following_ = false;
}

void TDBGrid::onCurrentChanged(const QModelIndex& current) {
  if (following_ || !current.isValid()) return;
  TDataSet* ds = model_->DataSource() ? model_->DataSource()->DataSet() : nullptr;
  if (!ds || !ds->Active() || ds->RecNo() == current.row()) return;
  try {
    ds->setRecNo(current.row());
  } catch (const std::exception& e) {
    const QString message = QString::fromUtf8(e.what());
    if (isSignalConnected(QMetaMethod::fromSignal(&TDBGrid::dataError)))
      emit dataError(message);
    else
      showError(this, message);
    followDataSet(ds->RecNo());
  }
}
