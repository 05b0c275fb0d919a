// The report selection dialog.
#include "SelectReport.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <stdexcept>

#include "PrintPreview.h"
#include "ReportMessages.h"
#include "ReportSettings.h"

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    group_->addButton(button, i);
    layout->addWidget(button);
  }
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::setItemIndex(int index) {
  if (QAbstractButton* b = group_->button(index)) b->setChecked(true);
}

QRadioButton* TRadioGroup::Button(int index) const { return static_cast<QRadioButton*>(group_->button(index)); }

TfrmSelectReport::TfrmSelectReport(TDM& dm, QWidget* parent)
    : QDialog(parent), dm_(dm), reports_(std::make_unique<TPasswordReports>(dm)) {
  setObjectName(QStringLiteral("frmSelectReport"));
  setWindowTitle(QStringLiteral("Select Report"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

  RGReportType = new TRadioGroup(QStringLiteral(" Print: "), {QStringLiteral("Current Group"), QStringLiteral("All Groups")}, this);
  RGType = new TRadioGroup(QStringLiteral(" Report Type "), {QStringLiteral("Full Report"), QStringLiteral("Concise")}, this);
  grpOptions = new QGroupBox(QStringLiteral(" Options "), this);
  RBOne = new QRadioButton(QStringLiteral("One Group per page"), grpOptions);
  RBContinuous = new QRadioButton(QStringLiteral("Continuous Report"), grpOptions);
  auto* optionsLayout = new QVBoxLayout(grpOptions);
  optionsLayout->addWidget(RBOne);
  optionsLayout->addWidget(RBContinuous);
  chkDate = new QCheckBox(QStringLiteral("Print Date"), this);
  txtTitle = new QLineEdit(this);
  auto* titleLabel = new QLabel(QStringLiteral("Report Title"), this);
  titleLabel->setBuddy(txtTitle);
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
  cmdOK->setDefault(true);
  cmdCancel->setAutoDefault(false);

  // Form defaults, replaced by the settings.
  RGReportType->setItemIndex(0);
  RGType->setItemIndex(0);
  RBOne->setChecked(true);
  chkDate->setChecked(true);

  auto* grid = new QGridLayout;
  grid->addWidget(RGReportType, 0, 0);
  grid->addWidget(RGType, 0, 1);
  grid->addWidget(grpOptions, 1, 0);
  grid->addWidget(chkDate, 1, 1, Qt::AlignLeft | Qt::AlignVCenter);
  auto* titleRow = new QHBoxLayout;
  titleRow->addWidget(titleLabel);
  titleRow->addWidget(txtTitle, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(titleRow);
  layout->addLayout(buttons);

  connect(cmdOK, &QPushButton::clicked, this, &TfrmSelectReport::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &TfrmSelectReport::cmdCancelClick);

  FormCreate();
}

TfrmSelectReport::~TfrmSelectReport() = default;

void TfrmSelectReport::FormCreate() {
  const TPrintOptions o = LoadPrintOptions();
  txtTitle->setText(o.title);
  chkDate->setChecked(o.date);
  (o.one ? RBOne : RBContinuous)->setChecked(true);
  RGReportType->setItemIndex(o.type);
  RGType->setItemIndex(o.concise);

  adjustSize();
  setFixedSize(size());
  if (QWidget* main = parentWidget()) {
    const QRect m = main->window()->geometry();
    move(m.left() + m.width() / 2 - width() / 2, m.top() + m.height() / 2 - height() / 2);
  }
}

void TfrmSelectReport::cmdOKClick() {
  try {
    runReport();
  } catch (const std::exception& e) {
    ReportMessage(this, TReportMessageKind::Error, QString::fromUtf8(e.what()));
  }
}

void TfrmSelectReport::runReport() {
  const bool currentGroup = RGReportType->ItemIndex() != 1;
  if (currentGroup && dm_.qryPasswords.IsEmpty()) {
    ReportMessage(this, TReportMessageKind::Plain,
                  QStringLiteral("No Accounts to Print in \"%1\" !")
                      .arg(dm_.qryGroups.FieldByName(QStringLiteral("Name")).AsString()));
    return;
  }
  TQuery& query = dm_.qryRptPasswords;
  query.Close();
  query.setSQL(currentGroup
                   ? TPasswordReports::CurrentGroupSQL(dm_.qryGroups.FieldByName(QStringLiteral("GroupID")).AsInteger())
                   : TPasswordReports::AllGroupsSQL());
  query.Open();
  if (query.IsEmpty()) {
    query.Close();
    ReportMessage(this, TReportMessageKind::Plain, QStringLiteral("No accounts to print!"));
    return;
  }

  TfrmPrintPreview preview(this);
  TppReport& layout = RGType->ItemIndex() == 1 ? reports_->ppRptConcise : reports_->ppRptPasswords;
  reports_->Choices = {chkDate->isChecked(), txtTitle->text(), RBOne->isChecked()};
  layout.printerSetup.documentName = QStringLiteral("Passwords");
  TppDocument pages = ProduceReport(layout);
  query.Close();
  preview.ppViewer1->setDocument(std::move(pages));
  emit previewCreated(&preview);
  preview.exec();
  saveSettings();
}

void TfrmSelectReport::saveSettings() {
  TPrintOptions o;
  o.title = txtTitle->text();
  o.date = chkDate->isChecked();
  o.one = RBOne->isChecked();
  o.type = RGReportType->ItemIndex();
  o.concise = RGType->ItemIndex();
  SavePrintOptions(o);
}

void ShowReportsDialog(TDM& dm, QWidget* mainWindow) {
  if (!dm.DB.Connected() || !dm.qryGroups.Active()) return;
  if (dm.qryGroups.IsEmpty()) {
    ReportMessage(mainWindow, TReportMessageKind::Plain, QStringLiteral("No account Information to print!"));
    return;
  }
  TfrmSelectReport dialog(dm, mainWindow);
  dialog.exec();
}
