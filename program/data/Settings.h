// The settings file "kh.ini" in the program directory, read and written
// through the profile functions each time a value is needed. Booleans are
// written "1"/"0" and read as whole numbers (anything but 0 is true);
// integers in decimal; texts as they are, in Windows-1252.
#pragma once

#include <QString>
#include <stdexcept>

// A value could not be written: "Unable to write to <settings file path>".
class ESettingsError : public std::runtime_error {
 public:
  explicit ESettingsError(const QString& message) : std::runtime_error(message.toStdString()) {}
  QString message() const { return QString::fromUtf8(what()); }
};

namespace Settings {

// The full path of "kh.ini".
QString FilePath();

// A missing file or key, or a value that is not a whole number, gives the
// default.
bool ReadBool(const QString& section, const QString& key, bool defaultValue);
int ReadInt(const QString& section, const QString& key, int defaultValue);
// Texts are read with the marker default "ERROR": a missing key, or the value
// "ERROR", gives `defaultValue`.
QString ReadText(const QString& section, const QString& key, const QString& defaultValue);

// Raise ESettingsError when the file cannot be written or the text cannot be
// held in Windows-1252.
void WriteBool(const QString& section, const QString& key, bool value);
void WriteInt(const QString& section, const QString& key, int value);
void WriteText(const QString& section, const QString& key, const QString& value);

// The two sound switches kept in memory: the hover sound over buttons and the
// access granted/denied sounds. Load reads them from the file
// ("SoundOptions"/"buttons" and "access", default true).
struct SoundSwitches {
  bool buttons = true;
  bool access = true;
};
SoundSwitches& Sounds();
void LoadSounds();

}  // namespace Settings
