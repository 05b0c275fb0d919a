#include "KBEPI32_CanExpr.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "KBEPI32_Conversions.h"
#include "KBEPI32_Log.h"

namespace kbe::canexpr {

namespace {

using kh::Variant;

// Node classes and operators.
constexpr std::uint32_t kUnary = 1, kBinary = 2, kCompare = 3, kField = 4, kConstant = 5;
constexpr std::uint32_t kIsBlank = 1, kNotBlank = 2, kEq = 3, kNe = 4, kGt = 5, kLt = 6, kGe = 7, kLe = 8, kNot = 9,
                        kAnd = 10, kOr = 11, kFieldOp = 13, kConstOp = 14, kMinus = 15, kAdd = 16, kSub = 17,
                        kMul = 18, kDiv = 19, kMod = 20;
// Constant types.
constexpr std::uint16_t kString = 1, kDate = 2, kBool = 4, kInt16 = 5, kInt32 = 6, kFloat = 7, kTime = 10,
                        kTimestamp = 11;

constexpr std::size_t kHeaderSize = sizeof(CANExpr);
constexpr std::size_t kNodeHeader = 8;

// The bytes each node class reads after the node header.
std::size_t nodeBody(std::uint32_t nodeClass) noexcept {
  switch (nodeClass) {
    case kUnary: return 2;
    case kBinary: return 4;
    case kCompare: return 8;
    case kField: return 4;
    case kConstant: return 6;
    default: return 0;
  }
}

// The bytes a constant of `type` reads from the literal pool (0: as its size says).
std::size_t constantBytes(std::uint16_t type) noexcept {
  switch (type) {
    case kBool:
    case kInt16: return 2;
    case kDate:
    case kInt32:
    case kTime: return 4;
    case kFloat:
    case kTimestamp: return 8;
    default: return 0;
  }
}

// A malformed block or one beyond the walk limits.
struct Malformed {
  DBIResult code;
};

// Bounds-checked reading of a block. Every read tests its whole range
// against the block's size first.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  void need(std::size_t offset, std::size_t length) const {
    if (offset > size_ || length > size_ - offset) throw Malformed{rc::InvalidFilter};
  }
  std::uint16_t u16(std::size_t offset) const {
    need(offset, 2);
    std::uint16_t v;
    std::memcpy(&v, data_ + offset, 2);
    return v;
  }
  std::uint32_t u32(std::size_t offset) const {
    need(offset, 4);
    std::uint32_t v;
    std::memcpy(&v, data_ + offset, 4);
    return v;
  }
  template <class T>
  T value(std::size_t offset) const {
    need(offset, sizeof(T));
    T v;
    std::memcpy(&v, data_ + offset, sizeof v);
    return v;
  }
  // The zero-terminated text at `offset`, at most `limit` bytes; it must end
  // (zero byte or limit) inside the block.
  std::string text(std::size_t offset, std::size_t limit) const {
    need(offset, 0);
    const std::size_t room = std::min(limit, size_ - offset);
    const auto* start = reinterpret_cast<const char*>(data_ + offset);
    const std::size_t length = strnlen(start, room);
    if (length == room && room < limit) throw Malformed{rc::InvalidFilter};  // runs off the block
    return std::string(start, length);
  }

  std::uint16_t nodeStart() const { return u16(6); }
  std::uint16_t literalStart() const { return u16(8); }

  // The absolute offset of the node at node offset `node`, its header and body in the block.
  std::size_t node(std::uint16_t nodeOffset) const {
    const std::size_t at = std::size_t{nodeStart()} + nodeOffset;
    need(at, kNodeHeader);
    need(at, kNodeHeader + nodeBody(u32(at)));
    return at;
  }
  std::size_t literal(std::uint16_t offset) const { return std::size_t{literalStart()} + offset; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// Counts the work of one walk and refuses beyond the limits.
class Budget {
 public:
  void enter(int depth) {
    if (depth > kMaxDepth || ++visits_ > kMaxVisits) throw Malformed{rc::QueryTooComplex};
  }

 private:
  int visits_ = 0;
};

// ---- checking -------------------------------------------------------------------

void checkNode(const Reader& r, std::uint16_t nodeOffset, int depth, Budget& budget) {
  budget.enter(depth);
  const std::size_t at = r.node(nodeOffset);
  switch (r.u32(at)) {
    case kUnary: checkNode(r, r.u16(at + 8), depth + 1, budget); break;
    case kBinary:
      checkNode(r, r.u16(at + 8), depth + 1, budget);
      checkNode(r, r.u16(at + 10), depth + 1, budget);
      break;
    case kCompare:
      checkNode(r, r.u16(at + 12), depth + 1, budget);
      checkNode(r, r.u16(at + 14), depth + 1, budget);
      break;
    case kField: r.text(r.literal(r.u16(at + 10)), std::numeric_limits<std::size_t>::max()); break;
    case kConstant: {
      const std::uint16_t type = r.u16(at + 8);
      const std::uint16_t size = r.u16(at + 10);
      const std::size_t literal = r.literal(r.u16(at + 12));
      r.need(literal, size);
      r.need(literal, constantBytes(type));
      break;
    }
    default: break;  // read no further than the header
  }
}

// ---- translation ----------------------------------------------------------------

const char* binaryText(std::uint32_t op) noexcept {
  switch (op) {
    case kEq: return " = ";
    case kNe: return " <> ";
    case kGt: return " > ";
    case kLt: return " < ";
    case kGe: return " >= ";
    case kLe: return " <= ";
    case kAnd: return " and ";
    case kOr: return " or ";
    case kAdd: return " + ";
    case kSub: return " - ";
    case kMul: return " * ";
    case kDiv: return " / ";
    case kMod: return " mod ";
    default: return nullptr;
  }
}

// A string constant between double quotes; an embedded double quote is
// doubled, so the text stays one Jet string whatever the constant holds.
std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    out += ch;
    if (ch == '"') out += '"';
  }
  return out + "\"";
}

std::string constantText(const Reader& r, std::size_t at) {
  const std::uint16_t type = r.u16(at + 8);
  const std::size_t literal = r.literal(r.u16(at + 12));
  switch (type) {
    case kString: return quoted(r.text(literal, r.u16(at + 10)));
    case kBool: return r.u16(literal) ? "True" : "False";
    case kInt16: return std::to_string(r.value<std::int16_t>(literal));
    case kInt32: return std::to_string(r.value<std::int32_t>(literal));
    case kFloat: {
      const double v = r.value<double>(literal);
      if (!std::isfinite(v)) throw EKBEError("Filter constant is not a finite number");
      return conv::floatCriteriaText(v);
    }
    case kTimestamp: {
      const double ts = r.value<double>(literal);
      const std::string text = std::isfinite(ts) ? conv::dateTimeCriteriaText(conv::dateFromTimestamp(ts)) : "";
      if (text.empty()) throw EKBEError("Filter constant is not a valid date");
      return "#" + text + "#";
    }
    default: return {};
  }
}

std::string translate(const Reader& r, std::uint16_t nodeOffset, int depth, Budget& budget) {
  budget.enter(depth);
  const std::size_t at = r.node(nodeOffset);
  const std::uint32_t nodeClass = r.u32(at);
  const std::uint32_t op = r.u32(at + 4);
  auto operand = [&](std::size_t field) { return translate(r, r.u16(at + field), depth + 1, budget); };
  std::string out;
  switch (nodeClass) {
    case kUnary:
      if (op == kIsBlank) out = "(" + operand(8) + " is null)";
      else if (op == kNotBlank) out = "(" + operand(8) + " is not null)";
      else if (op == kNot) out = "not " + operand(8);
      else if (op == kMinus) out = "-" + operand(8);
      break;
    case kBinary:
      if (const char* text = binaryText(op)) {
        std::string a = operand(8);
        out = "(" + a + text + operand(10) + ")";
      }
      break;
    case kCompare:
      if (op == kEq || op == kNe) {
        std::string a = operand(12);
        out = "(" + a + (op == kEq ? " like " : " not like ") + operand(14) + " & \"*\")";
      }
      break;
    case kField:
      if (op == kFieldOp) {
        const std::string name = r.text(r.literal(r.u16(at + 10)), std::numeric_limits<std::size_t>::max());
        if (name.find(']') != std::string::npos) throw EKBEError("Filter field name holds ']'");
        out = "[" + name + "]";
      }
      break;
    case kConstant:
      if (op == kConstOp) out = constantText(r, at);
      break;
    default: break;
  }
  if (out.size() > kMaxCriteriaLength) throw EKBEError("Filter criteria too long");
  return out;
}

// ---- evaluation -----------------------------------------------------------------

bool isNull(const Variant& v) noexcept { return v.isNull() || v.isEmpty(); }

bool truth(const Variant& v) {
  if (v.type() == kh::VT_BOOL) return v.boolVal();
  Variant b;
  if (kh::FAILED(v.changeType(kh::VT_BOOL, b))) throw EKBEError("Filter value is not a truth value");
  return b.boolVal();
}

double number(const Variant& v) {
  Variant d;
  if (kh::FAILED(v.changeType(kh::VT_R8, d))) throw EKBEError("Filter value is not a number");
  return d.r8();
}

bool integral(const Variant& v) noexcept {
  const auto t = v.type();
  return t == kh::VT_I2 || t == kh::VT_I4 || t == kh::VT_UI1 || t == kh::VT_BOOL;
}

Variant fromNumber(double v, bool asInteger) {
  if (asInteger && v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
    return Variant(static_cast<std::int32_t>(v));
  return Variant(v);
}

Variant arithmetic(std::uint32_t op, const Variant& a, const Variant& b) {
  if (op == kAdd && a.type() == kh::VT_BSTR && b.type() == kh::VT_BSTR) return Variant(a.str() + b.str());
  const double x = number(a), y = number(b);
  const bool ints = integral(a) && integral(b);
  const bool date = (a.type() == kh::VT_DATE || b.type() == kh::VT_DATE) && (op == kAdd || op == kSub);
  double r = 0;
  switch (op) {
    case kAdd: r = x + y; break;
    case kSub: r = x - y; break;
    case kMul: r = x * y; break;
    case kDiv:
      if (y == 0) throw EKBEError("Division by zero");
      return Variant(x / y);
    case kMod: {
      const double p = std::nearbyint(x), q = std::nearbyint(y);
      if (q == 0) throw EKBEError("Division by zero");
      return fromNumber(std::fmod(p, q), true);
    }
    default: return Variant::fromBool(true);
  }
  if (date) return Variant::fromDate(r);
  return fromNumber(r, ints);
}

bool comparison(std::uint32_t op, int cmp) noexcept {
  switch (op) {
    case kEq: return cmp == 0;
    case kNe: return cmp != 0;
    case kGt: return cmp > 0;
    case kLt: return cmp < 0;
    case kGe: return cmp >= 0;
    default: return cmp <= 0;  // kLe
  }
}

Variant constantValue(const Reader& r, std::size_t at) {
  const std::uint16_t type = r.u16(at + 8);
  const std::size_t literal = r.literal(r.u16(at + 12));
  switch (type) {
    case kString: return Variant(conv::utf8Of(r.text(literal, r.u16(at + 10))));
    case kBool: return Variant::fromBool(r.u16(literal) != 0);
    case kInt16: return Variant(r.value<std::int16_t>(literal));
    case kInt32: return Variant(r.value<std::int32_t>(literal));
    case kFloat: return Variant(r.value<double>(literal));
    case kTimestamp: return Variant::fromDate(conv::dateFromTimestamp(r.value<double>(literal)));
    case kDate: return Variant::fromDate(conv::dateFromDayAndTime(r.value<std::int32_t>(literal), 0));
    case kTime:
      return Variant::fromDate(
          conv::dateFromDayAndTime(static_cast<std::int32_t>(conv::kBdeEpochDays), r.value<std::int32_t>(literal)));
    default: return Variant::fromBool(true);
  }
}

struct Evaluator {
  std::vector<std::uint8_t>& block;
  Reader reader;
  FieldSource& fields;
  Budget budget;

  Variant node(std::uint16_t nodeOffset, int depth) {
    budget.enter(depth);
    const std::size_t at = reader.node(nodeOffset);
    const std::uint32_t nodeClass = reader.u32(at);
    const std::uint32_t op = reader.u32(at + 4);
    auto operand = [&](std::size_t field) { return node(reader.u16(at + field), depth + 1); };
    switch (nodeClass) {
      case kUnary: {
        const Variant a = operand(8);
        if (op == kIsBlank) return Variant::fromBool(isNull(a));
        if (op == kNotBlank) return Variant::fromBool(!isNull(a));
        if (op == kNot) return isNull(a) ? Variant::null() : Variant::fromBool(!truth(a));
        if (op == kMinus) return isNull(a) ? Variant::null() : fromNumber(-number(a), integral(a));
        break;
      }
      case kBinary: {
        const Variant a = operand(8);
        const bool compare = op >= kEq && op <= kLe;
        if (isNull(a) && !compare) return Variant::null();
        if (op == kAnd || op == kOr) {
          if (truth(a) == (op == kOr)) return Variant::fromBool(op == kOr);
          const Variant b = operand(10);
          return isNull(b) ? Variant::null() : Variant::fromBool(truth(b));
        }
        if (!compare && !binaryText(op)) break;
        const Variant b = operand(10);
        if (isNull(b)) return Variant::null();
        if (compare) return Variant::fromBool(comparison(op, conv::compareValues(a, b, false, 0)));
        return arithmetic(op, a, b);
      }
      case kCompare: {
        const bool caseInsensitive = reader.u16(at + 8) != 0;
        const int partial = reader.u16(at + 10);
        const Variant a = operand(12);
        const Variant b = operand(14);
        const int cmp = conv::compareValues(a, b, caseInsensitive, partial);
        if (op == kEq) return Variant::fromBool(cmp == 0);
        if (op == kNe) return Variant::fromBool(cmp != 0);
        break;
      }
      case kField: {
        if (op != kFieldOp) break;
        std::uint16_t number = reader.u16(at + 8);
        if (number == 0) {
          number = fields.find(reader.text(reader.literal(reader.u16(at + 10)), std::numeric_limits<std::size_t>::max()));
          std::memcpy(block.data() + at + 8, &number, 2);
        }
        return number ? fields.value(number) : Variant::null();
      }
      case kConstant:
        if (op == kConstOp) return constantValue(reader, at);
        break;
      default: break;
    }
    return Variant::fromBool(true);
  }
};

// Runs a walk, turning a block fault met on the way into EKBEError (a
// checked block has none).
template <class F>
auto walk(F&& work) {
  try {
    return work();
  } catch (const Malformed&) {
    throw EKBEError("Malformed filter expression");
  }
}

}  // namespace

std::size_t blockSize(const void* block) noexcept {
  if (!block) return 0;
  std::uint16_t size;
  std::memcpy(&size, static_cast<const std::uint8_t*>(block) + 2, 2);
  return size;
}

DBIResult check(const std::uint8_t* block, std::size_t size) noexcept {
  if (!block || size < kHeaderSize || blockSize(block) != size) return rc::InvalidFilter;
  try {
    const Reader r(block, size);
    Budget budget;
    checkNode(r, 0, 0, budget);
    return rc::OK;
  } catch (const Malformed& m) {
    return m.code;
  } catch (...) {
    return rc::InvalidFilter;
  }
}

std::string criteria(const std::vector<std::uint8_t>& block) {
  return walk([&] {
    const Reader r(block.data(), block.size());
    Budget budget;
    return translate(r, 0, 0, budget);
  });
}

Variant evaluate(std::vector<std::uint8_t>& block, FieldSource& fields) {
  return walk([&] {
    Evaluator e{block, Reader(block.data(), block.size()), fields, Budget{}};
    return e.node(0, 0);
  });
}

bool accepts(const Variant& result) noexcept {
  if (isNull(result)) return false;
  try {
    return truth(result);
  } catch (...) {
    return false;
  }
}

}  // namespace kbe::canexpr
