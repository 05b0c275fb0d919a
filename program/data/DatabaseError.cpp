// Errors of the data-access layer.
#include "DatabaseError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DataSetSupport.h"
#include "binding/Bde.h"

using namespace keyhaven::data;

EDatabaseError::EDatabaseError(const QString& message) : std::runtime_error(message.toStdString()) {}

EDBEngineError::EDBEngineError(kbe::DBIResult errorCode, QStringList messages, std::vector<std::uint32_t> nativeErrors)
    : EDatabaseError(messages.join(QLatin1Char('\n'))),
      errorCode_(errorCode),
      messages_(std::move(messages)),
      nativeErrors_(std::move(nativeErrors)) {}

namespace {

// Texts for the results the binding gives when no engine answers.
QString bindingText(kbe::DBIResult result) {
  switch (result) {
    case 8456:
    case 8458:
      return QStringLiteral("The database engine library KBE3235.DLL was not found");
    case 8457:
      return QStringLiteral("The database engine library KBE3235.DLL could not be loaded");
    default:
      return QStringLiteral("Database engine error %1").arg(result);
  }
}

}  // namespace

EDBEngineError EngineError(kbe::DBIResult result) {
  QStringList messages;
  std::vector<std::uint32_t> natives;
  char text[129] = {};
  Bde::DbiGetErrorString(result, text);  // always answers "not supported"; the text is what counts
  QString head = fromAnsi(text);
  if (head.isEmpty()) head = bindingText(result);
  messages << head;
  // The engine's error list: entries 1, 2, ... until it has no more.
  for (std::uint16_t entry = 1; entry <= 32; ++entry) {
    char message[129] = {};
    std::uint32_t native = 0;
    if (Bde::DbiGetErrorEntry(entry, &native, message) != kErrorEntryDelivered) break;
    messages << fromAnsi(message);
    natives.push_back(native);
  }
  return EDBEngineError(result, std::move(messages), std::move(natives));
}

void CheckEngine(kbe::DBIResult result) {
  if (result != 0) throw EngineError(result);
}

