// Errors of the data-access layer: its own refusals and the engine's failures.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "../../engine/include/kbe/kbe.h"

// A refusal of the data-access layer itself (no such field, wrong state, a
// value the field cannot hold). what() is the message in UTF-8.
class EDatabaseError : public std::runtime_error {
 public:
  explicit EDatabaseError(const QString& message);
  QString message() const { return QString::fromUtf8(what()); }
};

// A non-zero result of an engine call. messages() holds the engine's text for
// the code (DbiGetErrorString) followed by one line per entry of the engine's
// error list (DbiGetErrorEntry 1, 2, ...); what() joins them with line breaks.
class EDBEngineError : public EDatabaseError {
 public:
  EDBEngineError(kbe::DBIResult errorCode, QStringList messages, std::vector<std::uint32_t> nativeErrors);
  kbe::DBIResult errorCode() const noexcept { return errorCode_; }
  const QStringList& messages() const noexcept { return messages_; }
  // The native (DAO) error number of each entry, in the order of messages()
  // after its first line.
  const std::vector<std::uint32_t>& nativeErrors() const noexcept { return nativeErrors_; }

 private:
  kbe::DBIResult errorCode_;
  QStringList messages_;
  std::vector<std::uint32_t> nativeErrors_;
};

// Raises EDBEngineError for a non-zero result, reading the engine's texts at
// once (before any other engine call can replace them).
void CheckEngine(kbe::DBIResult result);
// The exception CheckEngine would raise, for callers that must clean up first.
EDBEngineError EngineError(kbe::DBIResult result);
