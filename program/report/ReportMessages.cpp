// Message boxes and the save dialog of the report windows.
#include "ReportMessages.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace {
std::function<void(TReportMessageKind, const QString&)>& messageHandler() {
  static std::function<void(TReportMessageKind, const QString&)> handler;
  return handler;
}
std::function<QString(const QString&)>& saveHandler() {
  static std::function<QString(const QString&)> handler;
  return handler;
}
}  // namespace

void ReportMessage(QWidget* parent, TReportMessageKind kind, const QString& text) {
  if (messageHandler()) {
    messageHandler()(kind, text);
    return;
  }
  QMessageBox box(kind == TReportMessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
  box.exec();
}

QString ReportSaveFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter) {
  if (saveHandler()) return saveHandler()(caption);
  return QFileDialog::getSaveFileName(parent, caption, directory, filter);
}

void SetReportMessageHandler(std::function<void(TReportMessageKind, const QString&)> handler) {
  messageHandler() = std::move(handler);
}

void SetReportSaveFileNameHandler(std::function<QString(const QString&)> handler) {
  saveHandler() = std::move(handler);
}
