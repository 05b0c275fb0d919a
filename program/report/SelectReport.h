// The report selection dialog: which accounts (current group or all), which
// layout, one group per page or continuous, the print date and the title.
// OK runs the report into the print preview; the dialog stays open for
// another report. Also the Groups menu's Reports command that opens it.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <memory>

#include "data/DataModule.h"
#include "PasswordReports.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TfrmPrintPreview;

// A group box of radio buttons chosen by index.
class TRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);
  int ItemIndex() const;
  void setItemIndex(int index);
  QRadioButton* Button(int index) const;

 private:
  QButtonGroup* group_;
};

class TfrmSelectReport : public QDialog {
  Q_OBJECT

 public:
  // Loads the settings and centres the dialog on `parent` (the main window).
  explicit TfrmSelectReport(TDM& dm, QWidget* parent = nullptr);
  ~TfrmSelectReport() override;

  TRadioGroup* RGReportType;
  TRadioGroup* RGType;
  QGroupBox* grpOptions;
  QRadioButton* RBOne;
  QRadioButton* RBContinuous;
  QCheckBox* chkDate;
  QLineEdit* txtTitle;
  QPushButton* cmdOK;
  QPushButton* cmdCancel;

  TPasswordReports& Reports() noexcept { return *reports_; }

  // Runs the report (OK, or Enter anywhere in the dialog).
  void cmdOKClick();

 signals:
  // The preview is about to be shown modally (tests close it from here).
  void previewCreated(TfrmPrintPreview* preview);

 private:
  void FormCreate();
  void cmdCancelClick() { reject(); }
  void runReport();
  void saveSettings();

  TDM& dm_;
  std::unique_ptr<TPasswordReports> reports_;
};

// The Groups menu's "Reports..." command: nothing without an open database;
// "No account Information to print!" when the database has no group;
// otherwise the selection dialog, modally.
void ShowReportsDialog(TDM& dm, QWidget* mainWindow);
