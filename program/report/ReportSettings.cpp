// "PrintOptions" in the settings file, through the platform's profile
// functions. Booleans are written "1"/"0" and read as whole numbers (any value
// other than 0 is true); a text read with the marker default "ERROR" treats
// that value as absent.
#include "ReportSettings.h"

#include <stdexcept>
#include <string>

#include "platform/ansi.h"
#include "platform/dirs.h"
#include "platform/profile.h"

namespace {

constexpr const char* kSection = "PrintOptions";

std::string fileName() { return ReportSettingsFile().toStdString(); }

int readInt(const char* key, int defaultValue) {
  return static_cast<int>(kh::win::GetPrivateProfileIntA(kSection, key, defaultValue, fileName().c_str()));
}

void write(const char* key, const std::string& ansiValue) {
  const std::string file = fileName();
  if (!kh::win::WritePrivateProfileStringA(kSection, key, ansiValue.c_str(), file.c_str()))
    throw std::runtime_error("Unable to write to " + file);
}

}  // namespace

QString ReportSettingsFile() {
  return QString::fromStdString(kh::win::programDirectory()) + QStringLiteral("/kh.ini");
}

TPrintOptions LoadPrintOptions() {
  TPrintOptions o;
  char buffer[1024] = {};
  kh::win::GetPrivateProfileStringA(kSection, "title", "ERROR", buffer, sizeof buffer, fileName().c_str());
  const QString title = QString::fromStdString(kh::ansiToUtf8(buffer));
  o.title = title == QLatin1String("ERROR") ? QStringLiteral("Account Summary") : title;
  o.date = readInt("date", 1) != 0;
  o.one = readInt("one", 1) != 0;
  o.type = readInt("type", 0);
  o.concise = readInt("concise", 0);
  return o;
}

void SavePrintOptions(const TPrintOptions& o) {
  std::string title;
  std::size_t bad = 0;
  if (!kh::utf8ToAnsi(o.title.toStdString(), title, &bad))
    throw std::runtime_error("Unable to write to " + fileName() + ": the report title holds characters the settings "
                             "file cannot store");
  write("title", title);
  write("date", o.date ? "1" : "0");
  write("one", o.one ? "1" : "0");
  write("type", std::to_string(o.type));
  write("concise", std::to_string(o.concise));
}
