// DAO error texts and the small argument helpers every object uses.
#include <cctype>
#include <map>

#include "object.h"

namespace kh::store {

std::string describeError(unsigned number, const std::string& detail) {
  // '|' stands for the name the text is about, as in Jet's own messages.
  static const std::map<unsigned, const char*> texts = {
      {3000, "Reserved error (|); there is no message for this error."},
      {3001, "Invalid argument."},
      {3006, "Database '|' is exclusively locked."},
      {3010, "Table '|' already exists."},
      {3011, "Couldn't find object '|'."},
      {3012, "Object '|' already exists."},
      {3015, "'|' isn't an index in this table."},
      {3019, "Operation invalid without a current index."},
      {3020, "Update or CancelUpdate without AddNew or Edit."},
      {3021, "No current record."},
      {3022,
       "The changes you requested to the table were not successful because they would create duplicate values "
       "in the index, primary key, or relationship."},
      {3024, "Couldn't find file '|'."},
      {3026, "Not enough space on disk."},
      {3027, "Can't update. Database or object is read-only."},
      {3029, "Not a valid account name or password."},
      {3031, "Not a valid password."},
      {3034, "You tried to commit or rollback a transaction without first beginning a transaction."},
      {3035, "Out of memory."},
      {3044, "'|' isn't a valid path."},
      {3045, "Couldn't use '|'; file already in use."},
      {3049, "Can't open database '|'. It may not be a database that your application recognizes, or the file may "
             "be corrupt."},
      {3051, "Couldn't open file '|'. It is already opened exclusively by another user, or you need permission to "
             "view its data."},
      {3055, "Not a valid file name."},
      {3058, "Index or primary key can't contain a Null value."},
      {3061, "Too few parameters. Expected |."},
      {3065, "Cannot execute a select query."},
      {3070, "The database engine does not recognize '|' as a valid field name or expression."},
      {3073, "Operation must use an updatable query."},
      {3075, "Syntax error in query expression '|'."},
      {3078, "Couldn't find input table or query '|'."},
      {3085, "Undefined function '|' in expression."},
      {3125, "'|' isn't a valid name."},
      {3129, "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."},
      {3131, "Syntax error in FROM clause."},
      {3142, "Characters found after end of SQL statement."},
      {3159, "Not a valid bookmark."},
      {3162, "You tried to assign the Null value to a variable that isn't a Variant data type."},
      {3163, "The field '|' is too small to accept the amount of data you attempted to add."},
      {3164, "Field can't be updated."},
      {3167, "Record is deleted."},
      {3191, "Can't define field '|' more than once."},
      {3197, "Data has changed; operation stopped."},
      {3200, "The record can't be deleted or changed because table '|' includes related records."},
      {3201, "You can't add or change a record because a related record is required in table '|'."},
      {3204, "Database '|' already exists."},
      {3218, "Couldn't update; currently locked."},
      {3219, "Invalid operation."},
      {3251, "Operation is not supported for this type of object."},
      {3260, "Couldn't update; currently locked by another session on this machine."},
      {3264, "No field defined--cannot append TableDef or Index."},
      {3265, "Item not found in this collection."},
      {3270, "Property not found."},
      {3283, "Primary key already exists."},
      {3284, "Index already exists."},
      {3314, "The field '|' can't contain a Null value because the Required property for this field is set to "
             "True. Enter a value in this field."},
      {3315, "Field '|' can't be a zero-length string."},
      {3316, "|"},
      {3320, "Syntax error in the validation rule '|'."},
      {3343, "Unrecognized database format '|'."},
      {3349, "Numeric field overflow."},
      {3360, "Query is too complex."},
      {3366, "Can't append a relation with no fields defined."},
      {3368, "Relationship must be on the same number of fields with the same data types."},
      {3409, "Invalid field name '|' in definition of index or relationship."},
      {3367, "Can't append. An object with that name already exists in the collection."},
      {3420, "Object invalid or no longer set."},
      {3421, "Data type conversion error."},
      {3464, "Data type mismatch in criteria expression."},
  };
  auto it = texts.find(number);
  std::string text = it != texts.end() ? it->second : "Reserved error (|); there is no message for this error.";
  auto bar = text.find('|');
  if (bar != std::string::npos) {
    std::string fill = detail;
    if (it == texts.end() || number == 3000) fill = detail.empty() ? std::to_string(number) : detail;
    if (number == 3316 && fill.empty()) fill = "One or more values are prohibited by the validation rule set.";
    text.replace(bar, 1, fill);
  }
  return text;
}

bool isOmitted(const Variant& v) { return v.isEmpty() || v.isMissing(); }

std::string textArg(const Variant& v, const std::string& fallback) {
  if (isOmitted(v) || v.isNull()) return fallback;
  if (v.type() == VT_BSTR) return v.str();
  Variant s;
  if (FAILED(v.changeType(VT_BSTR, s))) fail(dao::err::InvalidArgument);
  return s.str();
}

std::int32_t longArg(const Variant& v, std::int32_t fallback) {
  if (isOmitted(v) || v.isNull()) return fallback;
  Variant n;
  if (FAILED(v.changeType(VT_I4, n))) fail(dao::err::InvalidArgument);
  return n.i4();
}

bool boolArg(const Variant& v, bool fallback) {
  if (isOmitted(v) || v.isNull()) return fallback;
  Variant b;
  if (FAILED(v.changeType(VT_BOOL, b))) fail(dao::err::InvalidArgument);
  return b.boolVal();
}

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace kh::store
