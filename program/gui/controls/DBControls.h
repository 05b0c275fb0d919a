// Data-aware controls: Qt widgets that show a field of a data source's
// current record and write what the user enters back into it.
//
// Each field control follows its data source: it shows the field's value
// whenever the current record, the field or the state changes; it is read-only
// while the data set is closed or cannot be changed; the user's first change
// puts the data set into edit state (or insert state when it is empty) and
// writes the field at once. Posting is left to the caller (or to the data
// set's next move). A value the field refuses (a character outside
// Windows-1252, say) is reported through the control's dataError signal and
// the control shows the field's value again; with nobody connected to
// dataError, the message appears in an error message box.
//
// TDBGridModel is a read-only table model over a data source's records, for a
// QTableView (TDBGrid keeps the view's current row and the data set's current
// record together).
#pragma once

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTableView>
#include <functional>

#include "data/DataAccess.h"

// The link between one control and one field of a data source.
class TFieldDataLink : public QObject {
  Q_OBJECT

 public:
  explicit TFieldDataLink(QWidget* control);

  TDataSource* DataSource() const noexcept { return source_; }
  void setDataSource(TDataSource* source);
  const QString& FieldName() const noexcept { return fieldName_; }
  void setFieldName(const QString& name);

  // The field, when the data set is open and has one of that name.
  TField* Field() const;
  // Whether the user may change the field now.
  bool CanModify() const;
  // Where Report sends a refusal (the control's dataError signal, or a
  // message box).
  std::function<void(const QString&)> reporter;
  // Puts the data set into edit state (when it is browsing) and writes the
  // value with `write`; a refusal is reported and answers false.
  bool Write(const std::function<void(TField&)>& write);
  // True while Write runs (the control then ignores its own echo).
  bool Writing() const noexcept { return writing_; }
  void Report(const QString& message);

 signals:
  // The control should show the field's value again.
  void refresh();

 private:
  void onDataChange(TField* field);

  QPointer<TDataSource> source_;
  QString fieldName_;
  bool writing_ = false;
  QMetaObject::Connection dataConnection_, stateConnection_;
};

class TDBEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TDBEdit(QWidget* parent = nullptr);
  void setDataSource(TDataSource* source) { link_.setDataSource(source); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  TFieldDataLink& DataLink() noexcept { return link_; }

 signals:
  void dataError(const QString& message);

 private:
  void showField();
  void onTextEdited(const QString& text);
  TFieldDataLink link_;
};

class TDBMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TDBMemo(QWidget* parent = nullptr);
  void setDataSource(TDataSource* source) { link_.setDataSource(source); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  // At most this many characters (0: no limit); longer input is refused.
  void setMaxLength(int length) { maxLength_ = length; }
  TFieldDataLink& DataLink() noexcept { return link_; }

 signals:
  void dataError(const QString& message);

 private:
  void showField();
  void onTextChanged();
  TFieldDataLink link_;
  int maxLength_ = 0;
  bool showing_ = false;
};

// Checked when the field's text equals ValueChecked ("True"), ignoring case;
// writes ValueChecked or ValueUnchecked ("False") as the field's text.
class TDBCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit TDBCheckBox(QWidget* parent = nullptr);
  void setDataSource(TDataSource* source) { link_.setDataSource(source); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  void setValueChecked(const QString& value) { valueChecked_ = value; }
  void setValueUnchecked(const QString& value) { valueUnchecked_ = value; }
  TFieldDataLink& DataLink() noexcept { return link_; }

 signals:
  void dataError(const QString& message);

 private:
  void showField();
  void onClicked(bool checked);
  TFieldDataLink link_;
  QString valueChecked_ = QStringLiteral("True");
  QString valueUnchecked_ = QStringLiteral("False");
};

// An editable combo box whose text is the field's; the items are choices.
class TDBComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TDBComboBox(QWidget* parent = nullptr);
  void setDataSource(TDataSource* source) { link_.setDataSource(source); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  TFieldDataLink& DataLink() noexcept { return link_; }

 signals:
  void dataError(const QString& message);

 private:
  void showField();
  void onTextEdited(const QString& text);
  TFieldDataLink link_;
  bool showing_ = false;
};

// A date box that can be empty: a null field shows no date (the box rests on
// its minimum date, shown blank). Delete or Backspace with the whole text
// selected makes the field null.
class TDBDateEdit : public QDateEdit {
  Q_OBJECT

 public:
  explicit TDBDateEdit(QWidget* parent = nullptr);
  void setDataSource(TDataSource* source) { link_.setDataSource(source); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  bool isNull() const { return date() == minimumDate(); }
  // Sets the box (and the field) to no date.
  void setNull();
  TFieldDataLink& DataLink() noexcept { return link_; }

 signals:
  void dataError(const QString& message);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void showField();
  void onDateChanged(const QDate& date);
  TFieldDataLink link_;
  bool showing_ = false;
};

// A drop-down list of the ListField values of ListSource's records; choosing
// one writes its KeyField value into the data field. Shows the item whose
// key equals the data field (none when there is no such record).
class TDBLookupComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TDBLookupComboBox(QWidget* parent = nullptr);
  void setDataSource(TDataSource* source) { link_.setDataSource(source); }
  void setDataField(const QString& name) { link_.setFieldName(name); }
  void setListSource(TDataSource* source);
  void setKeyField(const QString& name);
  void setListField(const QString& name);
  // The key value shown ("" for none). Setting it only changes what is shown.
  QString KeyValue() const;
  void setKeyValue(const QString& key);
  TFieldDataLink& DataLink() noexcept { return link_; }

 signals:
  void dataError(const QString& message);

 private:
  void reloadList();
  void showField();
  void onActivated(int index);
  TFieldDataLink link_;
  QPointer<TDataSource> listSource_;
  QMetaObject::Connection listConnection_;
  QString keyField_, listField_;
  bool showing_ = false;
};

// ---- grid ----------------------------------------------------------------------

class TDBGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // `columns`: the field names shown, in order (empty: every field).
  explicit TDBGridModel(TDataSource* source = nullptr, const QStringList& columns = {}, QObject* parent = nullptr);

  void setDataSource(TDataSource* source);
  TDataSource* DataSource() const noexcept { return source_; }
  void setColumns(const QStringList& columns);
  TField* FieldAt(int column) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // The data set's current record (row from 0, -1 for none).
  void currentRowChanged(int row);

 private:
  void onDataEvent(TDataEvent event, TField* field);
  void reset();
  QStringList shownColumns() const;

  QPointer<TDataSource> source_;
  QMetaObject::Connection connection_;
  QStringList columns_;
  QStringList shown_;
  int rows_ = 0;
};

class TDBGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TDBGrid(QWidget* parent = nullptr);
  void setDataSource(TDataSource* source, const QStringList& columns = {});
  TDBGridModel* GridModel() noexcept { return model_; }

 signals:
  void dataError(const QString& message);

 private:
  void followDataSet(int row);
  void onCurrentChanged(const QModelIndex& current);
  TDBGridModel* model_;
  bool following_ = false;
};
