#include "AccountRules.h"

#include <QRegularExpression>

#include "DataSetSupport.h"

namespace AccountRules {

QString TrimName(const QString& text) {
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text[first].unicode() <= 0x20) ++first;
  while (last > first && text[last - 1].unicode() <= 0x20) --last;
  return text.mid(first, last - first);
}

QString NameProblem(const QString& text, int maxLength, const QString& what) {
  std::string ansi;
  qsizetype bad = 0;
  if (!keyhaven::data::toAnsi(text, ansi, &bad)) {
    const qsizetype length =
        bad + 1 < text.size() && text[bad].isHighSurrogate() && text[bad + 1].isLowSurrogate() ? 2 : 1;
    return QStringLiteral("The %1 cannot hold the character \"%2\": only characters of the Windows-1252 character "
                          "set can be stored.")
        .arg(what, text.mid(bad, length));
  }
  if (text.size() > maxLength)
    return QStringLiteral("The %1 is %2 characters long; at most %3 characters can be stored.")
        .arg(what)
        .arg(text.size())
        .arg(maxLength);
  return {};
}

std::optional<QString> ItemCountText(int accounts, int groups, const QString& groupName, bool groupNameNull) {
  if (accounts == 0 && groups == 0) return QStringLiteral("0 items");
  if (accounts == 1) return QStringLiteral("1 item in ") + groupName;
  if (accounts >= 2) return QString::number(accounts) + QStringLiteral(" items in ") + groupName;
  if (accounts == 0 && !groupNameNull) return QStringLiteral("0 items in ") + groupName;
  return std::nullopt;
}

QUrl WebAddressUrl(const QString& text) {
  if (text.trimmed().isEmpty()) return {};
  static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
  const QString address = text.trimmed();
  // A single letter before the colon is a drive, not a scheme.
  if (scheme.match(address).hasMatch() && address.indexOf(QLatin1Char(':')) > 1) return QUrl(address);
  if (address.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) return QUrl(QStringLiteral("http://") + address);
  if (address.startsWith(QStringLiteral("ftp."), Qt::CaseInsensitive)) return QUrl(QStringLiteral("ftp://") + address);
  return QUrl::fromLocalFile(address);
}

}  // namespace AccountRules
