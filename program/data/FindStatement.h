// The find command's logic: which typed characters the search box takes, the
// search statement for a text and a scope, and the count text.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

namespace FindStatement {

// The scopes, by index in the "Where" list.
enum TScope { fsAll = 0, fsGroupName, fsDescription, fsPassword, fsID, fsInternet, fsNotes, fsScopeCount };
// The items of the "Where" list.
QStringList ScopeNames();

// Whether a typed character may enter the search box (backspace and Enter
// are handled by the box itself and pass too).
bool AcceptTyped(QChar c);

// The quoted Like pattern for a text: "*<text>*". The asterisk and "#" keep
// their pattern meaning (any run of characters, one digit); the characters
// that cannot be typed but can be pasted mean themselves: a double quote is
// doubled inside the quotes, "?" and "[" are put in brackets.
QString Pattern(const QString& text);

// The whole statement for a trimmed, non-empty text. A scope outside the list
// searches as "All".
QString Build(const QString& text, int scope);

// " 1 account found", or a blank, the count and " accounts found".
QString CountText(int count);

}  // namespace FindStatement
