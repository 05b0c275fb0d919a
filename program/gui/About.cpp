#include "About.h"

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "DialogPlacement.h"
#include "Resources.h"

TfrmAbout::TfrmAbout(QWidget* mainWindow) : QDialog(mainWindow) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Keyhaven"));
  auto* picture = new QLabel(this);
  const QIcon icon = Resources::AppIcon();
  if (!icon.isNull()) picture->setPixmap(icon.pixmap(64, 64));
  auto* name = new QLabel(QStringLiteral("Keyhaven"), this);
  QFont big = name->font();
  big.setPointSize(24);
  big.setBold(true);
  name->setFont(big);
  auto* version = new QLabel(QStringLiteral("version 1.01"), this);
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setDefault(true);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(version);
  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addSpacing(12);
  top->addLayout(text);
  top->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
  setMinimumWidth(300);
  setFixedSize(sizeHint());
  connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
  CentreOnOwner(*this, mainWindow);
}
