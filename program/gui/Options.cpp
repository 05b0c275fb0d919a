// The options dialog: four pages over the settings file and the Options row.
#include "Options.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "MessageBox.h"
#include "controls/BackgroundPanel.h"
#include "controls/DBControls.h"
#include "data/DataModule.h"
#include "data/Settings.h"

namespace {

const QString kOptions = QStringLiteral("Options");
const QString kSoundOptions = QStringLiteral("SoundOptions");
const QString kExpireOptions = QStringLiteral("ExpireOptions");

constexpr int kShowAlways = 0;
constexpr int kShowOnMouse = 1;
constexpr int kShowWhenEditing = 2;

QString errorText(const std::exception& e) { return QString::fromUtf8(e.what()); }

// A page whose controls stack from the top with the usual margins.
QWidget* page(QTabWidget* pages, const QString& title, QVBoxLayout*& layout) {
  auto* w = new QWidget(pages);
  layout = new QVBoxLayout(w);
  layout->setContentsMargins(14, 14, 14, 14);
  layout->setSpacing(10);
  pages->addTab(w, title);
  return w;
}

template <class Widget>
Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QCheckBox* addCheck(QVBoxLayout* layout, const char* name, const QString& text) {
  auto* box = named(new QCheckBox(text), name);
  layout->addWidget(box);
  return box;
}

// A check box over a Boolean field of the Options row ("True"/"False").
TDBCheckBox* addBoundCheck(QVBoxLayout* layout, const char* name, const QString& text, TDataSource* source,
                           const QString& field) {
  auto* box = named(new TDBCheckBox, name);
  box->setText(text);
  box->setDataSource(source);
  box->setDataField(field);
  layout->addWidget(box);
  return box;
}

// A label and its box on one line, kept to the left.
void addLabelled(QVBoxLayout* layout, const QString& text, QWidget* box) {
  auto* line = new QHBoxLayout;
  auto* label = new QLabel(text);
  label->setBuddy(box);
  line->addWidget(label);
  line->addWidget(box);
  line->addStretch();
  layout->addLayout(line);
}

}  // namespace

TfrmOptions::TfrmOptions(TDM& dm, TBackgroundPanel* background, QLineEdit* password, QWidget* parent)
    : QDialog(parent), dm_(dm), background_(background), password_(password) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Options"));
  // Only a close box: no help button, no resizing.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_DeleteOnClose, false);

  pages = new QTabWidget(this);
  QVBoxLayout* l = nullptr;
  TDataSource* row = &dm_.DSOptions;

  page(pages, QStringLiteral("General"), l);
  cboStyle = named(new QComboBox, "cboStyle");
  cboStyle->addItems(TBackgroundPanel::StyleNames());
  cboStyle->setMaxVisibleItems(TBackgroundPanel::StyleNames().size());
  cboStyle->setMinimumWidth(150);
  addLabelled(l, QStringLiteral("Background Style"), cboStyle);
  chkPrompt = addBoundCheck(l, "chkPrompt", QStringLiteral("Confirm when replacing password from password generator"),
                            row, QStringLiteral("promptpassword"));
  chkMaximize = addCheck(l, "chkMaximize", QStringLiteral("Maximize Window on Startup"));
  chkAutoCase = addCheck(l, "chkAutoCase", QStringLiteral("Use proper case when entering Groups and Passwords"));
  l->addStretch();

  page(pages, QStringLiteral("Security"), l);
  cboRestorePermission = addBoundCheck(l, "cboRestorePermission", QStringLiteral("Require password from system tray"),
                                       row, QStringLiteral("pwdsystray"));
  chkRemind = addCheck(l, "chkRemind", QStringLiteral("Show Expired Passwords when opening database"));
  cboViewPassword = named(new QComboBox, "cboViewPassword");
  cboViewPassword->addItems({QStringLiteral("Always show password"), QStringLiteral("Mouse moves over password"),
                             QStringLiteral("Editing password only")});
  addLabelled(l, QStringLiteral("Show password when"), cboViewPassword);
  l->addStretch();

  page(pages, QStringLiteral("Sounds"), l);
  chkButtonSound = addCheck(l, "chkButtonSound", QStringLiteral("Play sounds when mouse moves over buttons"));
  chkAccess = addCheck(l, "chkAccess", QStringLiteral("Play sounds when database access is denied or granted"));
  l->addStretch();

  page(pages, QStringLiteral("Advanced"), l);
  cboDBMaintenance = named(new TDBComboBox, "cboDBMaintenance");
  for (int n = 10; n <= 200; n += 10) cboDBMaintenance->addItem(QString::number(n));
  cboDBMaintenance->lineEdit()->setMaxLength(10);
  cboDBMaintenance->setMinimumWidth(90);
  // The items are only choices: the box shows the bound field.
  cboDBMaintenance->setDataSource(row);
  cboDBMaintenance->setDataField(QStringLiteral("dbmaintfreq"));
  addLabelled(l, QStringLiteral("Database Maintenance interval"), cboDBMaintenance);
  l->addStretch();

  cmdOK = named(new QPushButton(QStringLiteral("OK")), "cmdOK");
  cmdOK->setDefault(true);
  cmdCancel = named(new QPushButton(QStringLiteral("Cancel")), "cmdCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);

  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(8, 8, 8, 8);
  main->addWidget(pages);
  main->addLayout(buttons);

  // Creation: the lists from the Options row, the boxes from the settings
  // file ("remind" read with default true, so with no file the reminder box
  // starts unticked).
  try {
    const int show = dm_.qryOptions.FieldByName(QStringLiteral("showpassword")).AsInteger();
    cboViewPassword->setCurrentIndex(show >= 0 && show < cboViewPassword->count() ? show : -1);
    cboStyle->setCurrentIndex(cboStyle->findText(dm_.qryOptions.FieldByName(QStringLiteral("style")).AsString()));
  } catch (const std::exception& e) {
    MessageBox::Error(this, errorText(e));
  }
  chkRemind->setChecked(!Settings::ReadBool(kExpireOptions, QStringLiteral("remind"), true));
  chkAutoCase->setChecked(Settings::ReadBool(kOptions, QStringLiteral("autocase"), true));
  chkMaximize->setChecked(Settings::ReadBool(kOptions, QStringLiteral("maximized"), false));
  chkButtonSound->setChecked(Settings::ReadBool(kSoundOptions, QStringLiteral("buttons"), true));
  chkAccess->setChecked(Settings::ReadBool(kSoundOptions, QStringLiteral("access"), true));

  connect(cboStyle, &QComboBox::currentIndexChanged, this, &TfrmOptions::cboStyleChange);
  connect(cmdOK, &QPushButton::clicked, this, &TfrmOptions::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

  setFixedSize(sizeHint().expandedTo(QSize(440, 270)));
  CentreOnOwner(*this, parent);
}

void TfrmOptions::cboStyleChange(int index) {
  if (index < 0) return;
  const QString name = cboStyle->itemText(index);
  if (background_) ShowBackgroundStyle(*background_, name);
  try {
    dm_.qryOptions.Edit();
    dm_.qryOptions.FieldByName(QStringLiteral("style")).setAsString(name);
  } catch (const std::exception& e) {
    MessageBox::Error(this, errorText(e));
  }
}

void TfrmOptions::cmdOKClick() {
  try {
    TQuery& options = dm_.qryOptions;
    options.Edit();
    options.FieldByName(QStringLiteral("showpassword")).setAsInteger(cboViewPassword->currentIndex());
    if (password_) ApplyPasswordMask(dm_, *password_);
    TField& freq = options.FieldByName(QStringLiteral("dbmaintfreq"));
    TField& count = options.FieldByName(QStringLiteral("dbmaintcount"));
    if (freq.AsInteger() < count.AsInteger()) count.setAsInteger(freq.AsInteger());
    options.Post();
    if (password_) {
      const int show = options.FieldByName(QStringLiteral("showpassword")).AsInteger();
      if (show == kShowAlways) SetPasswordMasked(*password_, false);
      if (show == kShowOnMouse) SetPasswordMasked(*password_, true);
    }

    Settings::WriteBool(kExpireOptions, QStringLiteral("remind"), !chkRemind->isChecked());
    Settings::WriteBool(kOptions, QStringLiteral("autocase"), chkAutoCase->isChecked());
    Settings::WriteBool(kOptions, QStringLiteral("maximized"), chkMaximize->isChecked());
    Settings::WriteBool(kSoundOptions, QStringLiteral("buttons"), chkButtonSound->isChecked());
    Settings::WriteBool(kSoundOptions, QStringLiteral("access"), chkAccess->isChecked());
    Settings::Sounds().buttons = chkButtonSound->isChecked();
    Settings::Sounds().access = chkAccess->isChecked();

    if (background_) ApplyBackgroundStyle(dm_, *background_);
  } catch (const std::exception& e) {
    MessageBox::Error(this, errorText(e));
    return;
  }
  accept();
}

void ShowOptions(TDM& dm, TBackgroundPanel* background, QLineEdit* password, QWidget* parent) {
  TfrmOptions dialog(dm, background, password, parent);
  dialog.exec();
}

void ShowBackgroundStyle(TBackgroundPanel& background, const QString& style) {
  if (style != TBackgroundPanel::NoneStyle()) {
    background.setFillStyle(style);
    background.setVisible(true);
  } else {
    background.setVisible(false);
  }
}

void ApplyBackgroundStyle(TDM& dm, TBackgroundPanel& background) {
  ShowBackgroundStyle(background, dm.qryOptions.FieldByName(QStringLiteral("style")).AsString());
}

void SetPasswordMasked(QLineEdit& password, bool masked) {
  // The mask character is '*' whatever the style would choose.
  static const QString starMask = QStringLiteral("lineedit-password-character: 42;");
  if (masked && !password.styleSheet().contains(starMask))
    password.setStyleSheet(password.styleSheet() + starMask);
  password.setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
}

void ApplyPasswordMask(TDM& dm, QLineEdit& password) {
  TQuery& accounts = dm.qryPasswords;
  if (!accounts.Active() || accounts.IsEmpty()) return;
  const int show = dm.qryOptions.FieldByName(QStringLiteral("showpassword")).AsInteger();
  if (show != kShowAlways && show != kShowOnMouse && show != kShowWhenEditing) return;
  const bool masked = show != kShowAlways;
  if (accounts.Editing()) {
    SetPasswordMasked(password, masked);
  } else {
    accounts.Edit();
    SetPasswordMasked(password, masked);
    accounts.Post();
  }
}
