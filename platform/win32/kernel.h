// Win32 kernel and shell services: text conversion, shell folders, named
// mutexes, reading files, sleeping and timer resolution.
#pragma once

#include "platform/win32/win32.h"

// Code pages and flags of the text conversions.
constexpr UINT CP_ACP = 0;      // the ANSI code page: Windows-1252 here
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// Converts multibyte text of a code page (CP_UTF8 or CP_ACP) to UTF-16.
// With cchWideChar 0 returns the needed length; returns 0 and sets the last
// error on failure (ERROR_NO_UNICODE_TRANSLATION for invalid input when
// MB_ERR_INVALID_CHARS is given, ERROR_INSUFFICIENT_BUFFER when too small).
// A cbMultiByte of -1 means NUL-terminated input, counted with its NUL.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar);

// Converts UTF-16 to UTF-8 (only CP_UTF8 is supported). Same conventions.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar, BOOL* usedDefaultChar);

// Shell folders: the roaming and the local application-data folder.
// Taken from the APPDATA and LOCALAPPDATA environment variables when set
// (tests point them at temporary folders), else folders under $HOME.
constexpr int CSIDL_APPDATA = 0x001a;
constexpr int CSIDL_LOCAL_APPDATA = 0x001c;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;
HRESULT SHGetFolderPathW(HWND owner, int csidl, HANDLE token, DWORD flags, LPWSTR path);

// Named mutex: a lock file under the temporary folder. A second CreateMutexW
// of the same name, from this or another process, while the first is held,
// returns a handle and sets the last error to ERROR_ALREADY_EXISTS.
HANDLE CreateMutexW(void* attributes, BOOL initialOwner, LPCWSTR name);
BOOL ReleaseMutex(HANDLE mutex);
// Closes a named mutex or a file handle.
BOOL CloseHandle(HANDLE handle);

// Reading files. CreateFileW opens for reading only (GENERIC_READ,
// OPEN_EXISTING) and never waits: a named pipe without a writer or a device
// opens at once (O_NONBLOCK underneath), so the caller can look at what it
// opened before reading. A folder opens only with FILE_FLAG_BACKUP_SEMANTICS
// (else ERROR_ACCESS_DENIED), as on Windows. Failure: INVALID_HANDLE_VALUE
// and the last error ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED, ERROR_FILENAME_EXCED_RANGE or ERROR_OPEN_FAILED.
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_OPEN_FAILED = 110;
constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

// What a handle refers to: a file or folder on disk, a character device, or
// a pipe (a FIFO or socket here). FILE_TYPE_UNKNOWN for anything else.
constexpr DWORD FILE_TYPE_UNKNOWN = 0x0000;
constexpr DWORD FILE_TYPE_DISK = 0x0001;
constexpr DWORD FILE_TYPE_CHAR = 0x0002;
constexpr DWORD FILE_TYPE_PIPE = 0x0003;
DWORD GetFileType(HANDLE file);

// The attributes and size of an open file (the other members are zero here).
struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  DWORD ftCreationTime[2];
  DWORD ftLastAccessTime[2];
  DWORD ftLastWriteTime[2];
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
};
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);

// Reads up to toRead bytes at the file position; *read is 0 at the end of
// the file. A read that would wait (an empty pipe) fails at once here.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);

void Sleep(DWORD milliseconds);

// Multimedia timer resolution: nothing to do on this host.
constexpr UINT TIMERR_NOERROR = 0;
UINT timeBeginPeriod(UINT periodMs);
UINT timeEndPeriod(UINT periodMs);
