// The pure rules of the group and account commands: how a typed name is
// trimmed and checked before it reaches the store, the duplicate-name
// statement, the status bar's item count text and the address handed to the
// desktop for "Go to Web Address". No widgets, no engine calls.
#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace AccountRules {

// The store's Name column of Groups (and Group of the Options row).
constexpr int kGroupNameLength = 50;
// Description of Passwords.
constexpr int kDescriptionLength = 100;

// Leading and trailing blanks and control characters (everything up to and
// including the space) removed.
QString TrimName(const QString& text);

// Why `text` cannot be stored in a text column of `maxLength` characters, as
// a message naming the field (`what`, e.g. "group name"); empty when it can.
// Refused: more than `maxLength` characters, and characters outside
// Windows-1252 (the store's code page). Nothing is ever cut.
QString NameProblem(const QString& text, int maxLength, const QString& what);

// The duplicate-name check: the name is a bound parameter (:Name), so no
// text a user pastes can change the statement.
constexpr const char* kGroupExistsSQL = "Select Name from Groups where Name = :Name";

// The status bar's item count. `accounts`: records of the current group;
// `groups`: records of the groups; `groupName`: the current group's Name
// (null when there is no current group). No value when the panel keeps its
// text.
std::optional<QString> ItemCountText(int accounts, int groups, const QString& groupName, bool groupNameNull);

// The address the desktop opens for the web address box's text, as the
// Windows shell reads a typed address: a scheme stays as it is; an address
// without one that starts with "www." opens as http, "ftp." as ftp; any other
// text as a local path or whatever the desktop makes of it. Invalid for a
// blank text (nothing is opened).
QUrl WebAddressUrl(const QString& text);

}  // namespace AccountRules
