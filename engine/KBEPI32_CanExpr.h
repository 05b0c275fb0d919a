// Filter expression blocks (CANExpr): checking, translation into Jet criteria
// text, and evaluation over a record.
//
// A block is caller input. Its header (16-bit words iVer, iTotalSize, iNodes,
// iNodeStart, iLiteralStart) is followed, within iTotalSize bytes of the
// block's start, by the nodes (at iNodeStart + node offset; the root at node
// offset 0) and the literal pool (at iLiteralStart). Every node starts with a
// 32-bit class and a 32-bit operator:
//   1 unary    operand offset
//   2 binary   two operand offsets
//   3 compare  16-bit case-insensitive flag, 16-bit partial length, two operand offsets
//   4 field    16-bit field number, 16-bit name offset into the literal pool
//   5 constant 16-bit type, 16-bit size, 16-bit offset into the literal pool
// check() reads every node reachable from the root with each offset and size
// tested against iTotalSize, and bounds the depth and the work of a walk, so
// that translation and evaluation of a checked block read nothing outside it
// and end in bounded time whatever the block holds (shared or cyclic operands
// included).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kbe/kbe.h"
#include "platform/variant.h"

namespace kbe::canexpr {

// Limits of one walk over a block.
constexpr int kMaxDepth = 64;
constexpr int kMaxVisits = 4096;
constexpr std::size_t kMaxCriteriaLength = 65535;

// The size of the block at `block` as its header gives it (0 for a null block).
std::size_t blockSize(const void* block) noexcept;

// 0 for a well-formed block of exactly `size` bytes; 0x2742 (invalid filter)
// for a malformed one; 0x250A (too complex) when a walk would go deeper or
// visit more nodes than the limits allow.
DBIResult check(const std::uint8_t* block, std::size_t size) noexcept;

// The Jet criteria text (Windows-1252) of a checked block. Fails with
// EKBEError for a block whose text could not be well-formed (a field name
// holding ']', a float that is not finite, an invalid date, text too long).
std::string criteria(const std::vector<std::uint8_t>& block);

// The record an expression is evaluated over.
class FieldSource {
 public:
  virtual ~FieldSource() = default;
  // The 1-based number of the field named `name` (Windows-1252, letter case
  // ignored), 0 when there is none.
  virtual std::uint16_t find(const std::string& name) = 0;
  // The current value of field `number`; Null when it cannot be read.
  virtual kh::Variant value(std::uint16_t number) = 0;
};

// Evaluates a checked block over the record `fields` stands on. A field node
// with field number 0 gets the number found by name written into `block`, so
// that the lookup happens once. Returns the value of the root (True for a
// node the evaluator does not handle). Fails (EKBEError, conversion errors)
// on values that cannot be combined; the caller rejects the record then.
kh::Variant evaluate(std::vector<std::uint8_t>& block, FieldSource& fields);

// Whether an evaluation result accepts the record: not null and true.
bool accepts(const kh::Variant& result) noexcept;

}  // namespace kbe::canexpr
