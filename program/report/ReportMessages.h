// The report windows' one way to talk to the user: plain and error message
// boxes and the save dialog. Everything passes through here, so that tests
// can answer in advance and the program's common message seam can take over
// these functions later.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class TReportMessageKind { Plain, Error };

// A plain message (OK only) or an error message box.
void ReportMessage(QWidget* parent, TReportMessageKind kind, const QString& text);
// The save dialog for a PDF: the chosen path, or empty when cancelled.
QString ReportSaveFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter);

// Tests: replace the boxes and the dialog (an empty function restores them).
void SetReportMessageHandler(std::function<void(TReportMessageKind, const QString&)> handler);
void SetReportSaveFileNameHandler(std::function<QString(const QString& caption)> handler);
