#include "ButtonRow.h"

#include <QHBoxLayout>
#include <QPushButton>

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
