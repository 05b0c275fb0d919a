#include "FindStatement.h"

#include <iterator>

namespace FindStatement {

namespace {

const char* const kSelect =
    "SELECT Groups.GroupID, Passwords.PasswordID,Groups.Name, Passwords.Description, Passwords.ID, "
    "Passwords.Password, Passwords.URL, Passwords.Notes FROM Groups INNER JOIN Passwords ON Groups.GroupID = "
    "Passwords.GroupID WHERE ";

// The fields searched by "All", in order; scopes 1 to 6 search one each.
const char* const kAllFields[] = {"Passwords.ID",    "Passwords.Password", "Passwords.URL",
                                  "Passwords.Notes", "Groups.Name",        "Passwords.Description"};
const char* const kScopeField[] = {nullptr,        "Groups.Name",   "Passwords.Description", "Passwords.Password",
                                   "Passwords.ID", "Passwords.URL", "Passwords.Notes"};

}  // namespace

QStringList ScopeNames() {
  return {QStringLiteral("All"),      QStringLiteral("Group Name"), QStringLiteral("Password Description"),
          QStringLiteral("Password"), QStringLiteral("ID"),         QStringLiteral("Internet"),
          QStringLiteral("Notes")};
}

bool AcceptTyped(QChar c) {
  const ushort u = c.unicode();
  if (u == 8 || u == 13 || u == ' ' || u == '!') return true;
  if (u >= '#' && u <= '9') return true;
  if (u >= 'A' && u <= 'Z') return true;
  if (u == '\\' || u == '^' || u == '_' || u == '`') return true;
  if (u >= 'a' && u <= 'z') return true;
  return u == '~';
}

QString Pattern(const QString& text) {
  QString pattern;
  pattern.reserve(text.size() + 8);
  pattern += QStringLiteral("\"*");
  for (QChar c : text) {
    if (c == QLatin1Char('"'))
      pattern += QStringLiteral("\"\"");
    else if (c == QLatin1Char('?'))
      pattern += QStringLiteral("[?]");
    else if (c == QLatin1Char('['))
      pattern += QStringLiteral("[[]");
    else
      pattern += c;
  }
  pattern += QStringLiteral("*\"");
  return pattern;
}

QString Build(const QString& text, int scope) {
  const QString pattern = Pattern(text);
  QString sql = QString::fromLatin1(kSelect);
  if (scope > fsAll && scope < fsScopeCount) {
    sql += QLatin1Char('(') + QLatin1String(kScopeField[scope]) + QStringLiteral(" Like ") + pattern +
           QStringLiteral(");");
    return sql;
  }
  const int terms = static_cast<int>(std::size(kAllFields));
  for (int i = 0; i < terms; ++i) {
    sql += QStringLiteral("(((") + QLatin1String(kAllFields[i]) + QStringLiteral(") Like ") + pattern +
           QStringLiteral("))");
    if (i < terms - 2)
      sql += QStringLiteral(" OR ");
    else if (i == terms - 2)
      sql += QStringLiteral(" OR");
  }
  sql += QLatin1Char(';');
  return sql;
}

QString CountText(int count) {
  if (count == 1) return QStringLiteral(" 1 account found");
  return QLatin1Char(' ') + QString::number(count) + QStringLiteral(" accounts found");
}

}  // namespace FindStatement
