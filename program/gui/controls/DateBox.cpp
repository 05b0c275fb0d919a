#include "DateBox.h"

#include <QCalendarWidget>
#include <QKeyEvent>

TDBDateBox::TDBDateBox(QWidget* parent) : TDBDateEdit(parent) {
  setDisplayFormat(QStringLiteral("dddd, MMMM dd, yyyy"));
  setCalendarPopup(true);
}

void TDBDateBox::setToNow() {
  if (isReadOnly()) return;
  const QDateTime now = QDateTime::currentDateTime();
  if (DataLink().Field()) {
    DataLink().Write([&](TField& f) { f.setAsDateTime(now); });
    emit DataLink().refresh();
  } else {
    setDate(now.date());
  }
}

void TDBDateBox::keyPressEvent(QKeyEvent* event) {
  const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (plain && (event->text() == QLatin1String("c") || event->text() == QLatin1String("C"))) {
    setToNow();
    event->accept();
    return;
  }
  TDBDateEdit::keyPressEvent(event);
}

void TDBDateBox::mousePressEvent(QMouseEvent* event) {
  const bool empty = isNull();
  TDBDateEdit::mousePressEvent(event);
  // An empty box opens its calendar on today's month, not on the blank date.
  if (empty && calendarWidget())
    calendarWidget()->setCurrentPage(QDate::currentDate().year(), QDate::currentDate().month());
}
