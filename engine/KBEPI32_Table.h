// Table cursors and the table and index structure calls.
#pragma once

#include <memory>
#include <string>

#include "CvDAO35.h"

namespace kbe::table {

// The name a table is looked up under: `name` without a trailing ".DB" (in
// capitals exactly; other letter cases are kept).
std::string lookupName(const char* name);

// The table definition of `name` (see lookupName) in `db`, or null when there
// is none (any failure of the lookup counts as not found).
std::unique_ptr<DAOTableDef> findTableDef(DAODatabase& db, const char* name);

}  // namespace kbe::table
