// A new password database file, made with the program's calls.
#pragma once

#include <string>

namespace daotest {

// Creates the file at `path` (replacing any file there) protected by
// `password`: the tables Options, Groups and Passwords, the relation
// GroupsPassword, the options row and, with `samples`, the four sample groups.
void createPasswordDatabase(const std::string& path, const std::string& password, bool samples);

}  // namespace daotest
