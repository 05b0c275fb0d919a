// HRESULT values and helpers, as COM reports success and failure.
#pragma once

#include <cstdint>

namespace kh {

using HRESULT = std::int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// DAO reports its own failures as 0x800A0000 plus the DAO error number.
constexpr HRESULT DaoError(unsigned number) {
  return static_cast<HRESULT>(0x800A0000u + (number & 0xFFFFu));
}
// The DAO error number inside a DAO failure, or 0 for any other HRESULT.
constexpr unsigned DaoErrorNumber(HRESULT hr) {
  return (static_cast<std::uint32_t>(hr) & 0xFFFF0000u) == 0x800A0000u
             ? static_cast<std::uint32_t>(hr) & 0xFFFFu
             : 0u;
}

}  // namespace kh
