#include "platform/win32/kernel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <chrono>
#include <unistd.h>

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

// Windows-1252 bytes 0x80..0x9F; the rest of the code page equals Latin-1.
// Undefined positions map to the same control code, as Windows does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Decodes UTF-8 into UTF-16 code units. Returns false on invalid input when
// strict; otherwise replaces invalid sequences with U+FFFD.
bool decodeUtf8(const unsigned char* s, std::size_t n, bool strict, std::u16string& out) {
  std::size_t i = 0;
  while (i < n) {
    unsigned c = s[i];
    char32_t cp;
    std::size_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { if (strict) return false; out.push_back(0xFFFD); ++i; continue; }
    bool ok = i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      unsigned cc = s[i + k];
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok) {
      // Reject overlong forms, surrogates and values past U+10FFFF.
      if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
          (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        ok = false;
    }
    if (!ok) { if (strict) return false; out.push_back(0xFFFD); ++i; continue; }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return true;
}

bool encodeUtf8(const char16_t* s, std::size_t n, bool strict, std::string& out) {
  for (std::size_t i = 0; i < n; ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (strict) return false;
      cp = 0xFFFD;
    }
    if (cp < 0x80) out.push_back(static_cast<char>(cp));
    else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

template <typename Out, typename Buf>
int deliver(const Out& result, Buf* buffer, int capacity) {
  if (result.size() > static_cast<std::size_t>(INT32_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const int needed = static_cast<int>(result.size());
  if (capacity == 0) return needed;
  if (needed > capacity) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(result.begin(), result.end(), buffer);
  return needed;
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD code) { t_lastError = code; }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar) {
  if (multiByte == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && wideChar == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t n = cbMultiByte == -1 ? std::strlen(multiByte) + 1 : static_cast<std::size_t>(cbMultiByte);
  const auto* bytes = reinterpret_cast<const unsigned char*>(multiByte);
  std::u16string out;
  out.reserve(n);
  if (codePage == CP_UTF8) {
    if (!decodeUtf8(bytes, n, (flags & MB_ERR_INVALID_CHARS) != 0, out)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else if (codePage == CP_ACP || codePage == 1252) {
    for (std::size_t i = 0; i < n; ++i) {
      unsigned char c = bytes[i];
      out.push_back(c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
    }
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return deliver(out, wideChar, cchWideChar);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR /*defaultChar*/, BOOL* usedDefaultChar) {
  if (codePage != CP_UTF8 || wideChar == nullptr || cchWideChar == 0 || cchWideChar < -1 ||
      cbMultiByte < 0 || (cbMultiByte > 0 && multiByte == nullptr) || usedDefaultChar != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = 0;
  if (cchWideChar == -1) {
    while (wideChar[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<std::size_t>(cchWideChar);
  }
  std::string out;
  out.reserve(n * 3);
  if (!encodeUtf8(wideChar, n, (flags & WC_ERR_INVALID_CHARS) != 0, out)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return deliver(out, multiByte, cbMultiByte);
}

HRESULT SHGetFolderPathW(HWND, int csidl, HANDLE, DWORD, LPWSTR path) {
  if (path == nullptr) return E_FAIL;
  std::string folder;
  const char* env = nullptr;
  const char* fallback = nullptr;
  if (csidl == CSIDL_APPDATA) { env = "APPDATA"; fallback = "/.config"; }
  else if (csidl == CSIDL_LOCAL_APPDATA) { env = "LOCALAPPDATA"; fallback = "/.local/share"; }
  else return E_FAIL;
  if (const char* v = std::getenv(env); v != nullptr && *v != '\0') {
    folder = v;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    folder = std::string(home) + fallback;
  } else {
    return E_FAIL;
  }
  std::u16string wide;
  if (!decodeUtf8(reinterpret_cast<const unsigned char*>(folder.data()), folder.size(), true, wide) ||
      wide.size() >= MAX_PATH)
    return E_FAIL;
  std::copy(wide.begin(), wide.end(), path);
  path[wide.size()] = 0;
  return S_OK;
}

namespace {
// Every handle of this layer: CloseHandle deletes it through the base.
struct KernelObject {
  virtual ~KernelObject() = default;
};

struct NamedMutex : KernelObject {
  explicit NamedMutex(int descriptor) : fd(descriptor) {}
  ~NamedMutex() override {
    if (fd >= 0) ::close(fd);  // closing the descriptor drops the lock
  }
  int fd;
};

struct OpenFile : KernelObject {
  explicit OpenFile(int descriptor) : fd(descriptor) {}
  ~OpenFile() override { ::close(fd); }
  int fd;
};

OpenFile* asFile(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<OpenFile*>(static_cast<KernelObject*>(handle));
}

std::string toUtf8(LPCWSTR name) {
  std::string utf8;
  std::size_t n = 0;
  while (name[n] != 0) ++n;
  encodeUtf8(name, n, false, utf8);
  return utf8;
}

std::string mutexFilePath(LPCWSTR name) {
  std::string file;
  for (char c : toUtf8(name)) file.push_back((c == '\\' || c == '/') ? '_' : c);
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
  return dir + "/" + file + ".lock";
}
}  // namespace

HANDLE CreateMutexW(void*, BOOL, LPCWSTR name) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string path = mutexFilePath(name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto* m = new NamedMutex(fd);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
  } else {
    SetLastError(ERROR_SUCCESS);
  }
  return static_cast<KernelObject*>(m);
}

BOOL ReleaseMutex(HANDLE) { return TRUE; }

BOOL CloseHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  delete static_cast<KernelObject*>(handle);
  return TRUE;
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD, void*, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE) {
  if (fileName == nullptr || desiredAccess != GENERIC_READ || creationDisposition != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = toUtf8(fileName);
  // O_NONBLOCK: opening a FIFO without a writer, or a device, returns at once.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    switch (errno) {
      case ENOENT: SetLastError(ERROR_FILE_NOT_FOUND); break;
      case ENOTDIR: SetLastError(ERROR_PATH_NOT_FOUND); break;
      case EACCES: case EPERM: SetLastError(ERROR_ACCESS_DENIED); break;
      case ENAMETOOLONG: SetLastError(ERROR_FILENAME_EXCED_RANGE); break;
      default: SetLastError(ERROR_OPEN_FAILED); break;
    }
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || (S_ISDIR(st.st_mode) && (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<KernelObject*>(new OpenFile(fd));
}

DWORD GetFileType(HANDLE file) {
  const OpenFile* f = asFile(file);
  struct stat st {};
  if (f == nullptr || ::fstat(f->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information) {
  const OpenFile* f = asFile(file);
  struct stat st {};
  if (f == nullptr || information == nullptr || ::fstat(f->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *information = {};
  if (S_ISDIR(st.st_mode)) information->dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
  if ((st.st_mode & S_IWUSR) == 0) information->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  if (information->dwFileAttributes == 0) information->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  information->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
  information->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  return TRUE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void*) {
  const OpenFile* f = asFile(file);
  if (read != nullptr) *read = 0;
  if (f == nullptr || (buffer == nullptr && toRead > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ssize_t got;
  do {
    got = ::read(f->fd, buffer, toRead);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
  }
  if (read != nullptr) *read = static_cast<DWORD>(got);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

UINT timeBeginPeriod(UINT) { return TIMERR_NOERROR; }
UINT timeEndPeriod(UINT) { return TIMERR_NOERROR; }
