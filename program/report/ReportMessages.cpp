// Message boxes and the save dialog of the report windows.
#include "ReportMessages.h"

#include <QFileDialog>

#include "gui/MessageBox.h"

namespace {
std::function<QString(const QString&)>& saveHandler() {
  static std::function<QString(const QString&)> handler;
  return handler;
}
}  // namespace

void ReportMessage(QWidget* parent, TReportMessageKind kind, const QString& text) {
  MessageBox::Show(parent, kind == TReportMessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon, text);
}

QString ReportSaveFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter) {
  if (saveHandler()) return saveHandler()(caption);
  return QFileDialog::getSaveFileName(parent, caption, directory, filter);
}


void SetReportSaveFileNameHandler(std::function<QString(const QString&)> handler) {
  saveHandler() = std::move(handler);
}
