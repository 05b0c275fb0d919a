#include "platform/module.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string_view>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/dirs.h"

namespace kh::win {

namespace {

struct Module {
  void* dl = nullptr;
  const link_map* map = nullptr;
  std::string key;   // Windows name, upper case
  std::string path;  // the library file
  unsigned refs = 0;
};

struct ModuleTable {
  // Recursive: loading or unloading runs the library's constructors and
  // destructors, which may load or free modules themselves.
  std::recursive_mutex mutex;
  std::map<UINT_PTR, Module> modules;
  UINT_PTR nextId = 0x100000;
};

ModuleTable& table() {
  static ModuleTable* t = new ModuleTable;  // lives to the very end of the process
  return *t;
}

std::string_view baseName(std::string_view name) {
  const auto slash = name.rfind('/');
  return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

// The Windows name of a module name or library file, upper case:
// "libKBE3235.so" and "KBE3235.dll" both give "KBE3235.DLL".
std::string windowsKey(std::string_view name) {
  std::string_view base = baseName(name);
  if (base.size() > 6 && base.substr(0, 3) == "lib" && base.substr(base.size() - 3) == ".so")
    return ansiUpperString(base.substr(3, base.size() - 6)) + ".DLL";
  return ansiUpperString(base);
}

std::string parentDirectory(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Checks a path before it is handed to the loader, so that each failure gets
// its own Windows error number.
DWORD checkFile(const std::string& file) {
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT) {
      struct stat dir {};
      const std::string parent = parentDirectory(file);
      return stat(parent.c_str(), &dir) == 0 && S_ISDIR(dir.st_mode) ? ERROR_FILE_NOT_FOUND
                                                                       : ERROR_PATH_NOT_FOUND;
    }
    return err == ENOTDIR ? ERROR_PATH_NOT_FOUND : errorFromErrno(err);
  }
  if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  if (access(file.c_str(), R_OK) != 0) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

DWORD loadError(const char* message) {
  const std::string_view m = message ? message : "";
  if (m.find("annot allocate memory") != std::string_view::npos ||
      m.find("out of memory") != std::string_view::npos)
    return ERROR_OUTOFMEMORY;
  if (m.find("undefined symbol") != std::string_view::npos) return ERROR_PROC_NOT_FOUND;
  if (m.find("Permission denied") != std::string_view::npos) return ERROR_ACCESS_DENIED;
  if (m.find("cannot open shared object file") != std::string_view::npos) return ERROR_MOD_NOT_FOUND;
  return ERROR_BAD_EXE_FORMAT;
}

// An exported symbol defined by the module itself.
void* ownSymbol(const Module& m, const char* name) {
  void* p = dlsym(m.dl, name);
  if (!p) return nullptr;
  Dl_info info{};
  link_map* owner = nullptr;
  if (!dladdr1(p, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) || owner != m.map) return nullptr;
  return p;
}

FARPROC toProc(void* p) {
  FARPROC f = nullptr;
  static_assert(sizeof f == sizeof p);
  std::memcpy(&f, &p, sizeof f);
  return f;
}

Module* find(ModuleTable& t, HMODULE h) {
  const auto it = t.modules.find(reinterpret_cast<UINT_PTR>(h));
  return it == t.modules.end() ? nullptr : &it->second;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) noexcept {
  void* dl = nullptr;
  try {
    if (!name) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const std::string given = name;
    const std::string_view base = baseName(given);
    if (given.empty() || given.size() >= PATH_MAX || base.empty() || base == "." || base == ".." ||
        ansiEqualNoCase(base, ".DLL")) {
      SetLastError(ERROR_BAD_PATHNAME);
      return nullptr;
    }
    const std::string file = hostFileName(given);
    const bool bare = file.find('/') == std::string::npos;
    if (!bare) {
      if (const DWORD rc = checkFile(file); rc != ERROR_SUCCESS) {
        SetLastError(rc);
        return nullptr;
      }
    }

    ModuleTable& t = table();
    std::lock_guard lock(t.mutex);
    dlerror();
    dl = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!dl) {
      SetLastError(loadError(dlerror()));
      return nullptr;
    }
    for (auto& [id, m] : t.modules) {
      if (m.dl == dl) {
        ++m.refs;
        dlclose(dl);  // the module keeps the loader reference of its first load
        return reinterpret_cast<HMODULE>(id);
      }
    }
    Module m;
    m.dl = dl;
    link_map* map = nullptr;
    if (dlinfo(dl, RTLD_DI_LINKMAP, &map) == 0 && map) m.map = map;
    std::string path = map && map->l_name && *map->l_name ? map->l_name : file;
    if (char* real = realpath(path.c_str(), nullptr)) {
      path = real;
      std::free(real);
    }
    m.path = path;
    m.key = windowsKey(path);
    m.refs = 1;
    const UINT_PTR id = t.nextId;
    t.nextId += 0x1000;
    t.modules.emplace(id, std::move(m));
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HMODULE>(id);
  } catch (const std::bad_alloc&) {
    if (dl) dlclose(dl);
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
}

HMODULE GetModuleHandleA(LPCSTR name) noexcept {
  try {
    if (!name || !*name) {
      SetLastError(name ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    const std::string key = windowsKey(name);
    ModuleTable& t = table();
    std::lock_guard lock(t.mutex);
    for (const auto& [id, m] : t.modules)
      if (m.key == key) return reinterpret_cast<HMODULE>(id);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) noexcept {
  using ProcByOrdinal = void* (*)(unsigned);
  ProcByOrdinal byOrdinal = nullptr;
  {
    ModuleTable& t = table();
    std::lock_guard lock(t.mutex);
    const Module* m = find(t, module);
    if (!m) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    if (!isOrdinalName(name)) {
      void* p = ownSymbol(*m, name);
      if (!p) SetLastError(ERROR_PROC_NOT_FOUND);
      return toProc(p);
    }
    void* p = ownSymbol(*m, "KBEProcByOrdinal");
    if (!p) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      return nullptr;
    }
    std::memcpy(&byOrdinal, &p, sizeof byOrdinal);
  }
  void* p = byOrdinal(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(name)));
  if (!p) SetLastError(ERROR_PROC_NOT_FOUND);
  return toProc(p);
}

BOOL FreeLibrary(HMODULE module) noexcept {
  ModuleTable& t = table();
  std::lock_guard lock(t.mutex);
  const auto it = t.modules.find(reinterpret_cast<UINT_PTR>(module));
  if (it == t.modules.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (--it->second.refs > 0) return TRUE;
  void* dl = it->second.dl;
  t.modules.erase(it);
  dlclose(dl);
  return TRUE;
}

std::string moduleFileName(HMODULE module) {
  ModuleTable& t = table();
  std::lock_guard lock(t.mutex);
  const Module* m = find(t, module);
  return m ? m->path : std::string();
}

}  // namespace kh::win
