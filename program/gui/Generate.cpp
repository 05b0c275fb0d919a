#include "Generate.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "MessageBox.h"
#include "SecretClipboard.h"
#include "data/AccountRules.h"
#include "data/DataModule.h"
#include "data/Settings.h"
#include "data/WordList.h"

namespace {

const QString kSection = QStringLiteral("Generator");

QLabel* heading(const QString& text, const QString& name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignCenter);
  label->setFrameShape(QFrame::Panel);
  label->setFrameShadow(QFrame::Raised);
  label->setMinimumHeight(22);
  QFont font = label->font();
  font.setBold(true);
  label->setFont(font);
  return label;
}

QGroupBox* radioGroup(const QString& title, const QString& name, const QStringList& items, QButtonGroup*& buttons,
                      QWidget* parent, bool horizontal = false) {
  auto* box = new QGroupBox(title, parent);
  box->setObjectName(name);
  buttons = new QButtonGroup(box);
  QBoxLayout* layout = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(box)) : new QVBoxLayout(box);
  for (int i = 0; i < items.size(); ++i) {
    auto* radio = new QRadioButton(items[i], box);
    radio->setObjectName(name + QString::number(i));
    buttons->addButton(radio, i);
    layout->addWidget(radio);
  }
  buttons->button(0)->setChecked(true);
  return box;
}

}  // namespace

TfrmGenerate::TfrmGenerate(TDM& dm, QWidget* mainWindow) : QDialog(mainWindow), dm_(dm), mainWindow_(mainWindow) {
  setObjectName(QStringLiteral("frmGenerate"));
  setWindowTitle(QStringLiteral(" Password Generator"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  buildForm();
  setFixedSize(sizeHint());
  CentreOnMainWindow(this, mainWindow_);
}

void TfrmGenerate::buildForm() {
  auto* root = new QVBoxLayout(this);

  auto* passwordRow = new QHBoxLayout;
  auto* lblPassword = new QLabel(QStringLiteral("Password"), this);
  txtPassword = new QLineEdit(this);
  txtPassword->setObjectName(QStringLiteral("txtPassword"));
  txtPassword->setMaxLength(100);
  txtPassword->setMinimumWidth(260);
  lblPassword->setBuddy(txtPassword);
  cmdCopy = new QToolButton(this);
  cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
  cmdCopy->setText(QStringLiteral("Copy"));
  cmdCopy->setToolTip(QStringLiteral("Copy Password to ClipBoard"));
  cmdCopy->setFocusPolicy(Qt::NoFocus);
  passwordRow->addWidget(lblPassword);
  passwordRow->addWidget(txtPassword, 1);
  passwordRow->addWidget(cmdCopy);
  root->addLayout(passwordRow);

  lblStrength = new QLabel(this);
  lblStrength->setObjectName(QStringLiteral("lblStrength"));
  lblStrength->setIndent(lblPassword->sizeHint().width() + passwordRow->spacing());
  root->addWidget(lblStrength);

  auto* columns = new QHBoxLayout;
  // Easier to Remember: the word patterns.
  auto* easy = new QVBoxLayout;
  pnlEasy = heading(QStringLiteral("Easier to Remember"), QStringLiteral("pnlEasy"), this);
  easy->addWidget(pnlEasy);
  RGType = radioGroup(QStringLiteral(" Type "), QStringLiteral("RGType"),
                      {QStringLiteral("Word + digit"), QStringLiteral("Word + digit + Word"), QStringLiteral("Word Only")},
                      RGTypeButtons, this);
  easy->addWidget(RGType);
  easy->addStretch(1);
  cmdCreateEasy = DialogButton(QStringLiteral("Create"), QStringLiteral("cmdCreateEasy"), this);
  easy->addWidget(cmdCreateEasy, 0, Qt::AlignHCenter);
  columns->addLayout(easy, 1);

  // Harder to Remember: classes, case and length.
  auto* hard = new QVBoxLayout;
  pnlHard = heading(QStringLiteral("Harder to Remember"), QStringLiteral("pnlHard"), this);
  hard->addWidget(pnlHard);
  GBInclude = new QGroupBox(QStringLiteral(" Make Available "), this);
  GBInclude->setObjectName(QStringLiteral("GBInclude"));
  auto* include = new QVBoxLayout(GBInclude);
  chkLetter = new QCheckBox(QStringLiteral("Letters  (A-Z, a-z)"), GBInclude);
  chkLetter->setObjectName(QStringLiteral("chkLetter"));
  chkNumber = new QCheckBox(QStringLiteral("Numbers  (0-9)"), GBInclude);
  chkNumber->setObjectName(QStringLiteral("chkNumber"));
  chkSpecial = new QCheckBox(QStringLiteral("Special Characters  (*~!#@%)"), GBInclude);
  chkSpecial->setObjectName(QStringLiteral("chkSpecial"));
  chkLetter->setChecked(true);
  chkNumber->setChecked(true);
  include->addWidget(chkLetter);
  include->addWidget(chkNumber);
  include->addWidget(chkSpecial);
  hard->addWidget(GBInclude);
  RGCase = radioGroup(QStringLiteral(" Case "), QStringLiteral("RGCase"),
                      {QStringLiteral("Lower"), QStringLiteral("Mixed"), QStringLiteral("Upper")}, RGCaseButtons, this,
                      true);
  hard->addWidget(RGCase);
  auto* lengthRow = new QHBoxLayout;
  auto* lblLength = new QLabel(QStringLiteral("Length"), this);
  txtLength = new QSpinBox(this);
  txtLength->setObjectName(QStringLiteral("txtLength"));
  txtLength->setRange(1, 99);
  txtLength->setValue(6);
  lblLength->setBuddy(txtLength);
  lengthRow->addWidget(lblLength);
  lengthRow->addWidget(txtLength);
  lengthRow->addStretch(1);
  cmdHard = DialogButton(QStringLiteral("Create"), QStringLiteral("cmdHard"), this);
  lengthRow->addWidget(cmdHard);
  hard->addLayout(lengthRow);
  columns->addLayout(hard, 1);
  root->addLayout(columns);

  cmdOK = DialogButton(QStringLiteral("OK"), QStringLiteral("cmdOK"), this);
  cmdCancel = DialogButton(QStringLiteral("Cancel"), QStringLiteral("cmdCancel"), this);
  root->addLayout(ButtonRow({cmdOK, cmdCancel}));

  connect(cmdCreateEasy, &QPushButton::clicked, this, &TfrmGenerate::cmdCreateEasyClick);
  connect(cmdHard, &QPushButton::clicked, this, &TfrmGenerate::cmdHardClick);
  connect(cmdCopy, &QToolButton::clicked, this, &TfrmGenerate::cmdCopyClick);
  connect(cmdOK, &QPushButton::clicked, this, &TfrmGenerate::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(txtPassword, &QLineEdit::textChanged, this, &TfrmGenerate::showStrength);
  showStrength();
  cmdHard->setFocus();
}

int TfrmGenerate::TypeIndex() const { return RGTypeButtons->checkedId(); }
int TfrmGenerate::CaseIndex() const { return RGCaseButtons->checkedId(); }

Generator::TCharClasses TfrmGenerate::classes() const {
  return {chkLetter->isChecked(), chkNumber->isChecked(), chkSpecial->isChecked()};
}

void TfrmGenerate::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!activated_) {
    activated_ = true;
    FormActivate();
    cmdHard->setFocus();
  }
}

// Runs as the dialog opens and again whenever one of its message boxes has
// closed: the stored password and the saved choices come back.
void TfrmGenerate::FormActivate() {
  if (dm_.qryPasswords.Active()) {
    TField* password = dm_.qryPasswords.FindField(QStringLiteral("Password"));
    if (password && !password->IsNull()) {
      passwordOnOpening_ = password->AsString();
      txtPassword->setText(passwordOnOpening_);
    } else {
      passwordOnOpening_.clear();
    }
  }
  readSettings();
}

void TfrmGenerate::readSettings() {
  const int easy = Settings::ReadInt(kSection, QStringLiteral("Easy"), 0);
  if (easy >= 0 && easy <= 2) RGTypeButtons->button(easy)->setChecked(true);
  const int length = Settings::ReadInt(kSection, QStringLiteral("Length"), 6);
  if (length >= 1 && length <= 99) txtLength->setValue(length);
  const int letterCase = Settings::ReadInt(kSection, QStringLiteral("Case"), 0);
  if (letterCase >= 0 && letterCase <= 2) RGCaseButtons->button(letterCase)->setChecked(true);
  chkLetter->setChecked(Settings::ReadBool(kSection, QStringLiteral("Letter"), true));
  chkNumber->setChecked(Settings::ReadBool(kSection, QStringLiteral("Number"), true));
  chkSpecial->setChecked(Settings::ReadBool(kSection, QStringLiteral("Special"), false));
}

void TfrmGenerate::saveSettings(int type, int length, int letterCase, const Generator::TCharClasses& classes) {
  Settings::WriteInt(kSection, QStringLiteral("Easy"), type);
  Settings::WriteInt(kSection, QStringLiteral("Length"), length);
  Settings::WriteInt(kSection, QStringLiteral("Case"), letterCase);
  Settings::WriteBool(kSection, QStringLiteral("Letter"), classes.letters);
  Settings::WriteBool(kSection, QStringLiteral("Number"), classes.numbers);
  Settings::WriteBool(kSection, QStringLiteral("Special"), classes.special);
}

void TfrmGenerate::cmdCreateEasyClick() {
  const bool made = RunShowingErrors(this, [&] {
    const QStringList& words = WordList::Load();
    const int pattern = TypeIndex();
    generated_ = Generator::MakeWordPassword(words, pattern, *random_);
    generatedBits_ = Generator::WordPasswordBits(static_cast<int>(words.size()), pattern);
    txtPassword->setText(generated_);
  });
  if (!made) FormActivate();
}

void TfrmGenerate::cmdHardClick() {
  const Generator::TCharClasses chosen = classes();
  if (!chosen.any()) {
    MessageBox::Information(this, QStringLiteral("Please specify any combination of letters, numbers or special characters"));
    FormActivate();
    return;
  }
  const bool made = RunShowingErrors(this, [&] {
    const int length = txtLength->value();
    const int letterCase = CaseIndex();
    generated_ = Generator::MakeRandomPassword(chosen, letterCase, length, *random_,
                                               [] { QCoreApplication::processEvents(); });
    generatedBits_ = Generator::RandomPasswordBits(chosen, letterCase, length);
    txtPassword->setText(generated_);
  });
  if (!made) FormActivate();
}

void TfrmGenerate::cmdCopyClick() {
  // The whole box goes to the clipboard as a secret that is cleared again.
  txtPassword->selectAll();
  SecretClipboard::Copy(txtPassword->text());
}

void TfrmGenerate::showStrength() {
  const QString text = txtPassword->text();
  if (text.isEmpty()) {
    lblStrength->setText(QStringLiteral("Strength: -"));
    return;
  }
  const double bits = (!generated_.isEmpty() && text == generated_) ? generatedBits_ : Generator::EstimatedBits(text);
  lblStrength->setText(
      QStringLiteral("Strength: %1 bits (%2)").arg(static_cast<int>(bits)).arg(Generator::StrengthWord(bits)));
}

// Edit state for the current account and the new password in it; the
// account is not posted here.
bool TfrmGenerate::writePassword(const QString& text) {
  const bool written = RunShowingErrors(this, [&] {
    dm_.qryPasswords.Edit();
    dm_.qryPasswords.FieldByName(QStringLiteral("Password")).setAsString(text);
  });
  if (!written) FormActivate();
  return written;
}

void TfrmGenerate::cmdOKClick() {
  const QString text = txtPassword->text();
  if (AccountRules::TrimName(text).isEmpty()) {
    MessageBox::Plain(this, QStringLiteral("No Password has been generated. Please generate a password or press Cancel"));
    FormActivate();
    return;
  }
  // The choices as they stand now are what OK saves (a question below brings
  // back the saved ones when it closes).
  const int type = TypeIndex();
  const int length = txtLength->value();
  const int letterCase = CaseIndex();
  const Generator::TCharClasses chosen = classes();
  auto save = [&] { return RunShowingErrors(this, [&] { saveSettings(type, length, letterCase, chosen); }); };

  if (text == passwordOnOpening_) {
    if (save()) accept();
    return;
  }
  TField* password = dm_.qryPasswords.Active() ? dm_.qryPasswords.FindField(QStringLiteral("Password")) : nullptr;
  if (!password) return;
  if (!password->IsNull()) {
    bool prompt = true;
    if (TField* option = dm_.qryOptions.Active() ? dm_.qryOptions.FindField(QStringLiteral("promptpassword")) : nullptr)
      prompt = option->AsBoolean();
    if (prompt) {
      const bool yes = MessageBox::Confirm(
          this, QStringLiteral("Are you sure you want to replace the current password: \"") + password->AsString() +
                    QStringLiteral("\" ?"));
      if (!yes) {
        FormActivate();
        return;
      }
    }
  }
  if (writePassword(text) && save()) accept();
}

void ShowPasswordGenerator(TDM& dm, QWidget* mainWindow) {
  if (!dm.qryPasswords.Active() || dm.qryPasswords.IsEmpty()) return;
  TfrmGenerate dialog(dm, mainWindow);
  dialog.exec();
}
