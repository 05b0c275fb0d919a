// Program-wide operations on password database files.
#pragma once

#include <QString>

// Makes a new password database file at `path` (replacing any file there),
// protected by `password`, through the program's own DAO layer: the tables
// Options, Groups and Passwords with their indexes, the relation
// GroupsPassword, the options row and, with `samples`, the four sample groups
// ("Email Accounts" then selected in the options row).
//
// The file must stay openable through the engine, which receives the password
// in Windows-1252 inside a quoted connection parameter: a password holding a
// character outside Windows-1252 or a double quote, and a path outside
// Windows-1252, are refused (EDatabaseError) before anything is touched.
// Failures of the DAO calls are raised as EDAOError.
void CreateDatabaseFile(const QString& path, const QString& password, bool samples);
