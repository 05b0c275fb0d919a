// Internal helpers of the data-access layer (DataSet.cpp, DataSetQuery.cpp):
// engine constants and the Windows-1252 conversions.
#pragma once

#include <QString>
#include <QVariant>
#include <cstdint>
#include <string>

#include "../../engine/include/kbe/kbe.h"

class TField;

namespace keyhaven::data {

// Logical field types and subtypes of the engine's descriptors.
constexpr std::uint16_t fldZSTRING = 1, fldBLOB = 3, fldBOOL = 4, fldINT16 = 5, fldINT32 = 6, fldFLOAT = 7,
                        fldBYTES = 9, fldTIMESTAMP = 11;
constexpr std::uint16_t fldstMONEY = 21, fldstMEMO = 22;

constexpr kbe::DBIResult kEndOfFile = 0x2202;
constexpr kbe::DBIResult kRecordDeleted = 0x2204;
constexpr kbe::DBIResult kEndOfBlob = 0x2207;
constexpr kbe::DBIResult kUnknownDatabase = 0x271E;
constexpr kbe::DBIResult kMultipleInit = 0x2A07;
constexpr kbe::DBIResult kErrorEntryDelivered = 0x3303;
constexpr kbe::BOOL16 kTrue16 = -1;

// Statement properties.
constexpr std::uint32_t kPropRowsAffected = 0x00060014;
constexpr std::uint32_t kPropLiveness = 0x00060021;
constexpr std::uintptr_t kLive = 1, kCanned = 2;

QString fromAnsi(const char* text);
QString fromAnsi(const std::string& text);
// False when `text` holds a character Windows-1252 cannot represent.
bool toAnsi(const QString& text, std::string& out, qsizetype* badIndex = nullptr);
// Windows-1252 text for a field or parameter called `name`; refuses
// (EDatabaseError) a character Windows-1252 cannot hold, naming the
// character and the field.
std::string ansiForField(const QString& text, const QString& name, const char* what = "Field");
// Overwrites a string that held a secret before it goes.
void wipe(std::string& secret) noexcept;
// Wipes a string that holds a secret when the scope ends, however it ends.
class WipeOnExit {
 public:
  explicit WipeOnExit(std::string& secret) noexcept : secret_(secret) {}
  ~WipeOnExit() { wipe(secret_); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  std::string& secret_;
};

// Reads "true"/"yes"/"t"/"y"/"1" and their opposites, ignoring case and blanks.
bool parseBoolean(const QString& text, bool& value);

// AsString of a value of `field`, and the text a control shows for it.
QString variantText(const TField& field, const QVariant& value);
QString displayText(const TField& field, const QVariant& value);

}  // namespace keyhaven::data
