// Translation of Microsoft Jet SQL into the SQLite SQL the store runs.
//
// A tokenizer and recursive-descent parser read Jet's dialect into a syntax
// tree; a printer writes SQLite text for it (SQLite 3.15: no RIGHT JOIN, no
// window functions, no UPDATE ... FROM). What cannot be translated faithfully
// fails with the DAO error a Jet client expects; nothing is passed through
// unparsed.
//
// The printed SQL follows these rules:
// - Identifiers are written in SQLite's bracket form, [name]. Double quotes are
//   never used for identifiers: SQLite reads an unknown double-quoted name as a
//   string literal, which would hide the "no such column" error that turns a
//   name into a parameter (and give wrong results).
// - Strings are single-quoted; #date# literals become their OLE date number;
//   True/Yes/On are -1, False/No/Off 0.
// - Jet's operators keep Jet's meaning and precedence: & is kh_cat() (Null as
//   "", Null only when every operand is Null), / is kh_div() (always real), \ is
//   kh_idiv(), Mod is kh_mod(), ^ is kh_pow(), + of two operands that may both be
//   text is kh_add() (which concatenates two texts). A comparison, Like, In,
//   Between, Is Null or logical operator used as a value yields Jet's -1/0.
// - A comparison (or In, Between, ORDER BY / GROUP BY term) none of whose
//   operands is a column gets COLLATE JETTEXT, so text compares as Jet compares
//   it even without a column's declared collation.
// - Select-list expressions without a name are named Expr1000, Expr1001, ... as
//   Jet names them.
// - Parameters are SQLite numbered markers ?1..?n, one per distinct name.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kh::store::jet {

// DAO error numbers of the translator that store/dao.h does not list.
namespace sqlerr {
constexpr unsigned SyntaxErrorExpression = 3075;  // Syntax error in query expression.
constexpr unsigned SyntaxErrorLoneExpression = 3077;  // Syntax error in expression (criteria, filters).
constexpr unsigned CantFindTable = 3078;          // Couldn't find input table or query.
constexpr unsigned UndefinedFunction = 3085;      // Undefined function in expression.
constexpr unsigned AggregateInWhere = 3096;       // Can't have aggregate function in WHERE clause.
constexpr unsigned InvalidBracketing = 3126;      // Invalid bracketing of name.
constexpr unsigned DeleteTableUnspecified = 3128; // Specify the table containing the records to delete.
constexpr unsigned InvalidSql = 3129;             // Invalid SQL statement.
constexpr unsigned SyntaxErrorDelete = 3130;      // Syntax error in DELETE statement.
constexpr unsigned SyntaxErrorFrom = 3131;        // Syntax error in FROM clause.
constexpr unsigned SyntaxErrorGroupBy = 3132;     // Syntax error in GROUP BY clause.
constexpr unsigned SyntaxErrorInsert = 3134;      // Syntax error in INSERT INTO statement.
constexpr unsigned SyntaxErrorJoin = 3135;        // Syntax error in JOIN operation.
constexpr unsigned MissingSemicolon = 3137;       // Missing semicolon (;) at end of SQL statement.
constexpr unsigned SyntaxErrorOrderBy = 3138;     // Syntax error in ORDER BY clause.
constexpr unsigned SyntaxErrorParameters = 3139;  // Syntax error in PARAMETER clause.
constexpr unsigned SyntaxErrorSelect = 3141;      // The SELECT statement includes a reserved word ...
constexpr unsigned TrailingCharacters = 3142;     // Characters found after end of SQL statement.
constexpr unsigned SyntaxErrorUpdate = 3144;      // Syntax error in UPDATE statement.
constexpr unsigned QueryNotUpdatable = 3073;      // Operation must use an updatable query.
constexpr unsigned CantDefineFieldTwice = 3191;   // Can't define field more than once.
constexpr unsigned PrimaryKeyExists = 3283;       // Primary key already exists.
constexpr unsigned SyntaxErrorConstraint = 3289;  // Syntax error in CONSTRAINT clause.
constexpr unsigned SyntaxErrorCreateTable = 3290; // Syntax error in CREATE TABLE statement.
constexpr unsigned SyntaxErrorCreateIndex = 3291; // Syntax error in CREATE INDEX statement.
constexpr unsigned SyntaxErrorFieldDef = 3292;    // Syntax error in field definition.
constexpr unsigned SyntaxErrorAlterTable = 3293;  // Syntax error in ALTER TABLE statement.
constexpr unsigned SyntaxErrorDrop = 3295;        // Syntax error in DROP TABLE or DROP INDEX.
constexpr unsigned SyntaxErrorUnion = 3319;       // Syntax error in union query.
constexpr unsigned ValuesCountMismatch = 3346;    // Number of query values and destination fields differ.
constexpr unsigned SubqueryOneField = 3306;       // A subquery compared with ANY/ALL returns one field.
constexpr unsigned QueryTooComplex = 3360;        // Query is too complex.
constexpr unsigned OutOfMemory = 3035;            // Out of memory.
}  // namespace sqlerr

// Case-insensitive order of names (Unicode simple case folding), usable with
// std::string_view keys.
struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
using NameSet = std::set<std::string, NameLess>;

// A failed translation: the DAO error number and Jet's message for it.
struct Error {
  unsigned daoError = 0;
  std::string message;
};

enum class StatementKind {
  Select,          // SELECT or UNION: `sql` returns rows
  SelectInto,      // SELECT ... INTO t: `sql` is the SELECT, `targetTable` the new table
  Insert,          // INSERT INTO
  Update,          // UPDATE
  Delete,          // DELETE
  CreateTable,     // DDL: `sql` is empty, `ddl` describes the statement
  DropTable,
  CreateIndex,
  DropIndex,
  AddColumn,       // ALTER TABLE t ADD [COLUMN]
  DropColumn,      // ALTER TABLE t DROP [COLUMN]
  AddConstraint,   // ALTER TABLE t ADD CONSTRAINT
  DropConstraint,  // ALTER TABLE t DROP CONSTRAINT
};

// A parameter declared with PARAMETERS name type; type as a DAO data type
// (0 for "Value" and unknown type names).
struct DeclaredParameter {
  std::string name;
  int daoType = 0;
};

// A table of a FROM clause. A subquery has an empty name and its alias.
struct SourceTable {
  std::string name;
  std::string alias;  // empty when none was given
};

// What the store needs to run a top-level SELECT (no UNION) as a keyset cursor.
struct SelectInfo {
  std::vector<SourceTable> tables;  // in the order written
  // One base table; no DISTINCT, TOP, GROUP BY, HAVING, aggregates or joins.
  bool singleTable = false;
  // Byte offset in `sql` where the select list starts (after "SELECT " or
  // "SELECT DISTINCT "), where "[t].rowid AS kh_rowid__, " can be inserted (t
  // being the alias when there is one, else the table name).
  std::size_t selectListOffset = 0;
  // The printed parts, without their keywords; empty when absent.
  std::string selectList;
  std::string from;
  std::string where;
  std::string orderBy;
};

// DDL structures, applied by the store through its catalogue.
struct ColumnDef {
  std::string name;
  int daoType = 0;
  int size = 0;  // Text and Binary: the declared size (default 255); others: Jet's fixed size
  bool autoIncrement = false;
  bool notNull = false;
};

struct IndexColumn {
  std::string name;
  bool descending = false;
};

struct IndexDef {
  std::string name;  // empty for an unnamed constraint: the store names it
  std::vector<IndexColumn> columns;
  bool primary = false;
  bool unique = false;
  bool required = false;     // DISALLOW NULL (and every primary key)
  bool ignoreNulls = false;  // IGNORE NULL
};

struct ForeignKeyDef {
  std::string name;  // empty when unnamed
  std::vector<std::string> columns;
  std::string referencedTable;
  std::vector<std::string> referencedColumns;  // empty: the referenced table's primary key
};

struct DdlInfo {
  std::string table;
  std::vector<ColumnDef> columns;          // CREATE TABLE, ADD COLUMN
  std::vector<IndexDef> indexes;           // CREATE TABLE constraints, CREATE INDEX, ADD CONSTRAINT
  std::vector<ForeignKeyDef> foreignKeys;  // CREATE TABLE and ADD CONSTRAINT references
  std::string name;                        // DROP INDEX: the index; DROP COLUMN: the column;
                                           // DROP CONSTRAINT: the constraint
};

struct Translation {
  StatementKind kind = StatementKind::Select;
  std::string sql;  // SQLite text; empty for DDL
  // Parameter names in marker order: parameters[k] is bound to ?(k+1). Written
  // as in the statement (first occurrence), brackets removed, parts joined with ".".
  std::vector<std::string> parameters;
  std::vector<DeclaredParameter> declaredParameters;  // PARAMETERS, in order
  // SelectInto: the table to create; Insert, Update, Delete: the table changed.
  std::string targetTable;
  std::vector<std::string> insertColumns;  // INSERT INTO t (cols): the columns named
  std::optional<SelectInfo> select;        // top-level SELECT without UNION
  DdlInfo ddl;
  // Every name read as a column (parts joined with "."), and every alias the
  // statement gives a column or source: the store takes names that can
  // resolve to nothing as parameters at once instead of one by one.
  NameSet columnNames;
  NameSet aliases;
};

struct ExpressionTranslation {
  std::string sql;
  std::vector<std::string> parameters;
};

// Translates one Jet statement. `parameterNames` are names (plain, dotted such as
// "t.x", or the text of a bracketed name) to be read as parameters rather than
// column references; PARAMETERS-declared names are always parameters. On failure
// returns false and fills `error`; `out` is then unspecified.
bool translateStatement(std::string_view jetSql, const NameSet& parameterNames, Translation& out,
                        Error& error) noexcept;

// How a lone expression is used: as a condition (criteria, filters: any
// non-zero value is true) or as a value (a comparison then yields Jet's -1/0).
enum class ExpressionUse { Condition, Value };

// Translates a lone Jet expression (FindFirst criteria, filters, default values)
// into SQLite expression text. Syntax errors are 3077.
bool translateExpression(std::string_view jetExpression, const NameSet& parameterNames,
                         ExpressionTranslation& out, Error& error,
                         ExpressionUse use = ExpressionUse::Condition) noexcept;

// A name as an SQLite identifier in the form the translator prints ([name]).
std::string quoteIdentifier(std::string_view name);

// The DAO data type of a Jet DDL type name (TEXT, LONG, COUNTER ...), 0 when
// unknown; `autoIncrement` is set for COUNTER and AUTOINCREMENT.
int ddlTypeFromName(std::string_view typeName, bool* autoIncrement = nullptr);

}  // namespace kh::store::jet
