// Windows-1252 conversions and value texts shared by the data-access layer.
#include "DataSetSupport.h"

#include "DataAccess.h"
#include <algorithm>
#include <cstring>

#include "DataSetSupport.h"
#include "binding/Bde.h"
#include "platform/ansi.h"

namespace keyhaven::data {

QString fromAnsi(const char* text) { return QString::fromStdU16String(kh::ansiToUtf16(text ? text : "")); }

QString fromAnsi(const std::string& text) { return QString::fromStdU16String(kh::ansiToUtf16(text)); }

bool toAnsi(const QString& text, std::string& out, qsizetype* badIndex) {
  std::size_t bad = 0;
  const bool ok = kh::utf16ToAnsi(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())), out,
      &bad);
  if (!ok && badIndex) *badIndex = static_cast<qsizetype>(bad);
  return ok;
}

std::string ansiForField(const QString& text, const QString& name, const char* what) {
  std::string out;
  qsizetype bad = 0;
  if (toAnsi(text, out, &bad)) return out;
  // Name the offending character (a surrogate pair is one character).
  const qsizetype length =
      bad + 1 < text.size() && text[bad].isHighSurrogate() && text[bad + 1].isLowSurrogate() ? 2 : 1;
  const QString character = text.mid(bad, length);
  const char32_t code = length == 2 ? QChar::surrogateToUcs4(text[bad], text[bad + 1]) : text[bad].unicode();
  const QString subject =
      name.isEmpty() ? QString::fromLatin1(what) : QStringLiteral("%1 '%2'").arg(QString::fromLatin1(what), name);
  throw EDatabaseError(
      QStringLiteral("%1 cannot hold the character \"%2\" (U+%3): it is not in the Windows-1252 character set")
          .arg(subject, character,
               QStringLiteral("%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper()));
}

void wipe(std::string& secret) noexcept {
  volatile char* p = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) p[i] = 0;
  secret.clear();
}

QString variantText(const TField& field, const QVariant& value) {
  if (!value.isValid()) return {};
  switch (field.DataType()) {
    case TFieldType::ftBoolean:
      return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      return QString::number(value.toDouble(), 'g', 15);
    case TFieldType::ftDateTime:
      return DateTimeToText(value.toDateTime());
    case TFieldType::ftBytes:
    case TFieldType::ftBlob:
      return QString::fromLatin1(value.toByteArray());
    default:
      return value.toString();
  }
}

QString displayText(const TField& field, const QVariant& value) {
  const QString format = field.DisplayFormat();
  if (value.isValid() && !format.isEmpty()) {
    if (field.DataType() == TFieldType::ftDateTime) return value.toDateTime().toString(format);
    if (field.DataType() == TFieldType::ftFloat || field.DataType() == TFieldType::ftCurrency)
      return QString::asprintf(format.toLatin1().constData(), value.toDouble());
  }
  return variantText(field, value);
}

bool parseBoolean(const QString& text, bool& value) {
  const QString t = text.trimmed().toLower();
  if (t == u"true" || t == u"yes" || t == u"t" || t == u"y" || t == u"1") {
    value = true;
    return true;
  }
  if (t == u"false" || t == u"no" || t == u"f" || t == u"n" || t == u"0") {
    value = false;
    return true;
  }
  return false;
}

}  // namespace keyhaven::data
