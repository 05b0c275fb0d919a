// Loads the engine library the way the program does: by its module name, with
// every function looked up through its ordinal slot.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "kbe/kbe.h"
#include "platform/module.h"

namespace kbetest {

class Engine {
 public:
  Engine() {
    module_ = kh::win::LoadLibraryA((std::string(KH_ENGINE_DIR) + "/KBE3235.DLL").c_str());
  }
  ~Engine() {
    if (module_) kh::win::FreeLibrary(module_);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  bool loaded() const { return module_ != nullptr; }
  kh::win::HMODULE module() const { return module_; }

  // The function in ordinal slot `ordinal`, typed as `F` (null for an empty slot).
  template <class F>
  F byOrdinal(unsigned ordinal) const {
    return reinterpret_cast<F>(kh::win::GetProcAddress(module_, kh::win::ordinalName(ordinal)));
  }
  template <class F>
  F byName(const char* name) const {
    return reinterpret_cast<F>(kh::win::GetProcAddress(module_, name));
  }

 private:
  kh::win::HMODULE module_ = nullptr;
};

// A temporary KBE_ROOT per test, removed afterwards.
class TempRoot {
 public:
  TempRoot() {
    char tmpl[] = "/tmp/kbetestXXXXXX";
    if (mkdtemp(tmpl)) path_ = tmpl;
    setenv("KBE_ROOT", path_.c_str(), 1);
  }
  ~TempRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace kbetest

// Looks a Dbi function up by its ordinal, typed from its declaration.
#define KBE_FN(engine, name, ordinal) (engine).byOrdinal<decltype(&::name)>(ordinal)
