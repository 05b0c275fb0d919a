#include "sqlbridge.h"

#include "jetsql.h"

namespace kh::store {

using namespace dao;

namespace {

[[noreturn]] void failTranslation(const jet::Error& e) { throw Failure(e.daoError, e.message); }

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

struct Unresolved {
  std::string column;  // a name that is no column: it becomes a parameter
  std::string table;   // a name that is no table: perhaps a stored query
};

bool isSqliteInternal(const char* table) { return table && sqlite3_strnicmp(table, "sqlite_", 7) == 0; }

// What the check of a caller's statement refused, if anything.
struct Refusal {
  unsigned error = 0;
  std::string name;
};

// Every statement a caller sends is prepared once under this check before it
// runs: it may read and change the tables of the database and read the
// catalogue, but never change the catalogue (only the store's own code writes
// it) nor touch SQLite's own tables, and it does nothing but query and change
// rows. The translator prints only such statements; this holds whatever it
// prints.
int checkCallerAccess(void* context, int action, const char* a1, const char*, const char*, const char*) {
  auto* refusal = static_cast<Refusal*>(context);
  auto refuse = [&](unsigned error, const char* name) {
    if (!refusal->error) *refusal = {error, name ? name : ""};
    return SQLITE_DENY;
  };
  switch (action) {
    case SQLITE_READ: return isSqliteInternal(a1) ? refuse(err::CantFindTable, a1) : SQLITE_OK;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
      if (isSqliteInternal(a1)) return refuse(err::CantFindTable, a1);
      return a1 && isCatalogueTable(a1) ? refuse(err::ReadOnly, a1) : SQLITE_OK;
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE: return SQLITE_OK;
    default: return refuse(err::InvalidSql, nullptr);  // pragmas, attachments, schema changes, transactions
  }
}

// Prepares `sql` to learn whether every name resolves and that it stays
// within what a caller may do.
Unresolved unresolvedName(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  Refusal refusal;
  sqlite3_set_authorizer(db, checkCallerAccess, &refusal);
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &s, nullptr);
  sqlite3_set_authorizer(db, nullptr, nullptr);
  sqlite3_finalize(s);
  if (refusal.error) fail(refusal.error, refusal.name);
  if (rc == SQLITE_OK) return {};
  std::string msg = sqlite3_errmsg(db);
  if (startsWith(msg, "no such column: ")) return {msg.substr(16), {}};
  if (startsWith(msg, "no such table: ")) return {{}, msg.substr(15)};
  failFromSqlite(db, rc);
}

std::int16_t jetType(int daoType) { return static_cast<std::int16_t>(daoType); }

store::IndexDef indexFrom(const jet::IndexDef& d, const std::string& fallbackName) {
  store::IndexDef x;
  x.name = d.name.empty() ? fallbackName : d.name;
  for (const auto& c : d.columns) {
    FieldDef f;
    f.name = c.name;
    f.attributes = c.descending ? dbDescending : 0;
    x.fields.push_back(std::move(f));
  }
  x.primary = d.primary;
  x.unique = d.unique || d.primary;
  x.required = d.required || d.primary;
  x.ignoreNulls = d.ignoreNulls;
  return x;
}

FieldDef fieldFrom(const jet::ColumnDef& c) {
  FieldDef f;
  f.name = c.name;
  f.type = jetType(c.daoType);
  f.size = c.size;
  f.required = c.notNull;
  // Text columns made by DDL accept empty strings, as Jet's DDL makes them.
  f.allowZeroLength = isTextType(f.type);
  if (c.autoIncrement) f.attributes |= dbAutoIncrField;
  return f;
}

void addForeignKeys(DbState& db, const std::string& table, const std::vector<jet::ForeignKeyDef>& keys) {
  for (const auto& fk : keys) {
    RelationData r;
    r.name = fk.name.empty() ? fk.referencedTable + table : fk.name;
    r.table = fk.referencedTable;
    r.foreignTable = table;
    std::vector<std::string> referenced = fk.referencedColumns;
    if (referenced.empty()) {
      auto primary = db.requireTable(fk.referencedTable);
      for (const auto& ix : primary->indexes)
        if (ix.primary)
          for (const auto& f : ix.fields) referenced.push_back(f.name);
    }
    if (referenced.size() != fk.columns.size()) fail(3368);
    for (std::size_t i = 0; i < fk.columns.size(); ++i) {
      FieldDef f;
      f.name = referenced[i];
      f.foreignName = fk.columns[i];
      r.fields.push_back(std::move(f));
    }
    db.appendRelation(r);
  }
}

std::int32_t runDdl(DbState& db, const jet::Translation& t) {
  const auto& d = t.ddl;
  switch (t.kind) {
    case jet::StatementKind::CreateTable: {
      TableData td;
      td.name = d.table;
      for (const auto& c : d.columns) td.fields.push_back(fieldFrom(c));
      int n = 0;
      for (const auto& ix : d.indexes)
        td.indexes.push_back(indexFrom(ix, ix.primary ? "PrimaryKey" : "Index" + std::to_string(++n)));
      db.atomically([&] {
        db.appendTable(td);
        addForeignKeys(db, td.name, d.foreignKeys);
      });
      return 0;
    }
    case jet::StatementKind::DropTable: db.deleteTable(d.table); return 0;
    case jet::StatementKind::CreateIndex:
      for (const auto& ix : d.indexes) db.appendIndex(d.table, indexFrom(ix, ix.name));
      return 0;
    case jet::StatementKind::DropIndex: db.deleteIndex(d.table, d.name); return 0;
    case jet::StatementKind::AddColumn:
      for (const auto& c : d.columns) db.appendField(d.table, fieldFrom(c));
      return 0;
    case jet::StatementKind::DropColumn: db.deleteField(d.table, d.name); return 0;
    case jet::StatementKind::AddConstraint:
      db.atomically([&] {
        for (const auto& ix : d.indexes) db.appendIndex(d.table, indexFrom(ix, ix.primary ? "PrimaryKey" : "Index1"));
        addForeignKeys(db, d.table, d.foreignKeys);
      });
      return 0;
    case jet::StatementKind::DropConstraint: {
      auto table = db.requireTable(d.table);
      for (const auto& ix : table->indexes)
        if (sameName(ix.name, d.name)) {
          db.deleteIndex(d.table, d.name);
          return 0;
        }
      db.deleteRelation(d.name);
      return 0;
    }
    default: fail(err::InvalidSql);
  }
}

// SELECT ... INTO: a new table with the result's columns, filled with its rows.
std::int32_t makeTable(DbState& db, const PreparedJet& p, const std::vector<Variant>& values) {
  if (db.findTable(p.intoTable)) fail(err::TableExists, p.intoTable);
  TableData td;
  td.name = p.intoTable;
  {
    Statement s(db.handle(), p.plan.sql);
    int n = sqlite3_column_count(s.get());
    for (int i = 0; i < n; ++i) {
      FieldDef f;
      const char* name = sqlite3_column_name(s.get(), i);
      f.name = name ? name : "Expr" + std::to_string(1000 + i);
      const char* table = sqlite3_column_table_name(s.get(), i);
      const char* origin = sqlite3_column_origin_name(s.get(), i);
      auto src = table ? db.findTable(table) : nullptr;
      const FieldDef* sf = (src && origin) ? src->field(origin) : nullptr;
      if (sf) {
        f.type = sf->type;
        f.size = sf->size;
        f.allowZeroLength = sf->allowZeroLength;
      } else {
        const char* decl = sqlite3_column_decltype(s.get(), i);
        std::string dt = decl ? decl : "";
        f.type = dt == "INTEGER" ? dbLong : dt == "REAL" ? dbDouble : dbText;
        f.size = f.type == dbText ? 255 : 0;
        f.allowZeroLength = f.type == dbText;
      }
      td.fields.push_back(std::move(f));
    }
  }
  std::int32_t rows = 0;
  db.atomically([&] {
    db.appendTable(td);
    Statement ins(db.handle(), "INSERT INTO " + quoteName(td.name) + " " + p.plan.sql);
    for (std::size_t i = 0; i < values.size(); ++i) ins.bind(static_cast<int>(i + 1), values[i]);
    ins.run();
    rows = sqlite3_changes(db.handle());
  });
  return rows;
}

}  // namespace

PreparedJet translateJet(DbState& db, const std::string& text, int depth);

namespace {

// Names of the statement that can resolve to no column at all: their last part
// is no field of any table, no alias of the statement and none of SQLite's
// row id names. They are parameters, all known after one translation.
jet::NameSet certainParameters(const DbState& db, const jet::Translation& t) {
  jet::NameSet out;
  if (t.columnNames.empty()) return out;
  jet::NameSet fields;
  for (const auto& table : db.tables())
    for (const auto& f : table->fields) fields.insert(f.name);
  for (const std::string& name : t.columnNames) {
    std::string_view last = name;
    if (auto dot = last.rfind('.'); dot != std::string_view::npos) last = last.substr(dot + 1);
    if (fields.count(last) || t.aliases.count(last)) continue;
    auto is = [&](std::string_view word) { return sqlite3_strnicmp(last.data(), word.data(), static_cast<int>(word.size())) == 0; };
    if ((last.size() == 5 && is("rowid")) || (last.size() == 3 && is("oid")) || (last.size() == 7 && is("_rowid_")))
      continue;
    // Names the translator itself gives (Expr1000, kh_v ...).
    if ((last.size() >= 4 && is("Expr")) || (last.size() >= 3 && is("kh_"))) continue;
    out.insert(name);
  }
  return out;
}

}  // namespace

PreparedJet translateJet(DbState& db, const std::string& text) { return translateJet(db, text, 0); }

PreparedJet translateJet(DbState& db, const std::string& text, int depth) {
  db.requireOpen();
  if (depth > 16) fail(3360);  // query too complex: stored queries nest too deep
  jet::NameSet parameterNames;
  // Stored queries named as sources, each as a common table expression.
  std::string with;
  std::vector<std::string> used;
  // The first round takes every name that can resolve to nothing as a
  // parameter; each further round turns one more name that resolves to no
  // column into a parameter. Columns of stored queries are not known before
  // SQLite reads them, so once one is named the guesses are dropped.
  bool guessed = false;
  for (int round = 0; round < 256; ++round) {
    jet::Translation t;
    jet::Error e;
    if (!jet::translateStatement(text, parameterNames, t, e)) failTranslation(e);
    if (round == 0 && t.kind != jet::StatementKind::CreateTable) {
      jet::NameSet certain = certainParameters(db, t);
      if (!certain.empty()) {
        parameterNames = std::move(certain);
        guessed = true;
        if (!jet::translateStatement(text, parameterNames, t, e)) failTranslation(e);
      }
    }
    PreparedJet p;
    p.jet = text;
    switch (t.kind) {
      case jet::StatementKind::Select: p.kind = PreparedJet::Kind::Select; break;
      case jet::StatementKind::SelectInto:
        p.kind = PreparedJet::Kind::Select;
        p.intoTable = t.targetTable;
        break;
      case jet::StatementKind::Insert:
      case jet::StatementKind::Update:
      case jet::StatementKind::Delete: p.kind = PreparedJet::Kind::Action; break;
      default:
        p.kind = PreparedJet::Kind::Ddl;
        p.ddl = std::make_shared<jet::Translation>(std::move(t));
        return p;
    }
    // SQLite numbers at most this many parameters.
    if (t.parameters.size() > static_cast<std::size_t>(sqlite3_limit(db.handle(), SQLITE_LIMIT_VARIABLE_NUMBER, -1)))
      fail(jet::sqlerr::QueryTooComplex);
    if (!with.empty()) t.sql = "WITH " + with + " " + t.sql;
    Unresolved missing = unresolvedName(db.handle(), t.sql);
    if (!missing.table.empty()) {
      auto q = db.findQuery(missing.table);
      bool seen = false;
      for (const auto& u : used) seen = seen || sameName(u, missing.table);
      if (!q || seen) fail(err::CantFindTable, missing.table);
      if (guessed) {
        parameterNames.clear();
        guessed = false;
      }
      PreparedJet inner = translateJet(db, q->sql, depth + 1);
      if (inner.kind != PreparedJet::Kind::Select || !inner.intoTable.empty() || !inner.parameters.empty())
        fail(err::CantFindTable, missing.table);
      std::string body = inner.plan.sql;
      // The inner text may bring a WITH clause of its own; keep it inside.
      with += (with.empty() ? "" : ", ") + jet::quoteIdentifier(q->name) + " AS (SELECT * FROM (" + body + "))";
      used.push_back(q->name);
      continue;
    }
    if (!missing.column.empty()) {
      if (parameterNames.count(missing.column)) fail(err::SyntaxErrorExpression, missing.column);
      parameterNames.insert(missing.column);
      continue;
    }
    p.plan.sql = t.sql;
    for (const auto& name : t.parameters) {
      ParameterInfo info{name, 0};
      for (const auto& d : t.declaredParameters)
        if (sameName(d.name, name)) info.type = static_cast<std::int16_t>(d.daoType);
      p.parameters.push_back(std::move(info));
    }
    if (t.select && t.select->singleTable && !t.select->tables.empty() && db.findTable(t.select->tables[0].name)) {
      const auto& s = *t.select;
      p.plan.singleTable = true;
      p.plan.table = db.findTable(s.tables[0].name)->name;
      p.plan.alias = s.tables[0].alias.empty() ? s.tables[0].name : s.tables[0].alias;
      p.plan.selectList = s.selectList;
      p.plan.where = s.where;
      p.plan.orderBy = s.orderBy;
    }
    return p;
  }
  fail(err::SyntaxErrorExpression, text);
}

std::int32_t executeJet(DbState& db, const PreparedJet& p, const std::vector<Variant>& values, bool) {
  db.requireWritable();
  if (values.size() < p.parameters.size())
    fail(err::TooFewParameters, std::to_string(p.parameters.size() - values.size()));
  if (p.kind == PreparedJet::Kind::Ddl) return runDdl(db, *std::static_pointer_cast<jet::Translation>(p.ddl));
  if (!p.intoTable.empty()) return makeTable(db, p, values);
  std::int32_t rows = 0;
  // Either the whole statement takes effect or none of it does.
  db.atomically([&] {
    Statement s(db.handle(), p.plan.sql);
    for (std::size_t i = 0; i < p.parameters.size(); ++i) s.bind(static_cast<int>(i + 1), values[i]);
    s.run();
    rows = sqlite3_changes(db.handle());
  });
  return rows;
}

std::string jetCriteriaToSql(DbState&, const std::string& criteria) {
  jet::ExpressionTranslation t;
  jet::Error e;
  if (!jet::translateExpression(criteria, {}, t, e)) failTranslation(e);
  if (!t.parameters.empty()) fail(3070, t.parameters.front());
  return t.sql;
}

Variant evaluateJetExpression(DbState& db, const std::string& expression) {
  jet::ExpressionTranslation t;
  jet::Error e;
  if (!jet::translateExpression(expression, {}, t, e, jet::ExpressionUse::Value)) failTranslation(e);
  if (!t.parameters.empty()) return Variant::null();
  Statement s(db.handle(), "SELECT (" + t.sql + ")");
  if (!s.step()) return Variant::null();
  return readColumn(s.get(), 0, 0);
}

}  // namespace kh::store
