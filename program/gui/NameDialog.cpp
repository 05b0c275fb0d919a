#include "NameDialog.h"

#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "MessageBox.h"
#include "data/AccountRules.h"
#include "data/Settings.h"

TNameDialog::TNameDialog(TDialogMode mode, const QString& caption, const QString& label, const QString& boxName,
                         QWidget* mainWindow)
    : QDialog(mainWindow),
      box(new TEdPlus(this)),
      cmdOK(new QPushButton(QStringLiteral("OK"), this)),
      cmdCancel(new QPushButton(QStringLiteral("Cancel"), this)),
      mode_(mode) {
  setWindowTitle(caption);
  setModal(true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  box->setObjectName(boxName);
  box->setMaxLength(100);
  box->setAutoCase(Settings::ReadBool(QStringLiteral("Options"), QStringLiteral("autocase"), true));
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdOK->setDefault(true);

  auto* text = new QLabel(label, this);
  text->setBuddy(box);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(box);
  layout->addSpacing(6);
  layout->addLayout(ButtonRow({cmdOK, cmdCancel}));
  setFixedSize(340, sizeHint().height());
  CentreOnMainWindow(this, mainWindow);

  box->OnKeyPress = [this](QChar& key) {
    if (key == QLatin1Char('\r')) {
      key = QChar();
      cmdOKClick();
    } else if (key.unicode() == 0x1B) {
      key = QChar();
      reject();
    }
  };
  connect(cmdOK, &QPushButton::clicked, this, &TNameDialog::cmdOKClick);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TNameDialog::cmdOKClick() {
  const QString text = AccountRules::TrimName(box->text());
  bool saved = false;
  if (!RunShowingErrors(this, [&] { saved = Save(text); })) {
    Abandon();
    return;
  }
  if (saved)
    accept();
  else
    box->setFocus();
}
