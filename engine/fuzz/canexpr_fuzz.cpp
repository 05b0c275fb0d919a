// Fuzz target for the filter expression reader: every input is taken as an
// expression block (its size word made to agree with the input, so that the
// content is explored), checked, and when well-formed translated into
// criteria text and evaluated over a small fixed record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "KBEPI32_CanExpr.h"

namespace {

class FixedRecord : public kbe::canexpr::FieldSource {
 public:
  std::uint16_t find(const std::string& name) override { return static_cast<std::uint16_t>(name.size() % 5); }
  kh::Variant value(std::uint16_t number) override {
    switch (number) {
      case 1: return kh::Variant(std::int32_t{7});
      case 2: return kh::Variant("Abc");
      case 3: return kh::Variant(2.5);
      case 4: return kh::Variant::fromDate(36526.5);
      default: return kh::Variant::null();
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The block as given, its size word unchanged: only the header is trusted to be there.
  if (size >= 4) kbe::canexpr::check(data, size);
  if (size < sizeof(kbe::CANExpr) || size > 0xFFFF) return 0;
  std::vector<std::uint8_t> block(data, data + size);
  const auto total = static_cast<std::uint16_t>(size);
  std::memcpy(block.data() + 2, &total, 2);
  if (kbe::canexpr::check(block.data(), block.size()) != 0) return 0;
  try {
    kbe::canexpr::criteria(block);
  } catch (...) {
  }
  FixedRecord record;
  for (int pass = 0; pass < 2; ++pass) {  // the second pass reads the field numbers stored by the first
    try {
      kbe::canexpr::accepts(kbe::canexpr::evaluate(block, record));
    } catch (...) {
    }
  }
  return 0;
}
