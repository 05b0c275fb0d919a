// The access log "log.txt" in the program directory: one line per attempt to
// open or unlock a database, in Windows-1252, each ended by CR LF, appended
// at the end. A line reads
//   06/19/2001 10:22 PM ... accounts ... success
#pragma once

#include <QString>
#include <stdexcept>

// The log file could not be created, written or read back.
class EAccessLogError : public std::runtime_error {
 public:
  explicit EAccessLogError(const QString& message) : std::runtime_error(message.toStdString()) {}
  QString message() const { return QString::fromUtf8(what()); }
};

namespace AccessLog {

constexpr qint64 kStartupTrimSize = 25000;  // bytes above which start-up trims
constexpr int kStartupTrimLines = 10;
constexpr int kViewerTrimLines = 3;

QString FilePath();

// The line (without its line end) for `displayName` at the OLE date `when`.
QString Line(double when, const QString& displayName, bool success);

// Appends the line for now; creates the file (owner only) when missing.
// Raises EAccessLogError on failure.
void Append(const QString& displayName, bool success);

// Removes the `lines` oldest lines (all, when there are fewer) and writes the
// rest back. A missing file is left missing. Raises EAccessLogError.
void Trim(int lines);

// At start-up: trims 10 lines when the file is larger than 25000 bytes.
void TrimAtStartup();

// Creates the file anew, empty. Raises EAccessLogError.
void Clear();

// The whole log as text (from Windows-1252), line ends as in the file.
// Raises EAccessLogError when the file cannot be read.
QString ReadText();

// The viewer's entry count: " No entries", " 1 log entry", " N log entries".
QString EntryCountText(int lines);

}  // namespace AccessLog
