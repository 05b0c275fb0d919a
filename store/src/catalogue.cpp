// The catalogue: Jet's table, field, index, relation and query definitions,
// kept in tables of the file and applied to SQLite as tables, indexes and the
// triggers that enforce Jet's field rules and referential integrity.
#include <algorithm>

#include "db.h"
#include "jetsql.h"

namespace kh::store {

using namespace dao;

namespace {

std::string quoteText(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// Field lists are stored as one text: entries separated by 0x1F; an entry is
// the name, 0x1D, the second name (foreign field) and 0x1D, the attributes.
std::string encodeFields(const std::vector<FieldDef>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) out += '\x1F';
    out += fields[i].name + '\x1D' + fields[i].foreignName + '\x1D' + std::to_string(fields[i].attributes);
  }
  return out;
}

std::vector<FieldDef> decodeFields(const std::string& text) {
  std::vector<FieldDef> out;
  if (text.empty()) return out;
  std::size_t i = 0;
  while (i <= text.size()) {
    std::size_t j = text.find('\x1F', i);
    if (j == std::string::npos) j = text.size();
    std::string entry = text.substr(i, j - i);
    FieldDef f;
    auto a = entry.find('\x1D');
    f.name = entry.substr(0, a);
    if (a != std::string::npos) {
      auto b = entry.find('\x1D', a + 1);
      f.foreignName = entry.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
      if (b != std::string::npos) f.attributes = std::stoi(entry.substr(b + 1));
    }
    out.push_back(std::move(f));
    i = j + 1;
  }
  return out;
}

std::string columnText(sqlite3_stmt* s, int i) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  return p ? p : "";
}

std::string sqlType(std::int16_t type) {
  switch (type) {
    case dbBoolean:
    case dbByte:
    case dbInteger:
    case dbLong: return "INTEGER";
    case dbCurrency:
    case dbSingle:
    case dbDouble:
    case dbDate: return "REAL";
    case dbBinary:
    case dbLongBinary: return "BLOB";
    default: return "TEXT COLLATE JETTEXT";
  }
}

std::string sqlIndexName(const std::string& table, const std::string& index) {
  return quoteName("kh_idx_" + table + "_" + index);
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::shared_ptr<TableData> DbState::findTable(const std::string& name) const {
  for (const auto& t : tables_)
    if (sameName(t->name, name)) return t;
  return nullptr;
}

std::shared_ptr<TableData> DbState::requireTable(const std::string& name) const {
  auto t = findTable(name);
  if (!t) fail(err::CantFindTable, name);
  return t;
}

std::shared_ptr<QueryData> DbState::findQuery(const std::string& name) const {
  for (const auto& q : queries_)
    if (sameName(q->name, name)) return q;
  return nullptr;
}

void DbState::ensureCatalogue(const std::string& locale) {
  atomically([&] {
    exec(std::string("CREATE TABLE ") + kCatInfo + " (Name TEXT PRIMARY KEY, Value TEXT)");
    exec(std::string("CREATE TABLE ") + kCatTables +
         " (Name TEXT PRIMARY KEY COLLATE NOCASE, Attributes INTEGER, ValidationRule TEXT, ValidationText TEXT,"
         " Seq INTEGER)");
    exec(std::string("CREATE TABLE ") + kCatFields +
         " (TableName TEXT COLLATE NOCASE, Name TEXT COLLATE NOCASE, Ordinal INTEGER, Type INTEGER, Size INTEGER,"
         " Attributes INTEGER, Required INTEGER, AllowZeroLength INTEGER, DefaultValue TEXT, ValidationRule TEXT,"
         " ValidationText TEXT, PRIMARY KEY (TableName, Name))");
    exec(std::string("CREATE TABLE ") + kCatIndexes +
         " (TableName TEXT COLLATE NOCASE, Name TEXT COLLATE NOCASE, Seq INTEGER, Fields TEXT, IsUnique INTEGER,"
         " IsPrimary INTEGER, IsRequired INTEGER, IgnoreNulls INTEGER, IsForeign INTEGER, SqlName TEXT,"
         " PRIMARY KEY (TableName, Name))");
    exec(std::string("CREATE TABLE ") + kCatRelations +
         " (Name TEXT PRIMARY KEY COLLATE NOCASE, TableName TEXT, ForeignTable TEXT, Attributes INTEGER,"
         " Fields TEXT, Seq INTEGER)");
    exec(std::string("CREATE TABLE ") + kCatQueries +
         " (Name TEXT PRIMARY KEY COLLATE NOCASE, SQL TEXT, Seq INTEGER)");
    exec(std::string("INSERT INTO ") + kCatInfo + " VALUES ('Format', 'Keyhaven store 1')");
    exec(std::string("INSERT INTO ") + kCatInfo + " VALUES ('Locale', " + quoteText(locale) + ")");
  });
  loadCatalogue();
}

void DbState::reloadCatalogue() {
  for (auto& [sql, stmt] : cache_) sqlite3_finalize(stmt);
  cache_.clear();
  loadCatalogue();
}

void DbState::loadCatalogue() {
  tables_.clear();
  relations_.clear();
  queries_.clear();
  ++schemaVersion_;
  {
    Statement check(db_, std::string("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = '") +
                             kCatTables + "'");
    check.step();
    if (sqlite3_column_int(check.get(), 0) == 0) fail(err::UnrecognizedFormat, path_);
  }
  Statement t(db_, std::string("SELECT Name, Attributes, ValidationRule, ValidationText FROM ") + kCatTables +
                       " ORDER BY Seq");
  while (t.step()) {
    auto td = std::make_shared<TableData>();
    td->name = columnText(t.get(), 0);
    td->attributes = sqlite3_column_int(t.get(), 1);
    td->validationRule = columnText(t.get(), 2);
    td->validationText = columnText(t.get(), 3);
    tables_.push_back(td);
  }
  Statement f(db_, std::string("SELECT TableName, Name, Ordinal, Type, Size, Attributes, Required, AllowZeroLength,"
                               " DefaultValue, ValidationRule, ValidationText FROM ") +
                       kCatFields + " ORDER BY TableName, Ordinal");
  while (f.step()) {
    auto td = findTable(columnText(f.get(), 0));
    if (!td) continue;
    FieldDef fd;
    fd.name = columnText(f.get(), 1);
    fd.ordinal = static_cast<std::int16_t>(sqlite3_column_int(f.get(), 2));
    fd.type = static_cast<std::int16_t>(sqlite3_column_int(f.get(), 3));
    fd.size = sqlite3_column_int(f.get(), 4);
    fd.attributes = sqlite3_column_int(f.get(), 5);
    fd.required = sqlite3_column_int(f.get(), 6) != 0;
    fd.allowZeroLength = sqlite3_column_int(f.get(), 7) != 0;
    fd.defaultValue = columnText(f.get(), 8);
    fd.validationRule = columnText(f.get(), 9);
    fd.validationText = columnText(f.get(), 10);
    td->fields.push_back(std::move(fd));
  }
  Statement x(db_, std::string("SELECT TableName, Name, Fields, IsUnique, IsPrimary, IsRequired, IgnoreNulls,"
                               " IsForeign FROM ") +
                       kCatIndexes + " ORDER BY TableName, Seq");
  while (x.step()) {
    auto td = findTable(columnText(x.get(), 0));
    if (!td) continue;
    IndexDef id;
    id.name = columnText(x.get(), 1);
    id.fields = decodeFields(columnText(x.get(), 2));
    id.unique = sqlite3_column_int(x.get(), 3) != 0;
    id.primary = sqlite3_column_int(x.get(), 4) != 0;
    id.required = sqlite3_column_int(x.get(), 5) != 0;
    id.ignoreNulls = sqlite3_column_int(x.get(), 6) != 0;
    id.foreign = sqlite3_column_int(x.get(), 7) != 0;
    td->indexes.push_back(std::move(id));
  }
  Statement r(db_, std::string("SELECT Name, TableName, ForeignTable, Attributes, Fields FROM ") + kCatRelations +
                       " ORDER BY Seq");
  while (r.step()) {
    auto rd = std::make_shared<RelationData>();
    rd->name = columnText(r.get(), 0);
    rd->table = columnText(r.get(), 1);
    rd->foreignTable = columnText(r.get(), 2);
    rd->attributes = sqlite3_column_int(r.get(), 3);
    rd->fields = decodeFields(columnText(r.get(), 4));
    relations_.push_back(rd);
  }
  Statement q(db_, std::string("SELECT Name, SQL FROM ") + kCatQueries + " ORDER BY Seq");
  while (q.step()) {
    auto qd = std::make_shared<QueryData>();
    qd->name = columnText(q.get(), 0);
    qd->sql = columnText(q.get(), 1);
    queries_.push_back(qd);
  }
  // The catalogue tables themselves are shown as system tables.
  for (const char* cat : {kCatInfo, kCatTables, kCatFields, kCatIndexes, kCatRelations, kCatQueries}) {
    auto td = std::make_shared<TableData>();
    td->name = cat;
    td->attributes = dbSystemObject;
    td->system = true;
    Statement info(db_, std::string("PRAGMA table_info(") + quoteName(cat) + ")");
    std::int16_t ordinal = 0;
    while (info.step()) {
      FieldDef fd;
      fd.name = columnText(info.get(), 1);
      std::string type = columnText(info.get(), 2);
      fd.type = type == "INTEGER" ? dbLong : dbMemo;
      fd.size = fixedSizeOf(fd.type);
      fd.ordinal = ordinal++;
      td->fields.push_back(std::move(fd));
    }
    tables_.push_back(td);
  }
}

std::string DbState::createTableSql(const TableData& table) const {
  std::string sql = "CREATE TABLE " + quoteName(table.name) + " (";
  for (std::size_t i = 0; i < table.fields.size(); ++i) {
    const auto& f = table.fields[i];
    if (i) sql += ", ";
    sql += quoteName(f.name) + " ";
    if (f.attributes & dbAutoIncrField)
      sql += "INTEGER PRIMARY KEY AUTOINCREMENT";
    else
      sql += sqlType(f.type);
  }
  return sql + ")";
}

std::string DbState::createIndexSql(const TableData& table, const IndexDef& index) const {
  std::string sql = std::string("CREATE ") + (index.unique || index.primary ? "UNIQUE " : "") + "INDEX " +
                    sqlIndexName(table.name, index.name) + " ON " + quoteName(table.name) + " (";
  std::string where;
  for (std::size_t i = 0; i < index.fields.size(); ++i) {
    if (i) sql += ", ";
    sql += quoteName(index.fields[i].name);
    if (index.fields[i].attributes & dbDescending) sql += " DESC";
    if (index.ignoreNulls) where += std::string(where.empty() ? " WHERE " : " AND ") + quoteName(index.fields[i].name) + " IS NOT NULL";
  }
  return sql + ")" + where;
}

void DbState::writeTableCatalogue(const TableData& table) {
  exec(std::string("DELETE FROM ") + kCatFields + " WHERE TableName = " + quoteText(table.name));
  exec(std::string("DELETE FROM ") + kCatIndexes + " WHERE TableName = " + quoteText(table.name));
  Statement f(db_, std::string("INSERT INTO ") + kCatFields + " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
  for (std::size_t i = 0; i < table.fields.size(); ++i) {
    const auto& fd = table.fields[i];
    f.reset();
    f.bindText(1, table.name);
    f.bindText(2, fd.name);
    f.bindInt(3, static_cast<sqlite3_int64>(i));
    f.bindInt(4, fd.type);
    f.bindInt(5, fd.size);
    f.bindInt(6, fd.attributes);
    f.bindInt(7, fd.required);
    f.bindInt(8, fd.allowZeroLength);
    f.bindText(9, fd.defaultValue);
    f.bindText(10, fd.validationRule);
    f.bindText(11, fd.validationText);
    f.run();
  }
  Statement x(db_, std::string("INSERT INTO ") + kCatIndexes + " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    const auto& id = table.indexes[i];
    x.reset();
    x.bindText(1, table.name);
    x.bindText(2, id.name);
    x.bindInt(3, static_cast<sqlite3_int64>(i));
    x.bindText(4, encodeFields(id.fields));
    x.bindInt(5, id.unique);
    x.bindInt(6, id.primary);
    x.bindInt(7, id.required);
    x.bindInt(8, id.ignoreNulls);
    x.bindInt(9, id.foreign);
    x.bindText(10, sqlIndexName(table.name, id.name));
    x.run();
  }
}

// The triggers of one table: Jet's field rules on insert and update, and the
// relations in which the table takes part.
void DbState::rebuildTriggers(const std::string& tableName) {
  auto table = findTable(tableName);
  for (const char* kind : {"ins", "upd", "del", "aupd", "adel", "ains"})
    exec("DROP TRIGGER IF EXISTS " + quoteName(std::string("kh_") + kind + "_" + lower(tableName)));
  if (!table) return;

  auto checks = [&](const char* row) {
    std::string body;
    auto raise = [&](unsigned number, const std::string& detail, const std::string& condition) {
      body += "SELECT RAISE(ABORT, " + quoteText("kh:" + std::to_string(number) + ":" + detail) + ") WHERE " +
              condition + ";\n";
    };
    for (const auto& f : table->fields) {
      std::string col = std::string(row) + "." + quoteName(f.name);
      if (f.attributes & dbAutoIncrField) continue;
      if (f.required) raise(err::FieldCantBeNull, table->name + "." + f.name, col + " IS NULL");
      if (isTextType(f.type) && !f.allowZeroLength) raise(err::ZeroLengthNotAllowed, table->name + "." + f.name, col + " = ''");
      if ((f.type == dbText || f.type == dbBinary) && f.size > 0)
        raise(err::FieldTooSmall, f.name, "length(" + col + ") > " + std::to_string(f.size));
    }
    // Validation rules see the new record's values under the field names.
    auto ruleCheck = [&](const std::string& rule, const std::string& message, const std::string& field) {
      std::string expr = rule;
      char first = expr.empty() ? ' ' : expr.front();
      if (!field.empty() && (first == '<' || first == '>' || first == '=')) expr = jet::quoteIdentifier(field) + " " + expr;
      if (!field.empty() && rule.size() >= 4) {
        std::string head;
        for (char c : rule.substr(0, 8)) head += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (head.rfind("like ", 0) == 0 || head.rfind("between ", 0) == 0 || head.rfind("in ", 0) == 0 ||
            head.rfind("in(", 0) == 0 || head.rfind("is ", 0) == 0 || head.rfind("not ", 0) == 0)
          expr = jet::quoteIdentifier(field) + " " + expr;
      }
      jet::ExpressionTranslation t;
      jet::Error e;
      if (!jet::translateExpression(expr, {}, t, e) || !t.parameters.empty()) fail(3320, rule);
      std::string values;
      for (const auto& f : table->fields)
        values += (values.empty() ? "" : ", ") + std::string(row) + "." + quoteName(f.name) + " AS " + quoteName(f.name);
      std::string text = message;
      if (text.empty())
        text = "One or more values are prohibited by the validation rule '" + rule + "' set for '" +
               (field.empty() ? table->name : table->name + "." + field) +
               "'. Enter a value that the expression for this field can accept.";
      raise(err::ValidationRuleViolated, text, "NOT (SELECT (" + t.sql + ") FROM (SELECT " + values + "))");
    };
    for (const auto& f : table->fields)
      if (!f.validationRule.empty()) ruleCheck(f.validationRule, f.validationText, f.name);
    if (!table->validationRule.empty()) ruleCheck(table->validationRule, table->validationText, "");
    for (const auto& ix : table->indexes) {
      if (!(ix.primary || ix.required)) continue;
      for (const auto& xf : ix.fields) {
        const FieldDef* f = table->field(xf.name);
        if (f && (f->attributes & dbAutoIncrField)) continue;
        raise(err::NullInIndex, ix.name, std::string(row) + "." + quoteName(xf.name) + " IS NULL");
      }
    }
    // As the foreign table of a relation: the primary record must exist.
    for (const auto& rel : relations_) {
      if (!sameName(rel->foreignTable, table->name) || (rel->attributes & dbRelationDontEnforce)) continue;
      std::string notNull, match;
      for (const auto& rf : rel->fields) {
        if (!notNull.empty()) notNull += " AND ";
        notNull += std::string(row) + "." + quoteName(rf.foreignName) + " IS NOT NULL";
        if (!match.empty()) match += " AND ";
        match += "p." + quoteName(rf.name) + " = " + row + "." + quoteName(rf.foreignName);
      }
      raise(err::RelatedRecordRequired, rel->table,
            notNull + " AND NOT EXISTS (SELECT 1 FROM " + quoteName(rel->table) + " AS p WHERE " + match + ")");
    }
    return body;
  };

  std::string lt = lower(table->name);
  std::string qt = quoteName(table->name);
  std::string ins = checks("NEW");
  if (!ins.empty())
    exec("CREATE TRIGGER " + quoteName("kh_ins_" + lt) + " BEFORE INSERT ON " + qt + " BEGIN\n" + ins + "END");

  std::string upd = checks("NEW");
  std::string del, aupd, adel;
  // As the primary table of a relation: cascade, or refuse while related records exist.
  for (const auto& rel : relations_) {
    if (!sameName(rel->table, table->name) || (rel->attributes & dbRelationDontEnforce)) continue;
    std::string related, changed, set;
    for (const auto& rf : rel->fields) {
      if (!related.empty()) related += " AND ";
      related += "f." + quoteName(rf.foreignName) + " = OLD." + quoteName(rf.name);
      if (!changed.empty()) changed += " OR ";
      changed += "NEW." + quoteName(rf.name) + " IS NOT OLD." + quoteName(rf.name);
      if (!set.empty()) set += ", ";
      set += quoteName(rf.foreignName) + " = NEW." + quoteName(rf.name);
    }
    std::string exists = "EXISTS (SELECT 1 FROM " + quoteName(rel->foreignTable) + " AS f WHERE " + related + ")";
    std::string fwhere = related;
    // Inside UPDATE/DELETE statements the alias is not available.
    std::string plainRelated;
    for (const auto& rf : rel->fields) {
      if (!plainRelated.empty()) plainRelated += " AND ";
      plainRelated += quoteName(rf.foreignName) + " = OLD." + quoteName(rf.name);
    }
    std::string raise = "SELECT RAISE(ABORT, " + quoteText("kh:" + std::to_string(err::RelatedRecordsExist) + ":" +
                                                           rel->foreignTable) + ")";
    if (rel->attributes & dbRelationUpdateCascade)
      aupd += "UPDATE " + quoteName(rel->foreignTable) + " SET " + set + " WHERE (" + changed + ") AND " +
              plainRelated + ";\n";
    else
      upd += raise + " WHERE (" + changed + ") AND " + exists + ";\n";
    if (rel->attributes & dbRelationDeleteCascade)
      adel += "DELETE FROM " + quoteName(rel->foreignTable) + " WHERE " + plainRelated + ";\n";
    else
      del += raise + " WHERE " + exists + ";\n";
  }
  // SQLite counts an auto-increment column on past the Long range, which would
  // read back wrapped: a value outside it fails instead. A new row's value is
  // known only after the insert, which the failure then undoes.
  if (const FieldDef* counter = table->autoIncrement()) {
    std::string overflow = "SELECT RAISE(ABORT, " +
                           quoteText("kh:" + std::to_string(err::NumericOverflow) + ":" + counter->name) +
                           ") WHERE NOT (NEW." + quoteName(counter->name) + " BETWEEN -2147483648 AND 2147483647);\n";
    exec("CREATE TRIGGER " + quoteName("kh_ains_" + lt) + " AFTER INSERT ON " + qt + " BEGIN\n" + overflow + "END");
    upd += overflow;
  }
  if (!upd.empty())
    exec("CREATE TRIGGER " + quoteName("kh_upd_" + lt) + " BEFORE UPDATE ON " + qt + " BEGIN\n" + upd + "END");
  if (!aupd.empty())
    exec("CREATE TRIGGER " + quoteName("kh_aupd_" + lt) + " AFTER UPDATE ON " + qt + " BEGIN\n" + aupd + "END");
  if (!del.empty())
    exec("CREATE TRIGGER " + quoteName("kh_del_" + lt) + " BEFORE DELETE ON " + qt + " BEGIN\n" + del + "END");
  if (!adel.empty())
    exec("CREATE TRIGGER " + quoteName("kh_adel_" + lt) + " AFTER DELETE ON " + qt + " BEGIN\n" + adel + "END");
}

void DbState::rebuildAllTriggers() {
  // Drop every trigger of ours first: a renamed table leaves triggers behind
  // whose bodies still name the old table.
  std::vector<std::string> names;
  {
    Statement s(db_, "SELECT name FROM sqlite_master WHERE type = 'trigger' AND name LIKE 'kh\\_%' ESCAPE '\\'");
    while (s.step()) names.push_back(columnText(s.get(), 0));
  }
  for (const auto& n : names) exec("DROP TRIGGER IF EXISTS " + quoteName(n));
  for (const auto& t : tables_)
    if (!t->system) rebuildTriggers(t->name);
}

// ---- schema changes ------------------------------------------------------

namespace {

void validateName(const std::string& name) {
  if (name.empty() || name.size() > 64 || name.front() == ' ') fail(err::BadName, name);
  for (char c : name)
    if (c == '.' || c == '!' || c == '[' || c == ']' || c == '`' || static_cast<unsigned char>(c) < 32)
      fail(err::BadName, name);
}

void validateIndex(const TableData& table, const IndexDef& index) {
  validateName(index.name);
  if (index.fields.empty()) fail(err::InvalidFieldName);
  for (const auto& f : index.fields)
    if (!table.field(f.name)) fail(3409, f.name);
}

}  // namespace

void DbState::appendTable(const TableData& input) {
  requireWritable();
  validateName(input.name);
  if (findTable(input.name) || findQuery(input.name)) fail(err::TableExists, input.name);
  if (input.fields.empty()) fail(err::InvalidFieldName);
  TableData table = input;
  int autos = 0;
  for (std::size_t i = 0; i < table.fields.size(); ++i) {
    auto& f = table.fields[i];
    validateName(f.name);
    for (std::size_t j = 0; j < i; ++j)
      if (sameName(table.fields[j].name, f.name)) fail(err::CantDefineFieldTwice, f.name);
    if (!isValidFieldType(f.type)) fail(err::InvalidArgument);
    if (f.attributes & dbAutoIncrField) {
      if (f.type != dbLong || ++autos > 1) fail(err::InvalidArgument);
    }
    if (f.type == dbText && (f.size <= 0 || f.size > 255)) f.size = f.size <= 0 ? 50 : f.size;
    if (f.type == dbText && f.size > 255) fail(err::InvalidArgument);
    if (f.type != dbText && f.type != dbBinary) f.size = fixedSizeOf(f.type);
    if (f.type == dbBinary && (f.size <= 0 || f.size > 255)) f.size = 255;
    f.ordinal = static_cast<std::int16_t>(i);
  }
  int primaries = 0;
  for (std::size_t i = 0; i < table.indexes.size(); ++i) {
    validateIndex(table, table.indexes[i]);
    if (table.indexes[i].primary && ++primaries > 1) fail(err::PrimaryKeyExists);
    for (std::size_t j = 0; j < i; ++j)
      if (sameName(table.indexes[j].name, table.indexes[i].name)) fail(err::IndexExists);
  }
  atomically([&] {
    exec(createTableSql(table));
    for (const auto& ix : table.indexes) exec(createIndexSql(table, ix));
    Statement t(db_, std::string("INSERT INTO ") + kCatTables +
                         " VALUES (?1, ?2, ?3, ?4, (SELECT ifnull(max(Seq), 0) + 1 FROM " + kCatTables + "))");
    t.bindText(1, table.name);
    t.bindInt(2, table.attributes & ~dbSystemObject);
    t.bindText(3, table.validationRule);
    t.bindText(4, table.validationText);
    t.run();
    writeTableCatalogue(table);
    tables_.insert(tables_.begin() + static_cast<long>(std::count_if(tables_.begin(), tables_.end(),
                                                                     [](const auto& x) { return !x->system; })),
                   std::make_shared<TableData>(table));
    rebuildTriggers(table.name);
  });
  ++schemaVersion_;
}

void DbState::deleteTable(const std::string& name) {
  requireWritable();
  auto table = requireTable(name);
  if (table->system) fail(err::NoPermission);
  for (const auto& rel : relations_)
    if (sameName(rel->table, name) || sameName(rel->foreignTable, name)) fail(3303, name);
  atomically([&] {
    exec("DROP TABLE " + quoteName(table->name));
    for (const char* cat : {kCatTables, kCatFields, kCatIndexes}) {
      std::string col = std::string(cat) == kCatTables ? "Name" : "TableName";
      exec(std::string("DELETE FROM ") + cat + " WHERE " + col + " = " + quoteText(table->name));
    }
  });
  tables_.erase(std::find(tables_.begin(), tables_.end(), table));
  ++schemaVersion_;
}

void DbState::renameTable(const std::string& oldName, const std::string& newName) {
  requireWritable();
  auto table = requireTable(oldName);
  if (table->system) fail(err::NoPermission);
  validateName(newName);
  if (!sameName(oldName, newName) && (findTable(newName) || findQuery(newName))) fail(err::TableExists, newName);
  const std::string previous = table->name;
  atomically([&] {
    exec("ALTER TABLE " + quoteName(table->name) + " RENAME TO " + quoteName(newName));
    exec(std::string("UPDATE ") + kCatTables + " SET Name = " + quoteText(newName) + " WHERE Name = " + quoteText(oldName));
    exec(std::string("UPDATE ") + kCatFields + " SET TableName = " + quoteText(newName) + " WHERE TableName = " + quoteText(oldName));
    exec(std::string("UPDATE ") + kCatIndexes + " SET TableName = " + quoteText(newName) + " WHERE TableName = " + quoteText(oldName));
    exec(std::string("UPDATE ") + kCatRelations + " SET TableName = " + quoteText(newName) + " WHERE TableName = " + quoteText(oldName));
    exec(std::string("UPDATE ") + kCatRelations + " SET ForeignTable = " + quoteText(newName) + " WHERE ForeignTable = " + quoteText(oldName));
    table->name = newName;
    // SQLite index names carry the table name; they follow the rename.
    for (const auto& index : table->indexes) {
      exec("DROP INDEX " + sqlIndexName(previous, index.name));
      exec(createIndexSql(*table, index));
    }
    writeTableCatalogue(*table);
    for (auto& rel : relations_) {
      if (sameName(rel->table, oldName)) rel->table = newName;
      if (sameName(rel->foreignTable, oldName)) rel->foreignTable = newName;
    }
    rebuildAllTriggers();
  });
  ++schemaVersion_;
}

void DbState::appendField(const std::string& tableName, const FieldDef& input) {
  requireWritable();
  auto table = requireTable(tableName);
  if (table->system) fail(err::NoPermission);
  validateName(input.name);
  if (table->field(input.name)) fail(err::ObjectAlreadyInCollection);
  if (!isValidFieldType(input.type)) fail(err::InvalidArgument);
  FieldDef f = input;
  if (f.attributes & dbAutoIncrField) fail(err::InvalidOperation);
  if (f.type == dbText && f.size <= 0) f.size = 50;
  if (f.type == dbText && f.size > 255) fail(err::InvalidArgument);
  if (f.type != dbText && f.type != dbBinary) f.size = fixedSizeOf(f.type);
  f.ordinal = static_cast<std::int16_t>(table->fields.size());
  atomically([&] {
    exec("ALTER TABLE " + quoteName(table->name) + " ADD COLUMN " + quoteName(f.name) + " " + sqlType(f.type));
    table->fields.push_back(f);
    writeTableCatalogue(*table);
    rebuildTriggers(table->name);
  });
  ++schemaVersion_;
}

void DbState::deleteField(const std::string& tableName, const std::string& fieldName) {
  requireWritable();
  auto table = requireTable(tableName);
  if (table->system) fail(err::NoPermission);
  int idx = table->fieldIndex(fieldName);
  if (idx < 0) fail(err::ItemNotFound);
  for (const auto& ix : table->indexes)
    for (const auto& xf : ix.fields)
      if (sameName(xf.name, fieldName)) fail(3280, fieldName);  // part of an index
  for (const auto& rel : relations_)
    for (const auto& rf : rel->fields)
      if ((sameName(rel->table, tableName) && sameName(rf.name, fieldName)) ||
          (sameName(rel->foreignTable, tableName) && sameName(rf.foreignName, fieldName)))
        fail(3303, fieldName);
  // The table is rebuilt without the column.
  TableData next = *table;
  next.fields.erase(next.fields.begin() + idx);
  std::string cols;
  for (const auto& f : next.fields) cols += (cols.empty() ? "" : ", ") + quoteName(f.name);
  atomically([&] {
    std::string tmp = "kh_rebuild_" + table->name;
    TableData shadow = next;
    shadow.name = tmp;
    exec(createTableSql(shadow));
    if (!cols.empty())
      exec("INSERT INTO " + quoteName(tmp) + " (" + cols + ") SELECT " + cols + " FROM " + quoteName(table->name));
    exec("DROP TABLE " + quoteName(table->name));
    exec("ALTER TABLE " + quoteName(tmp) + " RENAME TO " + quoteName(table->name));
    for (const auto& ix : next.indexes) exec(createIndexSql(next, ix));
    *table = next;
    writeTableCatalogue(*table);
    rebuildAllTriggers();
  });
  ++schemaVersion_;
}

void DbState::updateField(const std::string& tableName, const FieldDef& field) {
  requireWritable();
  auto table = requireTable(tableName);
  if (table->system) fail(err::NoPermission);
  int idx = table->fieldIndex(field.name);
  if (idx < 0) fail(err::ItemNotFound);
  atomically([&] {
    auto& f = table->fields[static_cast<std::size_t>(idx)];
    f.required = field.required;
    f.allowZeroLength = field.allowZeroLength;
    f.defaultValue = field.defaultValue;
    f.validationRule = field.validationRule;
    f.validationText = field.validationText;
    writeTableCatalogue(*table);
    rebuildTriggers(table->name);
  });
  ++schemaVersion_;
}

void DbState::appendIndex(const std::string& tableName, const IndexDef& index) {
  requireWritable();
  auto table = requireTable(tableName);
  if (table->system) fail(err::NoPermission);
  validateIndex(*table, index);
  for (const auto& ix : table->indexes) {
    if (sameName(ix.name, index.name)) fail(err::IndexExists);
    if (ix.primary && index.primary) fail(err::PrimaryKeyExists);
  }
  atomically([&] {
    exec(createIndexSql(*table, index));
    table->indexes.push_back(index);
    writeTableCatalogue(*table);
    rebuildTriggers(table->name);
  });
  ++schemaVersion_;
}

void DbState::deleteIndex(const std::string& tableName, const std::string& indexName) {
  requireWritable();
  auto table = requireTable(tableName);
  auto it = std::find_if(table->indexes.begin(), table->indexes.end(),
                         [&](const IndexDef& x) { return sameName(x.name, indexName); });
  if (it == table->indexes.end()) fail(err::ItemNotFound);
  atomically([&] {
    exec("DROP INDEX " + sqlIndexName(table->name, it->name));
    table->indexes.erase(it);
    writeTableCatalogue(*table);
    rebuildTriggers(table->name);
  });
  ++schemaVersion_;
}

void DbState::appendRelation(const RelationData& input) {
  requireWritable();
  validateName(input.name);
  for (const auto& r : relations_)
    if (sameName(r->name, input.name)) fail(err::ObjectAlreadyInCollection);
  auto primary = requireTable(input.table);
  auto foreign = requireTable(input.foreignTable);
  if (input.fields.empty()) fail(3366);
  RelationData rel = input;
  rel.table = primary->name;
  rel.foreignTable = foreign->name;
  for (auto& rf : rel.fields) {
    if (rf.foreignName.empty()) rf.foreignName = rf.name;
    const FieldDef* pf = primary->field(rf.name);
    const FieldDef* ff = foreign->field(rf.foreignName);
    if (!pf || !ff) fail(3409, pf ? rf.foreignName : rf.name);
    rf.name = pf->name;
    rf.foreignName = ff->name;
  }
  atomically([&] {
    if (!(rel.attributes & dbRelationDontEnforce)) {
      // Existing records must already keep the rule.
      std::string match, notNull;
      for (const auto& rf : rel.fields) {
        match += (match.empty() ? "" : " AND ") + ("p." + quoteName(rf.name) + " = f." + quoteName(rf.foreignName));
        notNull += (notNull.empty() ? "" : " AND ") + ("f." + quoteName(rf.foreignName) + " IS NOT NULL");
      }
      Statement s(db_, "SELECT count(*) FROM " + quoteName(rel.foreignTable) + " AS f WHERE " + notNull +
                           " AND NOT EXISTS (SELECT 1 FROM " + quoteName(rel.table) + " AS p WHERE " + match + ")");
      s.step();
      if (sqlite3_column_int(s.get(), 0) > 0) fail(err::RelatedRecordRequired, rel.table);
    }
    Statement r(db_, std::string("INSERT INTO ") + kCatRelations +
                         " VALUES (?1, ?2, ?3, ?4, ?5, (SELECT ifnull(max(Seq), 0) + 1 FROM " + kCatRelations + "))");
    r.bindText(1, rel.name);
    r.bindText(2, rel.table);
    r.bindText(3, rel.foreignTable);
    r.bindInt(4, rel.attributes);
    r.bindText(5, encodeFields(rel.fields));
    r.run();
    relations_.push_back(std::make_shared<RelationData>(rel));
    rebuildTriggers(rel.table);
    rebuildTriggers(rel.foreignTable);
  });
  ++schemaVersion_;
}

void DbState::deleteRelation(const std::string& name) {
  requireWritable();
  auto it = std::find_if(relations_.begin(), relations_.end(), [&](const auto& r) { return sameName(r->name, name); });
  if (it == relations_.end()) fail(err::ItemNotFound);
  auto rel = *it;
  atomically([&] {
    exec(std::string("DELETE FROM ") + kCatRelations + " WHERE Name = " + quoteText(rel->name));
    relations_.erase(it);
    rebuildTriggers(rel->table);
    rebuildTriggers(rel->foreignTable);
  });
  ++schemaVersion_;
}

void DbState::appendQuery(const QueryData& query) {
  requireWritable();
  validateName(query.name);
  if (findQuery(query.name) || findTable(query.name)) fail(err::ObjectAlreadyInCollection);
  atomically([&] {
    Statement q(db_, std::string("INSERT INTO ") + kCatQueries +
                         " VALUES (?1, ?2, (SELECT ifnull(max(Seq), 0) + 1 FROM " + kCatQueries + "))");
    q.bindText(1, query.name);
    q.bindText(2, query.sql);
    q.run();
  });
  queries_.push_back(std::make_shared<QueryData>(query));
}

void DbState::updateQuery(const std::string& name, const std::string& sql) {
  requireWritable();
  auto q = findQuery(name);
  if (!q) fail(err::ItemNotFound);
  Statement s(db_, std::string("UPDATE ") + kCatQueries + " SET SQL = ?1 WHERE Name = ?2");
  s.bindText(1, sql);
  s.bindText(2, q->name);
  s.run();
  q->sql = sql;
}

void DbState::deleteQuery(const std::string& name) {
  requireWritable();
  auto it = std::find_if(queries_.begin(), queries_.end(), [&](const auto& q) { return sameName(q->name, name); });
  if (it == queries_.end()) fail(err::ItemNotFound);
  exec(std::string("DELETE FROM ") + kCatQueries + " WHERE Name = " + quoteText((*it)->name));
  queries_.erase(it);
}

}  // namespace kh::store
