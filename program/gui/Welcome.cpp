#include "Welcome.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogPlacement.h"

TfrmWelcome::TfrmWelcome(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName(QStringLiteral("frmWelcome"));
  setWindowTitle(QStringLiteral("Welcome"));
  auto* heading = new QLabel(QStringLiteral("Welcome to Keyhaven!"), this);
  QFont big = heading->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  heading->setFont(big);
  auto* text = new QLabel(QStringLiteral("Keyhaven Supports multiple databases!\r\n\r\nIf this is your first time running "
                                         "the program, a database needs to be specified.\r\n\r\nWould you like to "
                                         "create a password database now?"),
                          this);
  text->setWordWrap(true);
  text->setFixedWidth(360);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading);
  layout->addSpacing(8);
  layout->addWidget(text);
  layout->addLayout(ButtonRow(this, cmdYes, QStringLiteral("&Yes"), "cmdYes", cmdNo, QStringLiteral("&No"), "cmdNo"));
  setFixedSize(sizeHint());

  // Yes: the caller runs New once the dialog is gone.
  connect(cmdYes, &QPushButton::clicked, this, [this] {
    hide();
    accept();
  });
  connect(cmdNo, &QPushButton::clicked, this, &QDialog::reject);
  CentreOnOwner(*this, mainWindow);
}
