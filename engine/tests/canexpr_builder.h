// Builds filter expression blocks (CANExpr) node by node, for tests and the
// fuzzer's seed corpus.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kbetest {

class CanExprBuilder {
 public:
  enum : std::uint32_t { Unary = 1, Binary = 2, Compare = 3, Field = 4, Constant = 5 };
  enum : std::uint32_t {
    IsBlank = 1, NotBlank, Eq, Ne, Gt, Lt, Ge, Le, Not, And, Or,
    FieldOp = 13, ConstOp, Minus, Add, Sub, Mul, Div, Mod
  };

  // Offset 0 is kept for the root, copied there by build().
  CanExprBuilder() : nodes_(16, 0) {}

  std::uint16_t field(const std::string& name, std::uint16_t number = 0) {
    const std::uint16_t at = node(Field, FieldOp);
    put16(number);
    put16(literal(name.c_str(), name.size() + 1));
    return at;
  }
  std::uint16_t text(const std::string& s) { return constant(1, s.c_str(), s.size() + 1); }
  std::uint16_t boolean(bool b) {
    const std::uint16_t v = b ? 1 : 0;
    return constant(4, &v, 2);
  }
  std::uint16_t int16(std::int16_t v) { return constant(5, &v, 2); }
  std::uint16_t int32(std::int32_t v) { return constant(6, &v, 4); }
  std::uint16_t real(double v) { return constant(7, &v, 8); }
  std::uint16_t timestamp(double milliseconds) { return constant(11, &milliseconds, 8); }
  std::uint16_t unary(std::uint32_t op, std::uint16_t a) {
    const std::uint16_t at = node(Unary, op);
    put16(a);
    return at;
  }
  std::uint16_t binary(std::uint32_t op, std::uint16_t a, std::uint16_t b) {
    const std::uint16_t at = node(Binary, op);
    put16(a);
    put16(b);
    return at;
  }
  std::uint16_t compare(std::uint32_t op, bool caseInsensitive, std::uint16_t partial, std::uint16_t a,
                        std::uint16_t b) {
    const std::uint16_t at = node(Compare, op);
    put16(caseInsensitive ? 1 : 0);
    put16(partial);
    put16(a);
    put16(b);
    return at;
  }

  // The block with `root` as its root node.
  std::vector<std::uint8_t> build(std::uint16_t root) const {
    std::vector<std::uint8_t> nodes = nodes_;
    std::memcpy(nodes.data(), nodes_.data() + root, std::min<std::size_t>(16, nodes_.size() - root));
    const std::uint16_t nodeStart = 10;
    const auto literalStart = static_cast<std::uint16_t>(nodeStart + nodes.size());
    const auto total = static_cast<std::uint16_t>(literalStart + literals_.size());
    const std::uint16_t header[5] = {1, total, count_, nodeStart, literalStart};
    std::vector<std::uint8_t> block(total, 0);
    std::memcpy(block.data(), header, 10);
    std::memcpy(block.data() + nodeStart, nodes.data(), nodes.size());
    if (!literals_.empty()) std::memcpy(block.data() + literalStart, literals_.data(), literals_.size());
    return block;
  }

 private:
  std::uint16_t node(std::uint32_t nodeClass, std::uint32_t op) {
    const auto at = static_cast<std::uint16_t>(nodes_.size());
    put32(nodeClass);
    put32(op);
    ++count_;
    return at;
  }
  std::uint16_t constant(std::uint16_t type, const void* data, std::size_t size) {
    const std::uint16_t at = node(Constant, ConstOp);
    put16(type);
    put16(static_cast<std::uint16_t>(size));
    put16(literal(data, size));
    return at;
  }
  std::uint16_t literal(const void* data, std::size_t size) {
    const auto at = static_cast<std::uint16_t>(literals_.size());
    const auto* p = static_cast<const std::uint8_t*>(data);
    literals_.insert(literals_.end(), p, p + size);
    return at;
  }
  void put16(std::uint16_t v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    nodes_.insert(nodes_.end(), p, p + 2);
  }
  void put32(std::uint32_t v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    nodes_.insert(nodes_.end(), p, p + 4);
  }

  std::vector<std::uint8_t> nodes_;
  std::vector<std::uint8_t> literals_;
  std::uint16_t count_ = 0;
};

}  // namespace kbetest
