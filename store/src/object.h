// Common machinery of the store's COM objects: reference counting, interface
// lookup, and the failure trap every member runs its work under.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/dao.h"

namespace kh::store {

using dao::BSTR;
using dao::VARIANT_BOOL;

// A DAO failure raised inside the component; members turn it into an HRESULT.
class Failure : public std::exception {
 public:
  Failure(unsigned number, std::string description) : number_(number), description_(std::move(description)) {}
  unsigned number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  unsigned number_;
  std::string description_;
};

// DAO's description for an error number; `detail` fills the name the text is about.
std::string describeError(unsigned number, const std::string& detail = {});

[[noreturn]] inline void fail(unsigned number, const std::string& detail = {}) {
  throw Failure(number, describeError(number, detail));
}

struct ErrorRecord {
  std::int32_t number;
  std::string description;
  std::string source;
};

// The Errors collection of one engine: the errors of the most recent failure.
class ErrorStore {
 public:
  void set(std::vector<ErrorRecord> errors) {
    std::lock_guard lock(mutex_);
    errors_ = std::move(errors);
  }
  std::vector<ErrorRecord> snapshot() const {
    std::lock_guard lock(mutex_);
    return errors_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<ErrorRecord> errors_;
};

// Runs `work`, trapping every failure: a DAO failure becomes 0x800A0000 + its
// number and replaces the engine's errors; nothing escapes.
template <class F>
HRESULT guarded(ErrorStore* errors, F&& work) noexcept {
  auto record = [&](unsigned number, const std::string& text) noexcept -> HRESULT {
    try {
      if (errors) errors->set({ErrorRecord{static_cast<std::int32_t>(number), text, "DAO.Store"}});
    } catch (...) {
    }
    return DaoError(number);
  };
  try {
    work();
    return S_OK;
  } catch (const Failure& f) {
    return record(f.number(), f.description());
  } catch (const std::bad_alloc&) {
    return record(dao::err::OutOfMemory, "Out of memory.");
  } catch (const std::exception& e) {
    return record(3000, std::string("Reserved error: ") + e.what());
  } catch (...) {
    return record(3000, "Reserved error.");
  }
}

// Checks an out pointer before any work.
template <class T>
void requireOut(T* out) {
  if (!out) fail(dao::err::InvalidArgument);
}

// Base of every object: one reference at construction (the creator's), deleted
// at the last Release. `Iface` is the interface the object implements; it is
// handed out for its own identifier, IUnknown and IDispatch.
template <class Iface>
class ComObject : public Iface {
 public:
  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == Iface::kIID) {
      *out = static_cast<Iface*>(this);
      this->AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return ++refs_; }
  std::uint32_t Release() override {
    std::uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() override = default;

 private:
  std::atomic<std::uint32_t> refs_{1};
};

// Hands a new object to an out parameter; the caller owns the reference.
template <class Iface, class Impl>
void giveOut(Iface** out, Impl* object) {
  *out = object;
}

// The interface behind a dispatch value, or null when it is not one of ours.
template <class Iface>
Iface* interfaceOf(IDispatch* d) {
  if (!d) return nullptr;
  void* raw = nullptr;
  if (FAILED(d->QueryInterface(Iface::kIID, &raw))) return nullptr;
  static_cast<Iface*>(raw)->Release();  // borrowed: the variant holds the reference
  return static_cast<Iface*>(raw);
}

// Reads an optional variant argument.
bool isOmitted(const Variant& v);
std::string textArg(const Variant& v, const std::string& fallback = {});
std::int32_t longArg(const Variant& v, std::int32_t fallback);
bool boolArg(const Variant& v, bool fallback);

// Case-insensitive name comparison (ASCII letters), as Jet matches names.
bool sameName(const std::string& a, const std::string& b);

}  // namespace kh::store
