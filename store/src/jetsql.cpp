#include "jetsql.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <memory>
#include <new>
#include <utility>

#include "jetfunctions.h"
#include "platform/ansi.h"
#include "store/dao.h"

namespace kh::store::jet {

static_assert(sqlerr::SyntaxErrorExpression == dao::err::SyntaxErrorExpression);
static_assert(sqlerr::InvalidSql == dao::err::InvalidSql);
static_assert(sqlerr::SyntaxErrorFrom == dao::err::SyntaxErrorFrom);
static_assert(sqlerr::TrailingCharacters == dao::err::TrailingCharacters);
static_assert(sqlerr::QueryNotUpdatable == dao::err::QueryNotUpdatable);
static_assert(sqlerr::CantDefineFieldTwice == dao::err::CantDefineFieldTwice);
static_assert(sqlerr::PrimaryKeyExists == dao::err::PrimaryKeyExists);
static_assert(sqlerr::OutOfMemory == dao::err::OutOfMemory);

bool NameLess::operator()(std::string_view a, std::string_view b) const {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    char32_t x = 0, y = 0;
    std::size_t n = kh::decodeUtf8(a, i, x), m = kh::decodeUtf8(b, j, y);
    // A malformed byte stands for itself, above every code point.
    std::uint32_t kx = n ? foldCase(x) : 0x110000u + static_cast<unsigned char>(a[i]);
    std::uint32_t ky = m ? foldCase(y) : 0x110000u + static_cast<unsigned char>(b[j]);
    if (kx != ky) return kx < ky;
    i += n ? n : 1;
    j += m ? m : 1;
  }
  return i == a.size() && j < b.size();
}

std::string quoteIdentifier(std::string_view name) {
  if (name.find(']') == std::string_view::npos) return "[" + std::string(name) + "]";
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

namespace {

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool sameName(std::string_view a, std::string_view b) { return !NameLess()(a, b) && !NameLess()(b, a); }

bool iequalsAny(std::string_view a, std::initializer_list<const char*> list) {
  for (const char* s : list)
    if (iequals(a, s)) return true;
  return false;
}

// ===========================================================================
// Tokens
// ===========================================================================

enum class Tk { End, Name, Bracket, String, Date, Number, Op, Bad };
enum class BadKind { None, String, Date, Bracket, Char };

struct Token {
  Tk kind = Tk::End;
  std::string text;  // Name: as written; Bracket, String, Date: the contents; Number, Op: as written
  std::size_t pos = 0, end = 0;
  BadKind bad = BadKind::None;
};

bool identStart(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || u >= 0x80;
}
bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9'); }
bool digit(char c) { return c >= '0' && c <= '9'; }

std::vector<Token> tokenize(std::string_view s) {
  std::vector<Token> out;
  std::size_t i = 0;
  const std::size_t n = s.size();
  for (;;) {
    while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n' || s[i] == '\f' || s[i] == '\v'))
      ++i;
    Token t;
    t.pos = i;
    if (i >= n) {
      t.end = n;
      out.push_back(std::move(t));
      return out;
    }
    char c = s[i];
    bool afterName = !out.empty() && (out.back().kind == Tk::Name || out.back().kind == Tk::Bracket ||
                                      (out.back().kind == Tk::Op && out.back().text == ")"));
    if (identStart(c)) {
      std::size_t j = i;
      while (j < n && identChar(s[j])) ++j;
      if (j < n && s[j] == '$') ++j;
      t.kind = Tk::Name;
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else if (c == '[') {
      std::size_t e = s.find(']', i + 1);
      if (e == std::string_view::npos || e == i + 1 || s.substr(i + 1, e - i - 1).find('[') != std::string_view::npos) {
        t.kind = Tk::Bad;
        t.bad = BadKind::Bracket;
        std::size_t stop = e == std::string_view::npos ? n : e + 1;
        t.text = std::string(s.substr(i, stop - i));
        i = stop;
      } else {
        t.kind = Tk::Bracket;
        t.text = std::string(s.substr(i + 1, e - i - 1));
        i = e + 1;
      }
    } else if (c == '"' || c == '\'') {
      std::size_t j = i + 1;
      std::string v;
      bool closed = false;
      while (j < n) {
        if (s[j] == c) {
          if (j + 1 < n && s[j + 1] == c) {
            v.push_back(c);
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        v.push_back(s[j++]);
      }
      if (!closed) {
        t.kind = Tk::Bad;
        t.bad = BadKind::String;
      } else {
        t.kind = Tk::String;
      }
      t.text = std::move(v);
      i = j;
    } else if (c == '#') {
      std::size_t e = s.find('#', i + 1);
      if (e == std::string_view::npos) {
        t.kind = Tk::Bad;
        t.bad = BadKind::Date;
        t.text = std::string(s.substr(i));
        i = n;
      } else {
        t.kind = Tk::Date;
        t.text = std::string(s.substr(i + 1, e - i - 1));
        i = e + 1;
      }
    } else if (digit(c) || (c == '.' && !afterName && i + 1 < n && digit(s[i + 1]))) {
      std::size_t j = i;
      while (j < n && digit(s[j])) ++j;
      if (j < n && s[j] == '.') {
        ++j;
        while (j < n && digit(s[j])) ++j;
      }
      if (j < n && (s[j] == 'e' || s[j] == 'E')) {
        std::size_t k = j + 1;
        if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < n && digit(s[k])) {
          while (k < n && digit(s[k])) ++k;
          j = k;
        }
      }
      t.kind = Tk::Number;
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else if ((c == '<' || c == '>') && i + 1 < n && (s[i + 1] == '=' || (c == '<' && s[i + 1] == '>'))) {
      t.kind = Tk::Op;
      t.text = std::string(s.substr(i, 2));
      i += 2;
    } else if (std::string_view("=<>(),;.!*+-/\\^&").find(c) != std::string_view::npos) {
      t.kind = Tk::Op;
      t.text = std::string(1, c);
      ++i;
    } else {
      t.kind = Tk::Bad;
      t.bad = BadKind::Char;
      t.text = std::string(1, c);
      ++i;
    }
    t.end = i;
    out.push_back(std::move(t));
  }
}

// ===========================================================================
// Syntax tree
// ===========================================================================

struct Select;
using SelectPtr = std::unique_ptr<Select>;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

enum class EK {
  Number, String, Null, Bool, Date, Column, Param, Star,
  Neg, Not, Binary, Compare, Like, Between, InList, InSelect, IsNull, Exists, Quantified,
  Subquery, Func, Iif, Nz, Cat,
};

enum class BinOp { Add, Sub, Mul, Div, IntDiv, Mod, Pow, And, Or, Xor, Eqv, Imp };
enum class CmpOp { Eq, Ne, Lt, Le, Gt, Ge };

struct Expr {
  EK kind;
  explicit Expr(EK k) : kind(k) {}
  std::string text;                // literal SQL text
  std::vector<std::string> parts;  // Column: name parts
  int param = 0;                   // Param: marker number
  BinOp bin = BinOp::Add;
  CmpOp cmp = CmpOp::Eq;
  bool negate = false;  // Not Like / Not Between / Not In / Is Not Null; Quantified: ALL
  const FunctionInfo* fn = nullptr;
  std::vector<ExprPtr> args;
  SelectPtr sub;
  int height = 1;  // levels of the tree below and including this node, subqueries counted
};

struct Source;
using SourcePtr = std::unique_ptr<Source>;

struct Source {
  enum Kind { Table, Sub, Join } kind = Table;
  std::string name, alias;
  SelectPtr sub;
  int join = 0;  // 0 inner, 1 left, 2 right
  SourcePtr left, right;
  ExprPtr on;
  int height = 1;
};

struct SelectItem {
  ExprPtr expr;
  bool star = false;
  std::string starTable;  // t.*
  std::string alias;
};

struct OrderItem {
  ExprPtr expr;
  bool desc = false;
};

struct Core {
  bool distinct = false, distinctRow = false;
  bool top = false, topPercent = false;
  std::string topN;
  std::vector<SelectItem> items;
  std::vector<SourcePtr> from;
  ExprPtr where;
  std::vector<ExprPtr> groupBy;
  ExprPtr having;
  std::vector<OrderItem> orderBy;
  std::string into;
  bool aggregate = false;   // aggregates in the select list, HAVING or ORDER BY
  bool nestedFrom = false;  // a parenthesised join, a subquery or a comma in FROM
  std::vector<SourceTable> tables;
};

struct Select {
  std::vector<Core> cores;
  std::vector<bool> unionAll;  // before cores[1..]
  std::vector<OrderItem> orderBy;  // of a union
  int height = 1;
};

struct SqlError {
  unsigned number;
  std::string message;
};

[[noreturn]] void fail(unsigned number, std::string message) { throw SqlError{number, std::move(message)}; }

const char* const kSelectMessage =
    "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, or the "
    "punctuation is incorrect.";

// Words that cannot stand unbracketed as a column reference.
bool reservedInExpression(std::string_view w) {
  return iequalsAny(w, {"SELECT", "FROM",  "WHERE", "GROUP",  "ORDER",   "HAVING", "UNION",       "INTO",
                        "AS",     "INNER", "JOIN",  "AND",    "OR",      "XOR",    "EQV",         "IMP",
                        "NOT",    "MOD",   "LIKE",  "BETWEEN", "IN",     "IS",     "DISTINCT",    "DISTINCTROW",
                        "TOP",    "SET",   "VALUES", "BY",    "ASC",     "DESC",   "ON",          "WITH"});
}

// Words that cannot be an alias written without AS (or follow a table name).
bool reservedAsAlias(std::string_view w) {
  return reservedInExpression(w) ||
         iequalsAny(w, {"LEFT", "RIGHT", "OUTER", "FULL", "CROSS", "ALL", "PERCENT", "UPDATE", "DELETE", "INSERT",
                        "TABLE", "INDEX", "CONSTRAINT", "PRIMARY", "UNIQUE", "REFERENCES", "OWNERACCESS", "IN"});
}

struct TypeName {
  const char* name;
  int type;
  int size;
  bool sized;  // takes a (size)
  bool counter;
};

const TypeName kDdlTypes[] = {
    {"TEXT", 10, 255, true, false},       {"CHAR", 10, 255, true, false},       {"VARCHAR", 10, 255, true, false},
    {"STRING", 10, 255, true, false},     {"CHARACTER", 10, 255, true, false},  {"ALPHANUMERIC", 10, 255, true, false},
    {"MEMO", 12, 0, false, false},        {"LONGTEXT", 12, 0, false, false},    {"NOTE", 12, 0, false, false},
    {"LONGCHAR", 12, 0, false, false},    {"LONG", 4, 4, false, false},         {"INTEGER", 4, 4, false, false},
    {"INT", 4, 4, false, false},          {"INTEGER4", 4, 4, false, false},     {"SHORT", 3, 2, false, false},
    {"SMALLINT", 3, 2, false, false},     {"INTEGER2", 3, 2, false, false},     {"BYTE", 2, 1, false, false},
    {"TINYINT", 2, 1, false, false},      {"INTEGER1", 2, 1, false, false},     {"COUNTER", 4, 4, false, true},
    {"AUTOINCREMENT", 4, 4, false, true}, {"SINGLE", 6, 4, false, false},       {"REAL", 6, 4, false, false},
    {"FLOAT4", 6, 4, false, false},       {"IEEESINGLE", 6, 4, false, false},   {"DOUBLE", 7, 8, false, false},
    {"FLOAT", 7, 8, false, false},        {"NUMBER", 7, 8, false, false},       {"FLOAT8", 7, 8, false, false},
    {"IEEEDOUBLE", 7, 8, false, false},   {"NUMERIC", 7, 8, false, false},      {"CURRENCY", 5, 8, false, false},
    {"MONEY", 5, 8, false, false},        {"DATETIME", 8, 8, false, false},     {"DATE", 8, 8, false, false},
    {"TIME", 8, 8, false, false},         {"TIMESTAMP", 8, 8, false, false},    {"BIT", 1, 1, false, false},
    {"YESNO", 1, 1, false, false},        {"LOGICAL", 1, 1, false, false},      {"LOGICAL1", 1, 1, false, false},
    {"BOOLEAN", 1, 1, false, false},      {"BINARY", 9, 255, true, false},      {"VARBINARY", 9, 255, true, false},
    {"LONGBINARY", 11, 0, false, false},  {"OLEOBJECT", 11, 0, false, false},   {"GENERAL", 11, 0, false, false},
    {"IMAGE", 11, 0, false, false},       {"GUID", 15, 16, false, false},       {"UNIQUEIDENTIFIER", 15, 16, false, false},
};

const TypeName* findDdlType(std::string_view name) {
  for (const TypeName& t : kDdlTypes)
    if (iequals(name, t.name)) return &t;
  return nullptr;
}

// Type names of a PARAMETERS declaration.
int parameterType(std::string_view name) {
  struct {
    const char* name;
    int type;
  } const table[] = {{"TEXT", 10},     {"LONG", 4},         {"SHORT", 3},     {"INTEGER", 3},    {"BYTE", 2},
                     {"SINGLE", 6},    {"IEEESINGLE", 6},   {"DOUBLE", 7},    {"FLOAT", 7},      {"IEEEDOUBLE", 7},
                     {"CURRENCY", 5},  {"DATETIME", 8},     {"DATE", 8},      {"BIT", 1},        {"YESNO", 1},
                     {"BOOLEAN", 1},   {"LOGICAL", 1},      {"MEMO", 12},     {"LONGTEXT", 12},  {"BINARY", 9},
                     {"LONGBINARY", 11}, {"GUID", 15},      {"VALUE", 0}};
  for (const auto& e : table)
    if (iequals(name, e.name)) return e.type;
  return 0;
}

std::string joinParts(const std::vector<std::string>& parts) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '.';
    out += parts[i];
  }
  return out;
}

std::string sqlString(std::string_view v) {
  std::string out = "'";
  for (char c : v) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string trimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return std::string(s);
}

std::string oleNumberText(double d) {
  char buf[64];
  if (d == std::floor(d) && std::fabs(d) < 1e15) {
    std::snprintf(buf, sizeof buf, "%.0f", d);
    return buf;
  }
  // The shortest text that reads back as the same number.
  for (int prec = 1; prec <= 17; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*g", prec, d);
    if (std::strtod(buf, nullptr) == d) return buf;
  }
  return buf;
}

// ===========================================================================
// Parser and printer
// ===========================================================================

struct Printed {
  std::string s;
  // SQLite's binding strength: 10 atom, 9 unary minus, 7 *, 6 + -, 4 < <= > >=,
  // 3 = <> IS IN LIKE BETWEEN, 2 NOT, 1 AND, 0 OR.
  int prec;
};

std::string atom(const Printed& p) { return p.prec >= 10 ? p.s : "(" + p.s + ")"; }
std::string atLeast(const Printed& p, int prec) { return p.prec >= prec ? p.s : "(" + p.s + ")"; }

class Translator {
 public:
  Translator(std::string_view src, const NameSet& given, bool lone)
      : src_(src), toks_(tokenize(src)), given_(given), lone_(lone) {}

  void statement(Translation& out);
  void expression(ExpressionTranslation& out, ExpressionUse use);

 private:
  // --- tokens --------------------------------------------------------------
  const Token& peek(std::size_t k = 0) const {
    std::size_t i = std::min(pos_ + k, toks_.size() - 1);
    return toks_[i];
  }
  const Token& next() {
    const Token& t = toks_[pos_];
    if (pos_ + 1 < toks_.size()) ++pos_;
    return t;
  }
  static bool isKw(const Token& t, const char* kw) { return t.kind == Tk::Name && iequals(t.text, kw); }
  static bool isOp(const Token& t, const char* op) { return t.kind == Tk::Op && t.text == op; }
  bool peekKw(const char* kw, std::size_t k = 0) const { return isKw(peek(k), kw); }
  bool peekOp(const char* op, std::size_t k = 0) const { return isOp(peek(k), op); }
  bool acceptKw(const char* kw) {
    if (!peekKw(kw)) return false;
    next();
    return true;
  }
  bool acceptOp(const char* op) {
    if (!peekOp(op)) return false;
    next();
    return true;
  }
  bool atStatementEnd() const { return peek().kind == Tk::End || peekOp(";"); }

  // --- errors --------------------------------------------------------------
  // An unclosed string, date or bracket, which reports itself wherever it stands.
  static bool malformed(const Token& t) { return t.kind == Tk::Bad && t.bad != BadKind::Char; }
  std::string expressionText(std::size_t until) const {
    if (until < exprStart_) until = exprStart_;
    return trimRight(src_.substr(exprStart_, until - exprStart_));
  }
  [[noreturn]] void badToken(const Token& t) {
    switch (t.bad) {
      case BadKind::Bracket: fail(sqlerr::InvalidBracketing, "Invalid bracketing of name '" + t.text + "'.");
      case BadKind::String:
        fail(exprNumber(), "Syntax error in string in query expression '" + expressionText(src_.size()) + "'.");
      case BadKind::Date:
        fail(exprNumber(), "Syntax error in date in query expression '" + expressionText(t.end) + "'.");
      default: break;
    }
    exprError(t);
  }
  unsigned exprNumber() const { return lone_ ? sqlerr::SyntaxErrorLoneExpression : sqlerr::SyntaxErrorExpression; }
  [[noreturn]] void exprError(const Token& at) {
    if (at.kind == Tk::Bad && at.bad != BadKind::Char) badToken(at);
    std::string text = expressionText(at.end);
    if (lone_) fail(sqlerr::SyntaxErrorLoneExpression, "Syntax error (missing operator) in expression '" + text + "'.");
    fail(sqlerr::SyntaxErrorExpression, "Syntax error (missing operator) in query expression '" + text + "'.");
  }
  // A clause error; a malformed token in its place reports itself.
  [[noreturn]] void clauseError(unsigned number, const char* message) {
    if (malformed(peek())) badToken(peek());
    fail(number, message);
  }
  // After an expression of a clause only these may follow; anything else is a
  // missing operator inside that expression.
  void expectExpressionEnd(std::initializer_list<const char*> keywords, bool allowComma = false) {
    const Token& t = peek();
    if (t.kind == Tk::End || isOp(t, ";") || isOp(t, ")")) return;
    if (allowComma && isOp(t, ",")) return;
    for (const char* k : keywords)
      if (isKw(t, k)) return;
    exprError(t);
  }

  // --- names ---------------------------------------------------------------
  bool isIdent(const Token& t) const {
    return t.kind == Tk::Bracket || (t.kind == Tk::Name && !reservedInExpression(t.text));
  }
  std::string ident(unsigned errNumber, const char* message) {
    const Token& t = peek();
    if (malformed(t)) badToken(t);
    if (!isIdent(t)) fail(errNumber, message);
    return next().text;
  }
  // A possibly qualified name (a.b or a!b).
  std::vector<std::string> nameParts() {
    std::vector<std::string> parts{next().text};
    while ((peekOp(".") || peekOp("!")) && (peek(1).kind == Tk::Name || peek(1).kind == Tk::Bracket)) {
      next();
      parts.push_back(next().text);
    }
    return parts;
  }

  // SQLite's own tables (sqlite_master, sqlite_sequence ...) are not tables of
  // the database: no statement may name them.
  static const std::string& tableName(const std::string& name) {
    if (name.size() >= 7 && iequals(std::string_view(name).substr(0, 7), "sqlite_"))
      fail(sqlerr::CantFindTable, "Couldn't find input table or query '" + name + "'.");
    return name;
  }

  int parameterNumber(const std::string& name) {
    auto it = paramNo_.find(name);
    if (it != paramNo_.end()) return it->second;
    params_.push_back(name);
    int n = static_cast<int>(params_.size());
    paramNo_.emplace(name, n);
    return n;
  }

  // --- expressions ---------------------------------------------------------
  // A top-level expression whose error text starts where it starts, with the
  // start kept so the caller can name the expression in its own error.
  ExprPtr clauseExpression(std::size_t& start) {
    start = peek().pos;
    exprStart_ = start;
    return parseImp();
  }

  // Nesting is bounded so that a pathological text cannot exhaust the stack.
  struct Depth {
    Translator& t;
    explicit Depth(Translator& tr) : t(tr) {
      if (++t.depth_ > 200) fail(sqlerr::QueryTooComplex, "Query is too complex.");
    }
    ~Depth() { --t.depth_; }
  };

  // Operator chains (1+1+...+1, a Or b Or ...) are read in loops but make trees
  // one level deeper per operator, and printing them, SQLite's own parser and
  // releasing the tree all recurse once per level. Every node therefore knows
  // its height, and a statement whose tree grows deeper than SQLite would take
  // is refused as too complex before any of that recursion can run out of stack.
  static constexpr int kMaxHeight = 400;
  static void checkHeight(int height) {
    if (height > kMaxHeight) fail(sqlerr::QueryTooComplex, "Query is too complex.");
  }
  // Finishes a node whose operands are in place: records and checks its height.
  static ExprPtr sized(ExprPtr e) {
    int h = e->sub ? e->sub->height : 0;
    for (const ExprPtr& a : e->args) h = std::max(h, a->height);
    e->height = h + 1;
    checkHeight(e->height);
    return e;
  }
  static int heightOf(const ExprPtr& e) { return e ? e->height : 0; }
  static int heightOf(const std::vector<OrderItem>& items) {
    int h = 0;
    for (const OrderItem& o : items) h = std::max(h, heightOf(o.expr));
    return h;
  }
  static int heightOf(const Core& c) {
    int h = std::max({heightOf(c.where), heightOf(c.having), heightOf(c.orderBy)});
    for (const SelectItem& i : c.items) h = std::max(h, heightOf(i.expr));
    for (const SourcePtr& s : c.from) h = std::max(h, s->height);
    for (const ExprPtr& g : c.groupBy) h = std::max(h, heightOf(g));
    return h;
  }

  static ExprPtr make(EK k) { return std::make_unique<Expr>(k); }
  static ExprPtr binary(BinOp op, ExprPtr a, ExprPtr b) {
    ExprPtr e = make(EK::Binary);
    e->bin = op;
    e->args.push_back(std::move(a));
    e->args.push_back(std::move(b));
    return sized(std::move(e));
  }

  ExprPtr parseImp() {
    Depth guard(*this);
    ExprPtr l = parseEqv();
    while (acceptKw("IMP")) l = binary(BinOp::Imp, std::move(l), parseEqv());
    return l;
  }
  ExprPtr parseEqv() {
    ExprPtr l = parseXor();
    while (acceptKw("EQV")) l = binary(BinOp::Eqv, std::move(l), parseXor());
    return l;
  }
  ExprPtr parseXor() {
    ExprPtr l = parseOr();
    while (acceptKw("XOR")) l = binary(BinOp::Xor, std::move(l), parseOr());
    return l;
  }
  ExprPtr parseOr() {
    ExprPtr l = parseAnd();
    while (acceptKw("OR")) l = binary(BinOp::Or, std::move(l), parseAnd());
    return l;
  }
  ExprPtr parseAnd() {
    ExprPtr l = parseNot();
    while (acceptKw("AND")) l = binary(BinOp::And, std::move(l), parseNot());
    return l;
  }
  ExprPtr parseNot() {
    Depth guard(*this);
    if (acceptKw("NOT")) {
      ExprPtr e = make(EK::Not);
      e->args.push_back(parseNot());
      return sized(std::move(e));
    }
    return parseCompare();
  }

  static bool compareOp(const Token& t, CmpOp& op) {
    if (t.kind != Tk::Op) return false;
    if (t.text == "=") op = CmpOp::Eq;
    else if (t.text == "<>") op = CmpOp::Ne;
    else if (t.text == "<") op = CmpOp::Lt;
    else if (t.text == "<=") op = CmpOp::Le;
    else if (t.text == ">") op = CmpOp::Gt;
    else if (t.text == ">=") op = CmpOp::Ge;
    else return false;
    return true;
  }

  ExprPtr parseCompare() {
    ExprPtr l = parseConcat();
    for (;;) {
      CmpOp op;
      if (compareOp(peek(), op)) {
        next();
        if ((peekKw("ANY") || peekKw("SOME") || peekKw("ALL")) && peekOp("(", 1) && peekKw("SELECT", 2)) {
          l = quantified(std::move(l), op);
          continue;
        }
        ExprPtr e = make(EK::Compare);
        e->cmp = op;
        e->args.push_back(std::move(l));
        e->args.push_back(parseConcat());
        l = sized(std::move(e));
        continue;
      }
      bool negate = false;
      if (peekKw("NOT") && (peekKw("LIKE", 1) || peekKw("IN", 1) || peekKw("BETWEEN", 1))) {
        next();
        negate = true;
      }
      if (acceptKw("LIKE")) {
        ExprPtr e = make(EK::Like);
        e->negate = negate;
        e->args.push_back(std::move(l));
        e->args.push_back(parseConcat());
        l = sized(std::move(e));
      } else if (acceptKw("BETWEEN")) {
        ExprPtr e = make(EK::Between);
        e->negate = negate;
        e->args.push_back(std::move(l));
        e->args.push_back(parseConcat());
        if (!acceptKw("AND")) exprError(peek());
        e->args.push_back(parseConcat());
        l = sized(std::move(e));
      } else if (acceptKw("IN")) {
        if (!acceptOp("(")) exprError(peek());
        if (peekKw("SELECT")) {
          ExprPtr e = make(EK::InSelect);
          e->negate = negate;
          e->args.push_back(std::move(l));
          e->sub = subSelect();
          l = sized(std::move(e));
        } else {
          ExprPtr e = make(EK::InList);
          e->negate = negate;
          e->args.push_back(std::move(l));
          do e->args.push_back(parseImp());
          while (acceptOp(","));
          if (!acceptOp(")")) exprError(peek());
          l = sized(std::move(e));
        }
      } else if (!negate && acceptKw("IS")) {
        ExprPtr e = make(EK::IsNull);
        e->negate = acceptKw("NOT");
        if (!acceptKw("NULL")) exprError(peek());
        e->args.push_back(std::move(l));
        l = sized(std::move(e));
      } else {
        return l;
      }
    }
  }

  // x op ANY|SOME|ALL (SELECT ...), the "(" and SELECT next.
  ExprPtr quantified(ExprPtr l, CmpOp op) {
    bool all = iequals(next().text, "ALL");
    next();  // (
    SelectPtr sub = subSelect();
    Core& first = sub->cores.front();
    if (first.items.size() != 1 || first.items[0].star)
      fail(sqlerr::SubqueryOneField,
           "You've written a subquery that can return more than one field without using the EXISTS reserved word in "
           "the main query's FROM clause. Revise the SELECT statement of the subquery to request only one field.");
    if ((op == CmpOp::Eq && !all) || (op == CmpOp::Ne && all)) {
      ExprPtr e = make(EK::InSelect);
      e->negate = all;
      e->args.push_back(std::move(l));
      e->sub = std::move(sub);
      return sized(std::move(e));
    }
    first.items[0].alias = "kh_v";
    ExprPtr e = make(EK::Quantified);
    e->cmp = op;
    e->negate = all;
    e->args.push_back(std::move(l));
    e->sub = std::move(sub);
    return sized(std::move(e));
  }

  ExprPtr parseConcat() {
    ExprPtr l = parseAdd();
    if (!peekOp("&")) return l;
    ExprPtr e = make(EK::Cat);
    e->args.push_back(std::move(l));
    while (acceptOp("&")) e->args.push_back(parseAdd());
    return sized(std::move(e));
  }
  ExprPtr parseAdd() {
    ExprPtr l = parseMod();
    for (;;) {
      if (acceptOp("+")) l = binary(BinOp::Add, std::move(l), parseMod());
      else if (acceptOp("-")) l = binary(BinOp::Sub, std::move(l), parseMod());
      else return l;
    }
  }
  ExprPtr parseMod() {
    ExprPtr l = parseIntDiv();
    while (acceptKw("MOD")) l = binary(BinOp::Mod, std::move(l), parseIntDiv());
    return l;
  }
  ExprPtr parseIntDiv() {
    ExprPtr l = parseMul();
    while (acceptOp("\\")) l = binary(BinOp::IntDiv, std::move(l), parseMul());
    return l;
  }
  ExprPtr parseMul() {
    ExprPtr l = parseUnary();
    for (;;) {
      if (acceptOp("*")) l = binary(BinOp::Mul, std::move(l), parseUnary());
      else if (acceptOp("/")) l = binary(BinOp::Div, std::move(l), parseUnary());
      else return l;
    }
  }
  ExprPtr negate(ExprPtr x) {
    ExprPtr e = make(EK::Neg);
    e->args.push_back(std::move(x));
    return sized(std::move(e));
  }
  ExprPtr parseUnary() {
    Depth guard(*this);
    if (acceptOp("-")) return negate(parseUnary());
    if (acceptOp("+")) return parseUnary();
    return parsePow();
  }
  ExprPtr parsePowOperand() {
    Depth guard(*this);
    if (acceptOp("-")) return negate(parsePowOperand());
    if (acceptOp("+")) return parsePowOperand();
    return parsePrimary();
  }
  ExprPtr parsePow() {
    ExprPtr l = parsePrimary();
    while (acceptOp("^")) l = binary(BinOp::Pow, std::move(l), parsePowOperand());
    return l;
  }

  SelectPtr subSelect() {
    // The "(" has been read and SELECT is next.
    std::size_t savedStart = exprStart_;
    bool savedAgg = sawAggregate_;
    SelectPtr s = parseSelect(false);
    exprStart_ = savedStart;
    sawAggregate_ = savedAgg;
    if (!acceptOp(")")) exprError(peek());
    return s;
  }

  ExprPtr parsePrimary() {
    const Token& t = peek();
    switch (t.kind) {
      case Tk::Number: {
        ExprPtr e = make(EK::Number);
        e->text = next().text;
        return e;
      }
      case Tk::String: {
        ExprPtr e = make(EK::String);
        e->text = sqlString(next().text);
        return e;
      }
      case Tk::Date: {
        double d = 0;
        if (!parseDateText(t.text, d))
          fail(exprNumber(), "Syntax error in date in query expression '" + expressionText(t.end) + "'.");
        next();
        ExprPtr e = make(EK::Date);
        std::string n = oleNumberText(d);
        e->text = d < 0 ? "(" + n + ")" : n;
        return e;
      }
      case Tk::Bad: badToken(t);
      case Tk::Op:
        if (isOp(t, "(")) {
          next();
          if (peekKw("SELECT")) {
            ExprPtr e = make(EK::Subquery);
            e->sub = subSelect();
            return sized(std::move(e));
          }
          ExprPtr e = parseImp();
          if (!acceptOp(")")) exprError(peek());
          return e;
        }
        exprError(t);
      case Tk::Bracket: return nameReference();
      case Tk::Name: break;
      case Tk::End: exprError(t);
    }
    if (isKw(t, "NULL")) {
      next();
      return make(EK::Null);
    }
    if (isKw(t, "TRUE") || isKw(t, "YES") || isKw(t, "ON") || isKw(t, "FALSE") || isKw(t, "NO") || isKw(t, "OFF")) {
      bool truth = isKw(t, "TRUE") || isKw(t, "YES") || isKw(t, "ON");
      next();
      ExprPtr e = make(EK::Bool);
      e->text = truth ? "-1" : "0";
      return e;
    }
    if (isKw(t, "EXISTS")) {
      next();
      if (!acceptOp("(") || !peekKw("SELECT")) exprError(peek());
      ExprPtr e = make(EK::Exists);
      e->sub = subSelect();
      return sized(std::move(e));
    }
    if (peekOp("(", 1)) return functionCall();
    if (reservedInExpression(t.text)) exprError(t);
    return nameReference();
  }

  ExprPtr nameReference() {
    std::vector<std::string> parts = nameParts();
    std::string key = joinParts(parts);
    if (declared_.count(key) || given_.count(key)) {
      ExprPtr e = make(EK::Param);
      e->param = parameterNumber(key);
      return e;
    }
    ExprPtr e = make(EK::Column);
    columnNames_.insert(std::move(key));
    e->parts = std::move(parts);
    return e;
  }

  ExprPtr functionCall() {
    const Token& nameTok = next();
    std::string name = nameTok.text;
    next();  // (
    std::vector<ExprPtr> args;
    bool star = false;
    if (peekOp("*") && peekOp(")", 1) && iequals(name, "COUNT")) {
      next();
      star = true;
    } else if (!peekOp(")")) {
      do args.push_back(parseImp());
      while (acceptOp(","));
    }
    const Token& close = peek();
    if (!acceptOp(")")) exprError(close);
    auto arity = [&](std::size_t lo, std::size_t hi) {
      if (args.size() < lo || args.size() > hi)
        fail(exprNumber(), "Wrong number of arguments used with function in query expression '" +
                               expressionText(close.end) + "'.");
    };
    std::string bare = name;
    if (!bare.empty() && bare.back() == '$') bare.pop_back();
    if (iequals(bare, "IIF")) {
      arity(3, 3);
      ExprPtr e = make(EK::Iif);
      e->args = std::move(args);
      return sized(std::move(e));
    }
    if (iequals(bare, "NZ")) {
      arity(1, 2);
      ExprPtr e = make(EK::Nz);
      e->args = std::move(args);
      return sized(std::move(e));
    }
    if (iequals(bare, "ISNULL")) {
      arity(1, 1);
      ExprPtr e = make(EK::IsNull);
      e->args = std::move(args);
      return sized(std::move(e));
    }
    const FunctionInfo* fn = findJetFunction(name);
    if (!fn) fail(sqlerr::UndefinedFunction, "Undefined function '" + name + "' in expression.");
    if (star) {
      args.push_back(make(EK::Star));
    } else {
      arity(static_cast<std::size_t>(fn->minArgs),
            fn->maxArgs < 0 ? static_cast<std::size_t>(-1) : static_cast<std::size_t>(fn->maxArgs));
    }
    if (fn->aggregate) sawAggregate_ = true;
    ExprPtr e = make(EK::Func);
    e->fn = fn;
    e->args = std::move(args);
    return sized(std::move(e));
  }

  // --- SELECT --------------------------------------------------------------
  SelectPtr parseSelect(bool topLevel);
  void parseCore(Core& core, bool topLevel);
  void parseSelectItem(Core& core);
  void parseFrom(Core& core);
  SourcePtr parseTableExpr(Core& core);
  SourcePtr parseSourcePrimary(Core& core);
  std::vector<OrderItem> parseOrderBy();

  // --- other statements ----------------------------------------------------
  void parseParameters(Translation& out);
  void parseInsert(Translation& out);
  void parseUpdate(Translation& out);
  void parseDelete(Translation& out);
  void parseCreate(Translation& out);
  void parseDrop(Translation& out);
  void parseAlter(Translation& out);
  ColumnDef parseColumnDef(DdlInfo& ddl, unsigned errNumber, const char* message);
  void parseTableConstraint(DdlInfo& ddl, std::string name);
  std::vector<std::string> parenNameList(unsigned errNumber, const char* message);
  void addIndex(DdlInfo& ddl, IndexDef index);

  // --- printing ------------------------------------------------------------
  struct CoreText {
    std::string sql;
    std::size_t listOffset = 0;
    std::string list, from, where, orderBy;
  };
  std::string printSelect(const Select& s);
  CoreText printCore(const Core& c, bool forCount = false);
  std::string printSource(const Source& s);
  std::string printOrderTerm(const OrderItem& o, bool compound);
  Printed pr(const Expr& e, bool cond);
  Printed prBool(const Expr& e);
  Printed prValue(const Expr& e);
  std::string cond(const Expr& e) { return pr(e, true).s; }
  std::string value(const Expr& e) { return pr(e, false).s; }
  std::string column(const std::vector<std::string>& parts);
  static bool isBool(const Expr& e);
  static bool mayBeText(const Expr& e);
  static bool isColumn(const Expr& e) { return e.kind == EK::Column; }
  // A text-valued operand that carries no column collation of its own.
  static bool needsCollation(const Expr& e) { return !isColumn(e) && mayBeText(e); }
  std::string collated(const Printed& p) { return atom(p) + " COLLATE " + kTextCollation; }
  std::string asZeroOne(const Expr& e);

  std::string_view src_;
  std::vector<Token> toks_;
  std::size_t pos_ = 0;
  const NameSet& given_;
  NameSet declared_;
  bool lone_;
  std::size_t exprStart_ = 0;
  int depth_ = 0;
  bool sawAggregate_ = false;
  std::vector<std::string> params_;
  std::map<std::string, int, NameLess> paramNo_;
  NameSet columnNames_, aliases_;

  // Printing state.
  std::string renameFrom_, renameTo_;  // an UPDATE/DELETE alias written as its table
  bool unqualify_ = false;              // ORDER BY of a union: result column names
};

// ---------------------------------------------------------------------------
// SELECT parsing

SelectPtr Translator::parseSelect(bool topLevel) {
  Depth guard(*this);
  auto sel = std::make_unique<Select>();
  sel->cores.emplace_back();
  parseCore(sel->cores.back(), topLevel);
  while (peekKw("UNION")) {
    next();
    bool all = acceptKw("ALL");
    if (!sel->cores.back().orderBy.empty() || (sel->cores.size() > 1 && !sel->cores.back().into.empty()))
      fail(sqlerr::SyntaxErrorUnion, "Syntax error in union query.");
    bool paren = false;
    if (peekOp("(") && peekKw("SELECT", 1)) {
      next();
      paren = true;
    }
    if (!peekKw("SELECT") && !peekKw("TABLE")) clauseError(sqlerr::SyntaxErrorUnion, "Syntax error in union query.");
    sel->unionAll.push_back(all);
    sel->cores.emplace_back();
    parseCore(sel->cores.back(), false);
    if (paren && !acceptOp(")")) clauseError(sqlerr::SyntaxErrorUnion, "Syntax error in union query.");
    if (!sel->cores.back().into.empty()) fail(sqlerr::SyntaxErrorUnion, "Syntax error in union query.");
  }
  if (sel->cores.size() > 1) {
    sel->orderBy = std::move(sel->cores.back().orderBy);
    sel->cores.back().orderBy.clear();
  }
  int h = heightOf(sel->orderBy);
  for (const Core& c : sel->cores) h = std::max(h, heightOf(c));
  sel->height = h + 1;
  checkHeight(sel->height);
  return sel;
}

void Translator::parseCore(Core& core, bool topLevel) {
  if (acceptKw("TABLE")) {
    // TABLE t, as a union branch: every row of t.
    auto src = std::make_unique<Source>();
    src->name = tableName(ident(sqlerr::SyntaxErrorUnion, "Syntax error in union query."));
    core.tables.push_back({src->name, ""});
    core.from.push_back(std::move(src));
    SelectItem star;
    star.star = true;
    core.items.push_back(std::move(star));
    return;
  }
  if (!acceptKw("SELECT")) clauseError(sqlerr::InvalidSql, "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
  if (acceptKw("DISTINCTROW")) core.distinctRow = true;
  else if (acceptKw("DISTINCT")) core.distinct = true;
  else acceptKw("ALL");
  if (acceptKw("TOP")) {
    const Token& n = peek();
    bool integer = n.kind == Tk::Number && n.text.find_first_not_of("0123456789") == std::string::npos;
    if (!integer) clauseError(sqlerr::SyntaxErrorSelect, kSelectMessage);
    core.top = true;
    core.topN = next().text;
    core.topPercent = acceptKw("PERCENT");
  }
  bool savedAgg = sawAggregate_;
  sawAggregate_ = false;
  do parseSelectItem(core);
  while (acceptOp(","));
  bool aggregate = sawAggregate_;
  if (acceptKw("INTO")) {
    if (!topLevel) fail(sqlerr::SyntaxErrorSelect, kSelectMessage);
    core.into = ident(sqlerr::SyntaxErrorSelect, kSelectMessage);
    if (peekKw("IN")) fail(sqlerr::SyntaxErrorSelect, kSelectMessage);
  }
  if (acceptKw("FROM")) parseFrom(core);
  if (acceptKw("WHERE")) {
    sawAggregate_ = false;
    std::size_t start = 0;
    core.where = clauseExpression(start);
    if (sawAggregate_)
      fail(sqlerr::AggregateInWhere,
           "Can't have aggregate function in WHERE clause (" + trimRight(src_.substr(start, peek().pos - start)) + ").");
    expectExpressionEnd({"GROUP", "ORDER", "HAVING", "UNION", "WITH"});
  }
  if (peekKw("GROUP")) {
    next();
    if (!acceptKw("BY")) clauseError(sqlerr::SyntaxErrorGroupBy, "Syntax error in GROUP BY clause.");
    do {
      std::size_t start = 0;
      if (atStatementEnd()) clauseError(sqlerr::SyntaxErrorGroupBy, "Syntax error in GROUP BY clause.");
      core.groupBy.push_back(clauseExpression(start));
      expectExpressionEnd({"ORDER", "HAVING", "UNION", "WITH"}, true);
    } while (acceptOp(","));
  }
  sawAggregate_ = false;
  if (acceptKw("HAVING")) {
    std::size_t start = 0;
    core.having = clauseExpression(start);
    expectExpressionEnd({"ORDER", "UNION", "WITH"});
  }
  if (peekKw("ORDER")) core.orderBy = parseOrderBy();
  core.aggregate = aggregate || sawAggregate_;
  sawAggregate_ = savedAgg;
}

void Translator::parseSelectItem(Core& core) {
  exprStart_ = peek().pos;
  SelectItem item;
  if (peekOp("*")) {
    next();
    item.star = true;
  } else if ((peek().kind == Tk::Name || peek().kind == Tk::Bracket) && (peekOp(".", 1) || peekOp("!", 1)) &&
             peekOp("*", 2)) {
    item.star = true;
    item.starTable = next().text;
    next();
    next();
  } else {
    if (peekKw("FROM") || atStatementEnd()) clauseError(sqlerr::SyntaxErrorSelect, kSelectMessage);
    item.expr = parseImp();
    if (acceptKw("AS")) {
      const Token& a = peek();
      if (malformed(a)) badToken(a);
      if (a.kind != Tk::Name && a.kind != Tk::Bracket) clauseError(sqlerr::SyntaxErrorSelect, kSelectMessage);
      item.alias = next().text;
      aliases_.insert(item.alias);
    }
  }
  expectExpressionEnd({"FROM", "INTO", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "WITH"}, true);
  core.items.push_back(std::move(item));
}

void Translator::parseFrom(Core& core) {
  do core.from.push_back(parseTableExpr(core));
  while (acceptOp(","));
  if (core.from.size() > 1) core.nestedFrom = true;
  const Token& t = peek();
  if (!(t.kind == Tk::End || isOp(t, ";") || isOp(t, ")") || isKw(t, "WHERE") || isKw(t, "GROUP") ||
        isKw(t, "ORDER") || isKw(t, "HAVING") || isKw(t, "UNION") || isKw(t, "WITH")))
    clauseError(isKw(t, "JOIN") || isKw(t, "ON") ? sqlerr::SyntaxErrorJoin : sqlerr::SyntaxErrorFrom,
                isKw(t, "JOIN") || isKw(t, "ON") ? "Syntax error in JOIN operation." : "Syntax error in FROM clause.");
}

SourcePtr Translator::parseTableExpr(Core& core) {
  SourcePtr left = parseSourcePrimary(core);
  for (;;) {
    int type = -1;
    if (peekKw("INNER") && peekKw("JOIN", 1)) {
      type = 0;
      next();
    } else if (peekKw("JOIN")) {
      type = 0;
    } else if ((peekKw("LEFT") || peekKw("RIGHT")) && (peekKw("JOIN", 1) || (peekKw("OUTER", 1) && peekKw("JOIN", 2)))) {
      type = peekKw("LEFT") ? 1 : 2;
      next();
      acceptKw("OUTER");
    } else if (peekKw("INNER") || peekKw("LEFT") || peekKw("RIGHT") || peekKw("OUTER") || peekKw("FULL") ||
               peekKw("CROSS")) {
      clauseError(sqlerr::SyntaxErrorJoin, "Syntax error in JOIN operation.");
    }
    if (type < 0) return left;
    next();  // JOIN
    SourcePtr right = parseSourcePrimary(core);
    if (!acceptKw("ON")) clauseError(sqlerr::SyntaxErrorJoin, "Syntax error in JOIN operation.");
    auto join = std::make_unique<Source>();
    join->kind = Source::Join;
    join->join = type;
    join->left = std::move(left);
    join->right = std::move(right);
    std::size_t start = 0;
    bool savedAgg = sawAggregate_;
    join->on = clauseExpression(start);
    sawAggregate_ = savedAgg;
    join->height = std::max({join->left->height, join->right->height, join->on->height}) + 1;
    checkHeight(join->height);
    expectExpressionEnd({"INNER", "LEFT", "RIGHT", "JOIN", "WHERE", "GROUP", "ORDER", "HAVING", "UNION", "WITH"}, true);
    left = std::move(join);
  }
}

SourcePtr Translator::parseSourcePrimary(Core& core) {
  Depth guard(*this);
  auto alias = [&](Source& s) {
    if (acceptKw("AS")) {
      const Token& a = peek();
      if (malformed(a)) badToken(a);
      if (a.kind != Tk::Name && a.kind != Tk::Bracket) clauseError(sqlerr::SyntaxErrorFrom, "Syntax error in FROM clause.");
      s.alias = next().text;
    } else if (peek().kind == Tk::Bracket || (peek().kind == Tk::Name && !reservedAsAlias(peek().text))) {
      s.alias = next().text;
    }
  };
  if (peekOp("(")) {
    next();
    core.nestedFrom = true;
    if (peekKw("SELECT")) {
      auto s = std::make_unique<Source>();
      s->kind = Source::Sub;
      std::size_t savedStart = exprStart_;
      bool savedAgg = sawAggregate_;
      s->sub = parseSelect(false);
      s->height = s->sub->height + 1;
      exprStart_ = savedStart;
      sawAggregate_ = savedAgg;
      if (!acceptOp(")")) clauseError(sqlerr::SyntaxErrorFrom, "Syntax error in FROM clause.");
      alias(*s);
      core.tables.push_back({"", s->alias});
      return s;
    }
    SourcePtr inner = parseTableExpr(core);
    if (!acceptOp(")")) clauseError(sqlerr::SyntaxErrorJoin, "Syntax error in JOIN operation.");
    return inner;
  }
  const Token& t = peek();
  if (malformed(t)) badToken(t);
  if (t.kind != Tk::Bracket && (t.kind != Tk::Name || reservedAsAlias(t.text)))
    fail(sqlerr::SyntaxErrorFrom, "Syntax error in FROM clause.");
  auto s = std::make_unique<Source>();
  s->name = tableName(next().text);
  if (peekOp(".") || peekOp("!")) fail(sqlerr::SyntaxErrorFrom, "Syntax error in FROM clause.");
  alias(*s);
  core.tables.push_back({s->name, s->alias});
  return s;
}

std::vector<OrderItem> Translator::parseOrderBy() {
  next();  // ORDER
  if (!acceptKw("BY")) clauseError(sqlerr::SyntaxErrorOrderBy, "Syntax error in ORDER BY clause.");
  std::vector<OrderItem> out;
  do {
    if (atStatementEnd() || peekOp(")")) clauseError(sqlerr::SyntaxErrorOrderBy, "Syntax error in ORDER BY clause.");
    OrderItem o;
    std::size_t start = 0;
    o.expr = clauseExpression(start);
    if (acceptKw("DESC")) o.desc = true;
    else acceptKw("ASC");
    expectExpressionEnd({"UNION", "WITH"}, true);
    out.push_back(std::move(o));
  } while (acceptOp(","));
  return out;
}

// ---------------------------------------------------------------------------
// Other statements

void Translator::parseParameters(Translation& out) {
  next();  // PARAMETERS
  do {
    const Token& t = peek();
    if (malformed(t)) badToken(t);
    if (t.kind != Tk::Name && t.kind != Tk::Bracket)
      fail(sqlerr::SyntaxErrorParameters, "Syntax error in PARAMETER clause.");
    std::string name = joinParts(nameParts());
    if (peek().kind != Tk::Name) clauseError(sqlerr::SyntaxErrorParameters, "Syntax error in PARAMETER clause.");
    int type = parameterType(next().text);
    if (acceptOp("(")) {
      if (peek().kind != Tk::Number || !peekOp(")", 1))
        clauseError(sqlerr::SyntaxErrorParameters, "Syntax error in PARAMETER clause.");
      next();
      next();
    }
    if (!declared_.count(name)) {
      declared_.insert(name);
      out.declaredParameters.push_back({name, type});
    }
  } while (acceptOp(","));
  if (!acceptOp(";")) clauseError(sqlerr::SyntaxErrorParameters, "Syntax error in PARAMETER clause.");
}

void Translator::parseInsert(Translation& out) {
  const char* msg = "Syntax error in INSERT INTO statement.";
  next();  // INSERT
  if (!acceptKw("INTO")) clauseError(sqlerr::SyntaxErrorInsert, msg);
  out.kind = StatementKind::Insert;
  out.targetTable = tableName(ident(sqlerr::SyntaxErrorInsert, msg));
  if (peekOp(".") || peekOp("!") || peekKw("IN")) clauseError(sqlerr::SyntaxErrorInsert, msg);
  std::string sql = "INSERT INTO " + quoteIdentifier(out.targetTable);
  if (peekOp("(") && !peekKw("SELECT", 1)) {
    next();
    do {
      if (!isIdent(peek())) clauseError(sqlerr::SyntaxErrorInsert, msg);
      std::vector<std::string> parts = nameParts();
      out.insertColumns.push_back(parts.back());
    } while (acceptOp(","));
    if (!acceptOp(")")) clauseError(sqlerr::SyntaxErrorInsert, msg);
    sql += " (";
    for (std::size_t i = 0; i < out.insertColumns.size(); ++i)
      sql += (i ? ", " : "") + quoteIdentifier(out.insertColumns[i]);
    sql += ")";
  }
  if (acceptKw("VALUES")) {
    if (!acceptOp("(")) clauseError(sqlerr::SyntaxErrorInsert, msg);
    std::vector<ExprPtr> values;
    do {
      if (peekOp(")")) clauseError(sqlerr::SyntaxErrorInsert, msg);
      std::size_t start = 0;
      values.push_back(clauseExpression(start));
      expectExpressionEnd({}, true);
    } while (acceptOp(","));
    if (!acceptOp(")")) clauseError(sqlerr::SyntaxErrorInsert, msg);
    if (!out.insertColumns.empty() && values.size() != out.insertColumns.size())
      fail(sqlerr::ValuesCountMismatch, "Number of query values and destination fields aren't the same.");
    sql += " VALUES (";
    for (std::size_t i = 0; i < values.size(); ++i) sql += (i ? ", " : "") + value(*values[i]);
    sql += ")";
  } else if (peekKw("SELECT") || (peekOp("(") && peekKw("SELECT", 1))) {
    bool paren = acceptOp("(");
    SelectPtr s = parseSelect(false);
    if (paren && !acceptOp(")")) clauseError(sqlerr::SyntaxErrorInsert, msg);
    sql += " " + printSelect(*s);
  } else {
    clauseError(sqlerr::SyntaxErrorInsert, msg);
  }
  out.sql = std::move(sql);
}

void Translator::parseUpdate(Translation& out) {
  const char* msg = "Syntax error in UPDATE statement.";
  next();  // UPDATE
  if (!acceptKw("DISTINCTROW")) acceptKw("DISTINCT");
  out.kind = StatementKind::Update;
  out.targetTable = tableName(ident(sqlerr::SyntaxErrorUpdate, msg));
  std::string alias;
  if (acceptKw("AS")) alias = ident(sqlerr::SyntaxErrorUpdate, msg);
  else if (peek().kind == Tk::Bracket || (peek().kind == Tk::Name && !reservedAsAlias(peek().text) && !peekKw("SET")))
    alias = next().text;
  if (peekOp(",") || peekKw("INNER") || peekKw("LEFT") || peekKw("RIGHT") || peekKw("JOIN"))
    fail(sqlerr::QueryNotUpdatable, "Operation must use an updatable query.");
  if (!acceptKw("SET")) clauseError(sqlerr::SyntaxErrorUpdate, msg);
  struct Assignment {
    std::string column;
    ExprPtr value;
  };
  std::vector<Assignment> sets;
  do {
    if (!isIdent(peek())) clauseError(sqlerr::SyntaxErrorUpdate, msg);
    std::vector<std::string> parts = nameParts();
    if (parts.size() > 2) clauseError(sqlerr::SyntaxErrorUpdate, msg);
    if (parts.size() == 2 && !sameName(parts[0], out.targetTable) && !(alias.size() && sameName(parts[0], alias)))
      clauseError(sqlerr::SyntaxErrorUpdate, msg);
    if (!acceptOp("=")) clauseError(sqlerr::SyntaxErrorUpdate, msg);
    std::size_t start = 0;
    ExprPtr v = clauseExpression(start);
    expectExpressionEnd({"WHERE", "WITH"}, true);
    sets.push_back({parts.back(), std::move(v)});
  } while (acceptOp(","));
  ExprPtr where;
  if (acceptKw("WHERE")) {
    std::size_t start = 0;
    sawAggregate_ = false;
    where = clauseExpression(start);
    if (sawAggregate_)
      fail(sqlerr::AggregateInWhere,
           "Can't have aggregate function in WHERE clause (" + trimRight(src_.substr(start, peek().pos - start)) + ").");
    expectExpressionEnd({"WITH"});
  }
  renameFrom_ = alias;
  renameTo_ = out.targetTable;
  std::string sql = "UPDATE " + quoteIdentifier(out.targetTable) + " SET ";
  for (std::size_t i = 0; i < sets.size(); ++i)
    sql += (i ? ", " : "") + quoteIdentifier(sets[i].column) + " = " + value(*sets[i].value);
  if (where) sql += " WHERE " + cond(*where);
  renameFrom_.clear();
  out.sql = std::move(sql);
}

void Translator::parseDelete(Translation& out) {
  const char* msg = "Syntax error in DELETE statement.";
  next();  // DELETE
  if (!acceptKw("DISTINCTROW")) acceptKw("DISTINCT");
  out.kind = StatementKind::Delete;
  std::string target;  // the table or alias named before FROM
  if (acceptOp("*")) {
  } else if (!peekKw("FROM")) {
    do {
      if (!isIdent(peek())) clauseError(sqlerr::SyntaxErrorDelete, msg);
      std::vector<std::string> parts = nameParts();
      if ((parts.size() == 1 && acceptOp(".")) || (parts.size() == 1 && acceptOp("!"))) {
        if (!acceptOp("*")) clauseError(sqlerr::SyntaxErrorDelete, msg);
        target = parts[0];
      } else if (parts.size() == 2 && target.empty()) {
        target = parts[0];
      }
    } while (acceptOp(","));
  }
  if (!acceptKw("FROM")) clauseError(sqlerr::SyntaxErrorDelete, msg);
  Core core;
  parseFrom(core);
  ExprPtr where;
  if (acceptKw("WHERE")) {
    std::size_t start = 0;
    sawAggregate_ = false;
    where = clauseExpression(start);
    if (sawAggregate_)
      fail(sqlerr::AggregateInWhere,
           "Can't have aggregate function in WHERE clause (" + trimRight(src_.substr(start, peek().pos - start)) + ").");
    expectExpressionEnd({"WITH"});
  }
  const bool single = core.from.size() == 1 && core.from[0]->kind == Source::Table;
  if (single) {
    const Source& s = *core.from[0];
    if (!target.empty() && !sameName(target, s.name) && !sameName(target, s.alias))
      fail(sqlerr::DeleteTableUnspecified, "Specify the table containing the records you want to delete.");
    out.targetTable = s.name;
    renameFrom_ = s.alias;
    renameTo_ = s.name;
    out.sql = "DELETE FROM " + quoteIdentifier(s.name);
    if (where) out.sql += " WHERE " + cond(*where);
    renameFrom_.clear();
    return;
  }
  // Several tables: delete the rows of the named one that the join selects.
  if (target.empty()) fail(sqlerr::DeleteTableUnspecified, "Specify the table containing the records you want to delete.");
  const SourceTable* found = nullptr;
  for (const SourceTable& t : core.tables)
    if (!t.name.empty() && (sameName(t.alias, target) || (t.alias.empty() && sameName(t.name, target)))) found = &t;
  if (!found) fail(sqlerr::DeleteTableUnspecified, "Specify the table containing the records you want to delete.");
  out.targetTable = found->name;
  std::string from;
  for (std::size_t i = 0; i < core.from.size(); ++i) from += (i ? ", " : "") + printSource(*core.from[i]);
  out.sql = "DELETE FROM " + quoteIdentifier(found->name) + " WHERE rowid IN (SELECT " + quoteIdentifier(target) +
            ".rowid FROM " + from + (where ? " WHERE " + cond(*where) : std::string()) + ")";
}

std::vector<std::string> Translator::parenNameList(unsigned errNumber, const char* message) {
  if (!acceptOp("(")) clauseError(errNumber, message);
  std::vector<std::string> names;
  do names.push_back(ident(errNumber, message));
  while (acceptOp(","));
  if (!acceptOp(")")) clauseError(errNumber, message);
  return names;
}

void Translator::addIndex(DdlInfo& ddl, IndexDef index) {
  if (index.primary)
    for (const IndexDef& i : ddl.indexes)
      if (i.primary) fail(sqlerr::PrimaryKeyExists, "Primary key already exists.");
  ddl.indexes.push_back(std::move(index));
}

ColumnDef Translator::parseColumnDef(DdlInfo& ddl, unsigned errNumber, const char* message) {
  const char* fieldMsg = "Syntax error in field definition.";
  ColumnDef col;
  col.name = ident(errNumber, message);
  if (peek().kind != Tk::Name) clauseError(sqlerr::SyntaxErrorFieldDef, fieldMsg);
  const TypeName* type = findDdlType(next().text);
  if (!type) fail(sqlerr::SyntaxErrorFieldDef, fieldMsg);
  col.daoType = type->type;
  col.size = type->size;
  col.autoIncrement = type->counter;
  if (acceptOp("(")) {
    const Token& n = peek();
    if (!type->sized || n.kind != Tk::Number || n.text.find_first_not_of("0123456789") != std::string::npos ||
        n.text.size() > 4)
      clauseError(sqlerr::SyntaxErrorFieldDef, fieldMsg);
    int size = std::stoi(next().text);
    if (size < 1 || size > 255 || !acceptOp(")")) clauseError(sqlerr::SyntaxErrorFieldDef, fieldMsg);
    col.size = size;
  }
  for (;;) {
    if (peekKw("NOT") && peekKw("NULL", 1)) {
      next();
      next();
      col.notNull = true;
      continue;
    }
    if (acceptKw("NULL")) continue;
    if (peekKw("WITH") && (peekKw("COMPRESSION", 1) || peekKw("COMP", 1))) {
      next();
      next();
      continue;
    }
    std::string constraintName;
    bool named = false;
    if (acceptKw("CONSTRAINT")) {
      constraintName = ident(sqlerr::SyntaxErrorConstraint, "Syntax error in CONSTRAINT clause.");
      named = true;
    }
    if (peekKw("PRIMARY") || peekKw("UNIQUE")) {
      IndexDef index;
      index.name = constraintName;
      index.columns.push_back({col.name, false});
      if (acceptKw("PRIMARY")) {
        if (!acceptKw("KEY")) clauseError(sqlerr::SyntaxErrorConstraint, "Syntax error in CONSTRAINT clause.");
        index.primary = index.unique = index.required = true;
      } else {
        next();
        index.unique = true;
      }
      addIndex(ddl, std::move(index));
      continue;
    }
    if (acceptKw("REFERENCES")) {
      ForeignKeyDef fk;
      fk.name = constraintName;
      fk.columns.push_back(col.name);
      fk.referencedTable = ident(sqlerr::SyntaxErrorConstraint, "Syntax error in CONSTRAINT clause.");
      if (peekOp("("))
        fk.referencedColumns = parenNameList(sqlerr::SyntaxErrorConstraint, "Syntax error in CONSTRAINT clause.");
      ddl.foreignKeys.push_back(std::move(fk));
      continue;
    }
    if (named) {
      if (peekKw("NOT") && peekKw("NULL", 1)) {
        next();
        next();
        col.notNull = true;
        continue;
      }
      clauseError(sqlerr::SyntaxErrorConstraint, "Syntax error in CONSTRAINT clause.");
    }
    break;
  }
  for (const ColumnDef& c : ddl.columns)
    if (sameName(c.name, col.name))
      fail(sqlerr::CantDefineFieldTwice, "Can't define field more than once.");
  return col;
}

void Translator::parseTableConstraint(DdlInfo& ddl, std::string name) {
  const char* msg = "Syntax error in CONSTRAINT clause.";
  if (acceptKw("PRIMARY") || peekKw("UNIQUE")) {
    IndexDef index;
    index.name = std::move(name);
    if (acceptKw("UNIQUE")) {
      index.unique = true;
    } else {
      if (!acceptKw("KEY")) clauseError(sqlerr::SyntaxErrorConstraint, msg);
      index.primary = index.unique = index.required = true;
    }
    for (std::string& c : parenNameList(sqlerr::SyntaxErrorConstraint, msg)) index.columns.push_back({c, false});
    addIndex(ddl, std::move(index));
    return;
  }
  if (acceptKw("FOREIGN")) {
    if (!acceptKw("KEY")) clauseError(sqlerr::SyntaxErrorConstraint, msg);
    ForeignKeyDef fk;
    fk.name = std::move(name);
    fk.columns = parenNameList(sqlerr::SyntaxErrorConstraint, msg);
    if (!acceptKw("REFERENCES")) clauseError(sqlerr::SyntaxErrorConstraint, msg);
    fk.referencedTable = ident(sqlerr::SyntaxErrorConstraint, msg);
    if (peekOp("(")) fk.referencedColumns = parenNameList(sqlerr::SyntaxErrorConstraint, msg);
    ddl.foreignKeys.push_back(std::move(fk));
    return;
  }
  clauseError(sqlerr::SyntaxErrorConstraint, msg);
}

void Translator::parseCreate(Translation& out) {
  next();  // CREATE
  if (acceptKw("TABLE")) {
    const char* msg = "Syntax error in CREATE TABLE statement.";
    out.kind = StatementKind::CreateTable;
    out.ddl.table = ident(sqlerr::SyntaxErrorCreateTable, msg);
    if (!acceptOp("(")) clauseError(sqlerr::SyntaxErrorCreateTable, msg);
    do {
      if (acceptKw("CONSTRAINT")) {
        std::string name = ident(sqlerr::SyntaxErrorConstraint, "Syntax error in CONSTRAINT clause.");
        parseTableConstraint(out.ddl, std::move(name));
      } else if (peekKw("PRIMARY") || peekKw("UNIQUE") || peekKw("FOREIGN")) {
        parseTableConstraint(out.ddl, std::string());
      } else {
        out.ddl.columns.push_back(parseColumnDef(out.ddl, sqlerr::SyntaxErrorCreateTable, msg));
      }
    } while (acceptOp(","));
    if (!acceptOp(")")) clauseError(sqlerr::SyntaxErrorCreateTable, msg);
    if (out.ddl.columns.empty()) fail(sqlerr::SyntaxErrorCreateTable, msg);
    return;
  }
  const char* msg = "Syntax error in CREATE INDEX statement.";
  IndexDef index;
  if (acceptKw("UNIQUE")) index.unique = true;
  if (!acceptKw("INDEX")) clauseError(sqlerr::SyntaxErrorCreateTable, "Syntax error in CREATE TABLE statement.");
  out.kind = StatementKind::CreateIndex;
  index.name = ident(sqlerr::SyntaxErrorCreateIndex, msg);
  if (!acceptKw("ON")) clauseError(sqlerr::SyntaxErrorCreateIndex, msg);
  out.ddl.table = ident(sqlerr::SyntaxErrorCreateIndex, msg);
  if (!acceptOp("(")) clauseError(sqlerr::SyntaxErrorCreateIndex, msg);
  do {
    IndexColumn c;
    c.name = ident(sqlerr::SyntaxErrorCreateIndex, msg);
    if (acceptKw("DESC")) c.descending = true;
    else acceptKw("ASC");
    index.columns.push_back(std::move(c));
  } while (acceptOp(","));
  if (!acceptOp(")")) clauseError(sqlerr::SyntaxErrorCreateIndex, msg);
  if (acceptKw("WITH")) {
    bool any = false;
    for (;;) {
      if (acceptKw("PRIMARY")) {
        index.primary = index.unique = index.required = true;
      } else if (peekKw("DISALLOW") && peekKw("NULL", 1)) {
        next();
        next();
        index.required = true;
      } else if (peekKw("IGNORE") && peekKw("NULL", 1)) {
        next();
        next();
        index.ignoreNulls = true;
      } else {
        break;
      }
      any = true;
    }
    if (!any) clauseError(sqlerr::SyntaxErrorCreateIndex, msg);
  }
  out.ddl.indexes.push_back(std::move(index));
}

void Translator::parseDrop(Translation& out) {
  const char* msg = "Syntax error in DROP TABLE or DROP INDEX.";
  next();  // DROP
  if (acceptKw("TABLE")) {
    out.kind = StatementKind::DropTable;
    out.ddl.table = ident(sqlerr::SyntaxErrorDrop, msg);
    return;
  }
  if (!acceptKw("INDEX")) clauseError(sqlerr::SyntaxErrorDrop, msg);
  out.kind = StatementKind::DropIndex;
  out.ddl.name = ident(sqlerr::SyntaxErrorDrop, msg);
  if (!acceptKw("ON")) clauseError(sqlerr::SyntaxErrorDrop, msg);
  out.ddl.table = ident(sqlerr::SyntaxErrorDrop, msg);
}

void Translator::parseAlter(Translation& out) {
  const char* msg = "Syntax error in ALTER TABLE statement.";
  next();  // ALTER
  if (!acceptKw("TABLE")) clauseError(sqlerr::SyntaxErrorAlterTable, msg);
  out.ddl.table = ident(sqlerr::SyntaxErrorAlterTable, msg);
  if (acceptKw("ADD")) {
    if (acceptKw("CONSTRAINT")) {
      out.kind = StatementKind::AddConstraint;
      std::string name = ident(sqlerr::SyntaxErrorConstraint, "Syntax error in CONSTRAINT clause.");
      parseTableConstraint(out.ddl, std::move(name));
      return;
    }
    if (peekKw("PRIMARY") || peekKw("UNIQUE") || peekKw("FOREIGN")) {
      out.kind = StatementKind::AddConstraint;
      parseTableConstraint(out.ddl, std::string());
      return;
    }
    acceptKw("COLUMN");
    out.kind = StatementKind::AddColumn;
    out.ddl.columns.push_back(parseColumnDef(out.ddl, sqlerr::SyntaxErrorAlterTable, msg));
    return;
  }
  if (acceptKw("DROP")) {
    if (acceptKw("CONSTRAINT")) {
      out.kind = StatementKind::DropConstraint;
      out.ddl.name = ident(sqlerr::SyntaxErrorAlterTable, msg);
      return;
    }
    acceptKw("COLUMN");
    out.kind = StatementKind::DropColumn;
    out.ddl.name = ident(sqlerr::SyntaxErrorAlterTable, msg);
    return;
  }
  clauseError(sqlerr::SyntaxErrorAlterTable, msg);
}

// ---------------------------------------------------------------------------
// Printing

bool Translator::isBool(const Expr& e) {
  switch (e.kind) {
    case EK::Not:
    case EK::Compare:
    case EK::Like:
    case EK::Between:
    case EK::InList:
    case EK::InSelect:
    case EK::IsNull:
    case EK::Exists:
    case EK::Quantified: return true;
    case EK::Binary:
      return e.bin == BinOp::And || e.bin == BinOp::Or || e.bin == BinOp::Xor || e.bin == BinOp::Eqv ||
             e.bin == BinOp::Imp;
    default: return false;
  }
}

bool Translator::mayBeText(const Expr& e) {
  switch (e.kind) {
    case EK::String:
    case EK::Column:
    case EK::Param:
    case EK::Subquery:
    case EK::Iif:
    case EK::Nz:
    case EK::Cat: return true;
    case EK::Func: {
      if (e.fn->returnsText) return true;
      std::string_view n = e.fn->sqlName;
      return n == "min" || n == "max" || n == "kh_first" || n == "kh_last";
    }
    case EK::Binary: return e.bin == BinOp::Add && mayBeText(*e.args[0]) && mayBeText(*e.args[1]);
    default: return false;
  }
}

std::string Translator::column(const std::vector<std::string>& parts) {
  if (unqualify_) return quoteIdentifier(parts.back());
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '.';
    if (i == 0 && parts.size() > 1 && !renameFrom_.empty() && sameName(parts[0], renameFrom_))
      out += quoteIdentifier(renameTo_);
    else
      out += quoteIdentifier(parts[i]);
  }
  return out;
}

Printed Translator::pr(const Expr& e, bool asCondition) {
  if (isBool(e)) {
    Printed p = prBool(e);
    if (asCondition) return p;
    return {"-(" + p.s + ")", 9};
  }
  return prValue(e);
}

// 1 or 0 for a truth value, as SQLite's own comparisons give.
std::string Translator::asZeroOne(const Expr& e) {
  if (isBool(e)) return "(" + prBool(e).s + ")";
  return "(" + atLeast(prValue(e), 5) + " <> 0)";
}

Printed Translator::prBool(const Expr& e) {
  static const char* const cmpText[] = {" = ", " <> ", " < ", " <= ", " > ", " >= "};
  switch (e.kind) {
    case EK::Not: return {"NOT " + atLeast(pr(*e.args[0], true), 2), 2};
    case EK::Binary:
      switch (e.bin) {
        case BinOp::And: return {atLeast(pr(*e.args[0], true), 1) + " AND " + atLeast(pr(*e.args[1], true), 1), 1};
        case BinOp::Or: return {pr(*e.args[0], true).s + " OR " + pr(*e.args[1], true).s, 0};
        case BinOp::Xor: return {"(" + asZeroOne(*e.args[0]) + " <> " + asZeroOne(*e.args[1]) + ")", 10};
        case BinOp::Eqv: return {"(" + asZeroOne(*e.args[0]) + " = " + asZeroOne(*e.args[1]) + ")", 10};
        case BinOp::Imp: return {"NOT " + atLeast(pr(*e.args[0], true), 2) + " OR " + pr(*e.args[1], true).s, 0};
        default: break;
      }
      break;
    case EK::Compare: {
      const Expr& a = *e.args[0];
      const Expr& b = *e.args[1];
      std::string l = atLeast(pr(a, false), 5);
      Printed rp = pr(b, false);
      std::string r = needsCollation(a) && needsCollation(b) ? collated(rp) : atLeast(rp, 5);
      int prec = e.cmp == CmpOp::Eq || e.cmp == CmpOp::Ne ? 3 : 4;
      return {l + cmpText[static_cast<int>(e.cmp)] + r, prec};
    }
    case EK::Like:
      return {atLeast(pr(*e.args[0], false), 5) + (e.negate ? " NOT LIKE " : " LIKE ") +
                  atLeast(pr(*e.args[1], false), 5),
              3};
    case EK::Between: {
      const Expr& x = *e.args[0];
      Printed xp = pr(x, false);
      std::string l = needsCollation(x) ? collated(xp) : atLeast(xp, 5);
      return {l + (e.negate ? " NOT BETWEEN " : " BETWEEN ") + atLeast(pr(*e.args[1], false), 5) + " AND " +
                  atLeast(pr(*e.args[2], false), 5),
              3};
    }
    case EK::InList: {
      const Expr& x = *e.args[0];
      Printed xp = pr(x, false);
      std::string s = (needsCollation(x) ? collated(xp) : atLeast(xp, 5)) + (e.negate ? " NOT IN (" : " IN (");
      for (std::size_t i = 1; i < e.args.size(); ++i) s += (i > 1 ? ", " : "") + value(*e.args[i]);
      return {s + ")", 3};
    }
    case EK::InSelect: {
      const Expr& x = *e.args[0];
      Printed xp = pr(x, false);
      std::string l = needsCollation(x) ? collated(xp) : atLeast(xp, 5);
      return {l + (e.negate ? " NOT IN (" : " IN (") + printSelect(*e.sub) + ")", 3};
    }
    case EK::IsNull:
      return {atLeast(pr(*e.args[0], false), 5) + (e.negate ? " IS NOT NULL" : " IS NULL"), 3};
    case EK::Exists: return {"EXISTS (" + printSelect(*e.sub) + ")", 10};
    case EK::Quantified: {
      std::string x = atLeast(pr(*e.args[0], false), 5);
      std::string test = x + cmpText[static_cast<int>(e.cmp)] + "[kh_q].[kh_v]";
      std::string from = "SELECT 1 FROM (" + printSelect(*e.sub) + ") AS [kh_q] WHERE ";
      if (e.negate) return {"NOT EXISTS (" + from + "coalesce(NOT (" + test + "), 1))", 2};
      return {"EXISTS (" + from + test + ")", 10};
    }
    default: break;
  }
  return prValue(e);
}

Printed Translator::prValue(const Expr& e) {
  auto call = [&](const char* name) {
    std::string s = std::string(name) + "(";
    for (std::size_t i = 0; i < e.args.size(); ++i) s += (i ? ", " : "") + value(*e.args[i]);
    return Printed{s + ")", 10};
  };
  switch (e.kind) {
    case EK::Number:
    case EK::String:
    case EK::Date: return {e.text, 10};
    case EK::Bool: return {e.text, e.text[0] == '-' ? 9 : 10};
    case EK::Null: return {"NULL", 10};
    case EK::Column: return {column(e.parts), 10};
    case EK::Param: return {"?" + std::to_string(e.param), 10};
    case EK::Star: return {"*", 10};
    case EK::Neg: {
      Printed c = pr(*e.args[0], false);
      std::string s = c.prec < 9 || c.s[0] == '-' ? "(" + c.s + ")" : c.s;
      return {"-" + s, 9};
    }
    case EK::Binary: {
      const Expr& a = *e.args[0];
      const Expr& b = *e.args[1];
      switch (e.bin) {
        case BinOp::Add:
          if (mayBeText(a) && mayBeText(b)) return call("kh_add");
          return {atLeast(pr(a, false), 6) + " + " + atLeast(pr(b, false), 7), 6};
        case BinOp::Sub: return {atLeast(pr(a, false), 6) + " - " + atLeast(pr(b, false), 7), 6};
        case BinOp::Mul: return {atLeast(pr(a, false), 7) + " * " + atLeast(pr(b, false), 8), 7};
        case BinOp::Div: return call("kh_div");
        case BinOp::IntDiv: return call("kh_idiv");
        case BinOp::Mod: return call("kh_mod");
        case BinOp::Pow: return call("kh_pow");
        default: break;
      }
      break;
    }
    case EK::Func: return call(e.fn->sqlName);
    case EK::Cat: return call("kh_cat");
    case EK::Iif:
      return {"CASE WHEN " + cond(*e.args[0]) + " THEN " + value(*e.args[1]) + " ELSE " + value(*e.args[2]) + " END",
              10};
    case EK::Nz:
      return {"ifnull(" + value(*e.args[0]) + ", " + (e.args.size() > 1 ? value(*e.args[1]) : std::string("''")) + ")",
              10};
    case EK::Subquery: return {"(" + printSelect(*e.sub) + ")", 10};
    default: break;
  }
  return prBool(e);
}

std::string Translator::printSource(const Source& s) {
  switch (s.kind) {
    case Source::Table: return quoteIdentifier(s.name) + (s.alias.empty() ? "" : " AS " + quoteIdentifier(s.alias));
    case Source::Sub:
      return "(" + printSelect(*s.sub) + ")" + (s.alias.empty() ? "" : " AS " + quoteIdentifier(s.alias));
    case Source::Join: {
      // SQLite has no RIGHT JOIN: a RIGHT JOIN b is b LEFT JOIN a.
      const Source& l = s.join == 2 ? *s.right : *s.left;
      const Source& r = s.join == 2 ? *s.left : *s.right;
      std::string right = printSource(r);
      if (r.kind == Source::Join) right = "(" + right + ")";
      return printSource(l) + (s.join == 0 ? " INNER JOIN " : " LEFT JOIN ") + right + " ON " + cond(*s.on);
    }
  }
  return {};
}

std::string Translator::printOrderTerm(const OrderItem& o, bool compound) {
  std::string s;
  if (compound) {
    unqualify_ = true;
    Printed p = pr(*o.expr, false);
    unqualify_ = false;
    s = needsCollation(*o.expr) ? collated(p) : p.s;
  } else {
    Printed p = pr(*o.expr, false);
    s = needsCollation(*o.expr) ? collated(p) : p.s;
  }
  return o.desc ? s + " DESC" : s;
}

Translator::CoreText Translator::printCore(const Core& c, bool forCount) {
  CoreText t;
  std::string s = "SELECT ";
  if (c.distinct) s += "DISTINCT ";
  t.listOffset = s.size();

  // Jet names: a field twice in the list is called table.field; an expression
  // without a name is ExprNNNN.
  std::map<std::string, int, NameLess> columnNames;
  for (const SelectItem& it : c.items)
    if (!it.star && it.alias.empty() && it.expr->kind == EK::Column) ++columnNames[it.expr->parts.back()];
  int exprNumber = 1000;
  std::string list;
  for (std::size_t i = 0; i < c.items.size(); ++i) {
    const SelectItem& it = c.items[i];
    if (i) list += ", ";
    if (it.star) {
      list += it.starTable.empty() ? "*" : quoteIdentifier(it.starTable) + ".*";
      continue;
    }
    list += value(*it.expr);
    std::string alias = it.alias;
    if (alias.empty()) {
      if (it.expr->kind != EK::Column) {
        alias = "Expr" + std::to_string(exprNumber++);
      } else if (it.expr->parts.size() > 1) {
        if (columnNames[it.expr->parts.back()] > 1) alias = joinParts(it.expr->parts);
        else if (c.nestedFrom) alias = it.expr->parts.back();
      }
    }
    if (!alias.empty()) list += " AS " + quoteIdentifier(alias);
  }
  s += list;
  t.list = list;
  if (!c.from.empty()) {
    std::string from;
    for (std::size_t i = 0; i < c.from.size(); ++i) from += (i ? ", " : "") + printSource(*c.from[i]);
    s += " FROM " + from;
    t.from = from;
  }
  if (c.where) {
    t.where = cond(*c.where);
    s += " WHERE " + t.where;
  }
  std::vector<std::string> groups;
  for (const ExprPtr& g : c.groupBy) {
    Printed p = pr(*g, false);
    groups.push_back(needsCollation(*g) ? collated(p) : p.s);
  }
  // DISTINCTROW over a join that shows fields of only some of its tables keeps
  // one row per combination of rows of those tables.
  if (c.distinctRow && groups.empty() && !c.aggregate && c.tables.size() > 1) {
    bool everything = false;
    std::vector<std::string> used;
    auto use = [&](const std::string& q) {
      for (const std::string& u : used)
        if (sameName(u, q)) return;
      used.push_back(q);
    };
    std::vector<const Expr*> stack;
    for (const SelectItem& it : c.items) {
      if (it.star) {
        if (it.starTable.empty()) everything = true;
        else use(it.starTable);
        continue;
      }
      stack.push_back(it.expr.get());
    }
    while (!stack.empty()) {
      const Expr* e = stack.back();
      stack.pop_back();
      if (e->kind == EK::Column) {
        if (e->parts.size() < 2) fail(sqlerr::SyntaxErrorSelect, kSelectMessage);
        use(e->parts[0]);
      }
      for (const ExprPtr& a : e->args) stack.push_back(a.get());
    }
    if (!everything && used.size() < c.tables.size()) {
      for (const std::string& q : used) {
        bool isTable = false;
        for (const SourceTable& st : c.tables)
          if (!st.name.empty() && (sameName(st.alias, q) || (st.alias.empty() && sameName(st.name, q)))) isTable = true;
        if (!isTable) fail(sqlerr::SyntaxErrorSelect, kSelectMessage);
        groups.push_back(quoteIdentifier(q) + ".rowid");
      }
    }
  }
  if (!groups.empty()) {
    s += " GROUP BY ";
    for (std::size_t i = 0; i < groups.size(); ++i) s += (i ? ", " : "") + groups[i];
  }
  if (c.having) s += " HAVING " + cond(*c.having);
  if (forCount) {
    t.sql = std::move(s);
    return t;
  }
  if (!c.orderBy.empty()) {
    for (std::size_t i = 0; i < c.orderBy.size(); ++i) t.orderBy += (i ? ", " : "") + printOrderTerm(c.orderBy[i], false);
    s += " ORDER BY " + t.orderBy;
  }
  if (c.top) {
    if (c.topPercent)
      s += " LIMIT (SELECT (count(*) * " + c.topN + " + 99) / 100 FROM (" + printCore(c, true).sql + "))";
    else
      s += " LIMIT " + c.topN;
  }
  t.sql = std::move(s);
  return t;
}

std::string Translator::printSelect(const Select& sel) {
  if (sel.cores.size() == 1) return printCore(sel.cores[0]).sql;
  std::string s;
  for (std::size_t i = 0; i < sel.cores.size(); ++i) {
    if (i) s += sel.unionAll[i - 1] ? " UNION ALL " : " UNION ";
    std::string core = printCore(sel.cores[i]).sql;
    if (sel.cores[i].top) core = "SELECT * FROM (" + core + ")";
    s += core;
  }
  if (!sel.orderBy.empty()) {
    s += " ORDER BY ";
    for (std::size_t i = 0; i < sel.orderBy.size(); ++i) s += (i ? ", " : "") + printOrderTerm(sel.orderBy[i], true);
  }
  return s;
}

// ---------------------------------------------------------------------------
// Entry points

void Translator::statement(Translation& out) {
  if (peekKw("PARAMETERS")) parseParameters(out);
  const Token& t = peek();
  if (t.kind == Tk::Bad && t.bad != BadKind::Char) badToken(t);
  if (isKw(t, "SELECT") || isKw(t, "TABLE") || (isOp(t, "(") && peekKw("SELECT", 1))) {
    bool paren = acceptOp("(");
    SelectPtr sel = parseSelect(true);
    if (paren && !acceptOp(")")) clauseError(sqlerr::SyntaxErrorSelect, kSelectMessage);
    const Core& first = sel->cores.front();
    if (!first.into.empty()) {
      out.kind = StatementKind::SelectInto;
      out.targetTable = first.into;
    } else {
      out.kind = StatementKind::Select;
    }
    if (sel->cores.size() == 1 && out.kind == StatementKind::Select) {
      CoreText ct = printCore(first);
      SelectInfo info;
      info.tables = first.tables;
      info.singleTable = !first.distinct && !first.top && first.groupBy.empty() && !first.having && !first.aggregate &&
                         first.from.size() == 1 && first.from[0]->kind == Source::Table;
      info.selectListOffset = ct.listOffset;
      info.selectList = ct.list;
      info.from = ct.from;
      info.where = ct.where;
      info.orderBy = ct.orderBy;
      out.sql = std::move(ct.sql);
      out.select = std::move(info);
    } else {
      out.sql = printSelect(*sel);
    }
  } else if (isKw(t, "INSERT")) {
    parseInsert(out);
  } else if (isKw(t, "UPDATE")) {
    parseUpdate(out);
  } else if (isKw(t, "DELETE")) {
    parseDelete(out);
  } else if (isKw(t, "CREATE")) {
    parseCreate(out);
  } else if (isKw(t, "DROP")) {
    parseDrop(out);
  } else if (isKw(t, "ALTER")) {
    parseAlter(out);
  } else {
    fail(sqlerr::InvalidSql, "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
  }
  if (peekKw("WITH") && peekKw("OWNERACCESS", 1) && peekKw("OPTION", 2)) {
    next();
    next();
    next();
  }
  acceptOp(";");
  if (peek().kind != Tk::End) {
    fail(sqlerr::TrailingCharacters, "Characters found after end of SQL statement.");
  }
  out.parameters = params_;
  out.columnNames = std::move(columnNames_);
  out.aliases = std::move(aliases_);
}

void Translator::expression(ExpressionTranslation& out, ExpressionUse use) {
  exprStart_ = peek().pos;
  if (peek().kind == Tk::End) exprError(peek());
  sawAggregate_ = false;
  ExprPtr e = parseImp();
  if (peek().kind != Tk::End) exprError(peek());
  if (sawAggregate_)
    fail(sqlerr::AggregateInWhere, "Can't have aggregate function in WHERE clause (" + trimRight(src_) + ").");
  out.sql = use == ExpressionUse::Value ? value(*e) : cond(*e);
  out.parameters = params_;
}

}  // namespace

int ddlTypeFromName(std::string_view typeName, bool* autoIncrement) {
  const TypeName* t = findDdlType(typeName);
  if (autoIncrement) *autoIncrement = t && t->counter;
  return t ? t->type : 0;
}

bool translateStatement(std::string_view jetSql, const NameSet& parameterNames, Translation& out,
                        Error& error) noexcept {
  try {
    out = Translation{};
    // SQLite ends an SQL text at a NUL byte: never hand it one.
    if (jetSql.find('\0') != std::string_view::npos)
      fail(sqlerr::SyntaxErrorExpression, "Invalid character in query expression.");
    Translator t(jetSql, parameterNames, false);
    t.statement(out);
    return true;
  } catch (const SqlError& e) {
    error = {e.number, e.message};
  } catch (const std::bad_alloc&) {
    error = {sqlerr::OutOfMemory, "Out of memory."};
  } catch (...) {
    error = {sqlerr::SyntaxErrorExpression, "Syntax error in query expression."};
  }
  return false;
}

bool translateExpression(std::string_view jetExpression, const NameSet& parameterNames, ExpressionTranslation& out,
                         Error& error, ExpressionUse use) noexcept {
  try {
    out = ExpressionTranslation{};
    if (jetExpression.find('\0') != std::string_view::npos)
      fail(sqlerr::SyntaxErrorLoneExpression, "Invalid character in expression.");
    Translator t(jetExpression, parameterNames, true);
    t.expression(out, use);
    return true;
  } catch (const SqlError& e) {
    error = {e.number, e.message};
  } catch (const std::bad_alloc&) {
    error = {sqlerr::OutOfMemory, "Out of memory."};
  } catch (...) {
    error = {sqlerr::SyntaxErrorLoneExpression, "Syntax error in expression."};
  }
  return false;
}

}  // namespace kh::store::jet
