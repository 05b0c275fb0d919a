// The report windows' messages (through the program's message-box seam) and
// their save dialog, which tests can answer in advance.
#pragma once

#include <QString>
#include <functional>

class QWidget;

enum class TReportMessageKind { Plain, Error };

// A plain message (OK only) or an error message box.
void ReportMessage(QWidget* parent, TReportMessageKind kind, const QString& text);
// The save dialog for a PDF: the chosen path, or empty when cancelled.
QString ReportSaveFileName(QWidget* parent, const QString& caption, const QString& directory, const QString& filter);

// Tests: replace the save dialog (an empty function restores it).
void SetReportSaveFileNameHandler(std::function<QString(const QString& caption)> handler);
