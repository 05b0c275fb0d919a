#include "Centre.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QWidget>

void CentreOnMainWindow(QWidget* dialog, const QWidget* mainWindow) {
  if (!dialog || !mainWindow) return;
  dialog->adjustSize();
  const QRect main = mainWindow->frameGeometry();
  const QSize own = dialog->frameGeometry().size();
  dialog->move(main.left() + main.width() / 2 - own.width() / 2, main.top() + main.height() / 2 - own.height() / 2);
}

QHBoxLayout* ButtonRow(QWidget* dialog, QPushButton*& main, const QString& mainCaption, const char* mainName,
                       QPushButton*& other, const QString& otherCaption, const char* otherName) {
  main = new QPushButton(mainCaption, dialog);
  main->setObjectName(QString::fromLatin1(mainName));
  main->setDefault(true);
  other = new QPushButton(otherCaption, dialog);
  other->setObjectName(QString::fromLatin1(otherName));
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(main);
  row->addWidget(other);
  return row;
}
