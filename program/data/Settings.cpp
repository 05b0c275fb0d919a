// kh.ini through the platform's profile functions.
#include "Settings.h"

#include <QFile>
#include <string>
#include <vector>

#include "DataSetSupport.h"
#include "ProgramDirs.h"
#include "platform/profile.h"

namespace Settings {
namespace {

std::string ansi(const QString& text) {
  std::string out;
  keyhaven::data::toAnsi(text, out);
  return out;
}

std::string fileName() { return QFile::encodeName(FilePath()).toStdString(); }

[[noreturn]] void unableToWrite() {
  throw ESettingsError(QStringLiteral("Unable to write to %1").arg(FilePath()));
}

void write(const QString& section, const QString& key, const QString& value) {
  std::string text;
  if (!keyhaven::data::toAnsi(value, text)) unableToWrite();
  if (!kh::win::WritePrivateProfileStringA(ansi(section).c_str(), ansi(key).c_str(), text.c_str(),
                                           fileName().c_str()))
    unableToWrite();
}

}  // namespace

QString FilePath() { return ProgramDirs::ProgramDirectory() + QStringLiteral("/kh.ini"); }

int ReadInt(const QString& section, const QString& key, int defaultValue) {
  return static_cast<int>(
      kh::win::GetPrivateProfileIntA(ansi(section).c_str(), ansi(key).c_str(), defaultValue, fileName().c_str()));
}

bool ReadBool(const QString& section, const QString& key, bool defaultValue) {
  return ReadInt(section, key, defaultValue ? 1 : 0) != 0;
}

QString ReadText(const QString& section, const QString& key, const QString& defaultValue) {
  std::vector<char> buffer(4096);
  const auto n = kh::win::GetPrivateProfileStringA(ansi(section).c_str(), ansi(key).c_str(), "ERROR", buffer.data(),
                                                   static_cast<kh::win::DWORD>(buffer.size()), fileName().c_str());
  const std::string value(buffer.data(), n);
  if (value == "ERROR") return defaultValue;
  return keyhaven::data::fromAnsi(value);
}

void WriteBool(const QString& section, const QString& key, bool value) {
  write(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void WriteInt(const QString& section, const QString& key, int value) { write(section, key, QString::number(value)); }

void WriteText(const QString& section, const QString& key, const QString& value) { write(section, key, value); }

SoundSwitches& Sounds() {
  static SoundSwitches switches;
  return switches;
}

void LoadSounds() {
  Sounds().buttons = ReadBool(QStringLiteral("SoundOptions"), QStringLiteral("buttons"), true);
  Sounds().access = ReadBool(QStringLiteral("SoundOptions"), QStringLiteral("access"), true);
}

}  // namespace Settings
