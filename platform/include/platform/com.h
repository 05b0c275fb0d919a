// The COM object model the store's reference-counted objects are built on:
// interface identifiers, IUnknown/IDispatch and an owning interface pointer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/hresult.h"

namespace kh {

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2, Data3;
  std::uint8_t Data4[8];

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};

using IID = GUID;

// Reads the registry form "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (hex digits of
// either case; the braces may be left out). Returns false for any other text and
// leaves `out` untouched then.
constexpr bool parseGuid(std::string_view text, GUID& out) {
  if (text.size() == 38) {
    if (text.front() != '{' || text.back() != '}') return false;
    text = text.substr(1, 36);
  }
  if (text.size() != 36) return false;
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  // 32 hex digits, dashes after digit groups of 8, 4, 4 and 4.
  std::uint8_t bytes[16] = {};
  int nibble = 0;
  for (std::size_t i = 0; i < 36; ++i) {
    char c = text[i];
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (c != '-') return false;
      continue;
    }
    int v = hex(c);
    if (v < 0) return false;
    bytes[nibble / 2] = static_cast<std::uint8_t>(bytes[nibble / 2] | (nibble % 2 ? v : v << 4));
    ++nibble;
  }
  GUID g{};
  g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
            (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[i] = bytes[8 + i];
  out = g;
  return true;
}

// The registry form with braces and upper-case hex digits.
std::string guidToString(const GUID& g);

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                     {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

struct IUnknown {
  virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  virtual ~IUnknown() = default;
};

struct IDispatch : IUnknown {};

// An owning interface pointer: holds one reference, takes another when copied and
// gives its reference back when destroyed or reset.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Shares `p`: takes a reference of its own.
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(const ComPtr& other) noexcept {
    if (other.p_) other.p_->AddRef();
    T* old = std::exchange(p_, other.p_);
    if (old) old->Release();
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      T* old = std::exchange(p_, std::exchange(other.p_, nullptr));
      if (old) old->Release();
    }
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    reset();
    return *this;
  }

  // Adopts a reference the caller already holds (no AddRef).
  static ComPtr adopt(T* p) noexcept {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  // Releases the current reference and adopts `p` without an AddRef.
  void attach(T* p) noexcept {
    T* old = std::exchange(p_, p);
    if (old) old->Release();
  }
  // Hands the reference to the caller, leaving this pointer empty.
  [[nodiscard]] T* detach() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  // For out parameters: releases the current reference and gives the address the
  // callee writes its (already counted) reference to.
  T** put() noexcept {
    reset();
    return &p_;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Asks the object for another interface; `out` is emptied on failure.
  template <class U>
  HRESULT queryInterface(const GUID& iid, ComPtr<U>& out) const noexcept {
    if (!p_) {
      out.reset();
      return E_POINTER;
    }
    void* raw = nullptr;
    HRESULT hr = p_->QueryInterface(iid, &raw);
    if (FAILED(hr)) {
      out.reset();
      return hr;
    }
    out.attach(static_cast<U*>(raw));
    return hr;
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace kh
