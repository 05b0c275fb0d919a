// A stand-in for every named export, made from the one export list: each
// answers 0x274F ("function not implemented") and is weak, so the real
// definition takes its place at link time. Every export has a real
// definition now; the check script refuses a library that still exports a
// stand-in (a weak symbol), so a function dropped by mistake is caught there
// instead of answering 0x274F at run time. This file deliberately does not
// include the public header, so a stand-in needs no knowledge of its
// function's arguments.
#include <cstdint>

#define KBE_EXPORT(name, ordinal) \
  extern "C" __attribute__((weak, visibility("default"))) std::uint16_t name(...) { return 0x274F; }
#include "KBEPI32_Exports.inc"
#undef KBE_EXPORT
