#include "platform/dirs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kh::win {

namespace {

std::string envValue(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::string withoutTrailingSlash(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string homeDirectory() {
  std::string home = envValue("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string currentDirectory() {
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    if (getcwd(buf.data(), buf.size())) return buf.data();
    if (errno != ERANGE) return {};
    buf.resize(buf.size() * 2);
  }
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool hasExtension(const std::string& name) {
  const auto slash = name.rfind('/');
  const auto dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

}  // namespace

DWORD errorFromErrno(int err) noexcept {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_OUTOFMEMORY;
    case ENAMETOOLONG:
    case ELOOP: return ERROR_BAD_PATHNAME;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EIO: return ERROR_WRITE_FAULT;
    default: return ERROR_WRITE_FAULT;
  }
}

std::string windowsDirectory() {
  std::string root = envValue("KBE_ROOT");
  if (!root.empty()) return withoutTrailingSlash(root);
  std::string config = envValue("XDG_CONFIG_HOME");
  // A relative base directory is ignored.
  if (config.empty() || config.front() != '/') config = joinPath(homeDirectory(), ".config");
  return joinPath(withoutTrailingSlash(config), "keelbase");
}

DWORD createDirectories(const std::string& dir, unsigned mode) noexcept {
  try {
    if (dir.empty()) return ERROR_PATH_NOT_FOUND;
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    std::string partial;
    std::size_t pos = 0;
    while (pos <= dir.size()) {
      std::size_t next = dir.find('/', pos);
      if (next == std::string::npos) next = dir.size();
      partial = dir.substr(0, next);
      pos = next + 1;
      if (partial.empty() || partial.back() == '/') continue;
      if (mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return errorFromErrno(errno);
    }
    if (stat(dir.c_str(), &st) != 0) return errorFromErrno(errno);
    return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

DWORD createWindowsDirectory() noexcept {
  try {
    return createDirectories(windowsDirectory(), 0700);
  } catch (const std::bad_alloc&) {
    return ERROR_OUTOFMEMORY;
  }
}

std::string programDirectory() {
  std::string home = envValue("KEYHAVEN_HOME");
  if (!home.empty()) return withoutTrailingSlash(home);
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return currentDirectory();
    if (static_cast<std::size_t>(n) < buf.size()) {
      std::string exe(buf.data(), static_cast<std::size_t>(n));
      const auto slash = exe.rfind('/');
      if (slash == std::string::npos) return currentDirectory();
      return slash == 0 ? std::string("/") : exe.substr(0, slash);
    }
    buf.resize(buf.size() * 2);
  }
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, char* buffer) noexcept {
  try {
    const std::string cwd = currentDirectory();
    if (cwd.empty()) {
      SetLastError(errorFromErrno(errno));
      return 0;
    }
    const auto needed = static_cast<DWORD>(cwd.size() + 1);
    if (!buffer || bufferLength < needed) return needed;
    std::memcpy(buffer, cwd.c_str(), needed);
    return needed - 1;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    return 0;
  }
}

std::string hostFileName(const std::string& windowsName) {
  const auto slash = windowsName.rfind('/');
  const std::size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string_view base = std::string_view(windowsName).substr(baseStart);
  if (base.size() > 4 && ansiEqualNoCase(base.substr(base.size() - 4), ".DLL"))
    return windowsName.substr(0, baseStart) + "lib" + std::string(base.substr(0, base.size() - 4)) + ".so";
  return windowsName;
}

bool fileExists(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  return stat(hostFileName(path).c_str(), &st) == 0;
}

DWORD SearchPathA(const char* path, const char* fileName, const char* extension,
                  DWORD bufferLength, char* buffer, char** filePart) noexcept {
  try {
    if (!fileName || !*fileName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    std::string name = fileName;
    if (extension && *extension && !hasExtension(name)) name += extension;
    name = hostFileName(name);

    std::vector<std::string> dirs;
    if (name.front() == '/') {
      dirs.emplace_back();
    } else if (path) {
      const std::string list = path;
      std::size_t pos = 0;
      while (pos <= list.size()) {
        std::size_t next = list.find_first_of(";:", pos);
        if (next == std::string::npos) next = list.size();
        if (next > pos) dirs.push_back(list.substr(pos, next - pos));
        pos = next + 1;
      }
    } else {
      dirs.push_back(programDirectory());
      dirs.push_back(currentDirectory());
      const std::string sys = envValue("PATH");
      std::size_t pos = 0;
      while (pos <= sys.size()) {
        std::size_t next = sys.find(':', pos);
        if (next == std::string::npos) next = sys.size();
        if (next > pos) dirs.push_back(sys.substr(pos, next - pos));
        pos = next + 1;
      }
    }

    for (const std::string& dir : dirs) {
      std::string candidate = dir.empty() ? name : joinPath(dir, name);
      struct stat st {};
      if (stat(candidate.c_str(), &st) != 0) continue;
      if (candidate.front() != '/') candidate = joinPath(currentDirectory(), candidate);
      const auto needed = static_cast<DWORD>(candidate.size() + 1);
      if (!buffer || bufferLength < needed) return needed;
      std::memcpy(buffer, candidate.c_str(), needed);
      if (filePart) *filePart = buffer + candidate.rfind('/') + 1;
      return needed - 1;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_OUTOFMEMORY);
    return 0;
  }
}

}  // namespace kh::win
