// "PrintOptions" in the settings file.
#include "ReportSettings.h"

#include <stdexcept>

#include "data/Settings.h"

namespace {
const QString kSection = QStringLiteral("PrintOptions");
}  // namespace

QString ReportSettingsFile() { return Settings::FilePath(); }

TPrintOptions LoadPrintOptions() {
  TPrintOptions o;
  o.title = Settings::ReadText(kSection, QStringLiteral("title"), QStringLiteral("Account Summary"));
  o.date = Settings::ReadBool(kSection, QStringLiteral("date"), true);
  o.one = Settings::ReadBool(kSection, QStringLiteral("one"), true);
  o.type = Settings::ReadInt(kSection, QStringLiteral("type"), 0);
  o.concise = Settings::ReadInt(kSection, QStringLiteral("concise"), 0);
  return o;
}

void SavePrintOptions(const TPrintOptions& o) {
  // A value that cannot be written ends the save there: "Unable to write to
  // <file>". (ESettingsError is a std::runtime_error.)
  Settings::WriteText(kSection, QStringLiteral("title"), o.title);
  Settings::WriteBool(kSection, QStringLiteral("date"), o.date);
  Settings::WriteBool(kSection, QStringLiteral("one"), o.one);
  Settings::WriteInt(kSection, QStringLiteral("type"), o.type);
  Settings::WriteInt(kSection, QStringLiteral("concise"), o.concise);
}
