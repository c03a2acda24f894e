// UTF-8 <-> UTF-16 conversion at the Win32 boundary. Inside the program all
// text is UTF-8 std::string; UTF-16 appears only where Win32 calls need it.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/win32/win32.h"

namespace win32 {

class Utf8ConversionException : public std::runtime_error {
 public:
  Utf8ConversionException(const std::string& text, DWORD errorCode);
  DWORD errorCode() const noexcept { return m_errorCode; }

 private:
  DWORD m_errorCode;
};

// Both throw Utf8ConversionException on invalid input (the Win32 error code
// is ERROR_NO_UNICODE_TRANSLATION then).
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// Windows-1252 ("ANSI") text to UTF-8; never fails.
std::string ansiToUtf8(std::string_view ansi);

}  // namespace win32
