// Program-wide operations on password database files.
#pragma once

#include <QString>

class TDatabase;

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

// Copies the file `source` to `target` and answers what happened: on success
// the source size followed by " bytes copied", otherwise a text beginning
// with "Error - ". The checks run in this order: same path strings, missing
// source, missing target directory, unreadable source, target that cannot be
// created or overwritten, failure while copying. On success the target is a
// byte copy with the source's modification time and permission bits, created
// readable by its owner only until those are applied. Both files are closed on
// every path.
QString CopyFile(const QString& source, const QString& target);

// The sibling that compaction writes first: "~f8njid.fee" in the directory of
// the database file.
QString CompactionTemporaryPath(const QString& path);

// Compacts the closed database file at `path`, protected by `password`:
// repairs (checks) it, writes a compacted copy to the temporary sibling
// (deleting a leftover first), verifies that copy (it opens with the same
// password, every row of every table reads back and the rows equal the
// original's), makes it durable and renames it over the original. A crash at
// any moment therefore leaves either the untouched original or the complete,
// verified copy at `path`.
//
// Answers the result text of the replacement: "<size> bytes copied", or a
// text beginning with "Error - " when the copy could not be verified or could
// not be put in place; the original is then untouched (a copy that failed
// verification is removed, one that could not be renamed is kept). Failures of
// the DAO calls themselves are raised as EDAOError.
QString CompactDatabaseFile(const QString& path, const QString& password);

// The text answered when the compacted copy differs from the original.
inline constexpr const char* kCompactionNotVerified =
    "Error - The compacted copy could not be verified. The database file was left as it was";

// Gives the file open on `db` a new database password. The engine's database
// handle is its DAODatabase wrapper object (the same wrapper classes, built
// into both the engine and the program), so NewPassword is called on it
// directly. Raises EDatabaseError when `db` is not connected or a password
// cannot be handed to the engine, EDAOError when the store refuses.
void ChangeDatabasePassword(TDatabase& db, const QString& oldPassword, const QString& newPassword);
