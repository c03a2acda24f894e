// Win32 kernel and shell services: text conversion, shell folders, named
// mutexes, sleeping and timer resolution.
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
BOOL CloseHandle(HANDLE handle);

void Sleep(DWORD milliseconds);

// Multimedia timer resolution: nothing to do on this host.
constexpr UINT TIMERR_NOERROR = 0;
UINT timeBeginPeriod(UINT periodMs);
UINT timeEndPeriod(UINT periodMs);
