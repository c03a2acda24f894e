// The Win32 subset that Skyloom calls, written for this build host.
// Names, types and constants follow Win32 so the program code reads the same
// as on Windows; the behaviour is implemented on POSIX underneath.
#pragma once

#include <cstdint>
#include <string>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using HRESULT = std::int32_t;
using WCHAR = char16_t;  // wchar_t is 32 bits here; Win32 text is UTF-16
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPCSTR = const char*;
using LPSTR = char*;
using HANDLE = void*;
using HWND = struct HWND__*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);

constexpr std::size_t MAX_PATH = 260;

// The calling thread's last error code (thread-local, as on Windows).
DWORD GetLastError();
void SetLastError(DWORD code);
