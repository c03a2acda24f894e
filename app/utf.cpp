#include "app/utf.h"

#include <limits>

#include <fmt/format.h>

#include "platform/win32/kernel.h"

namespace win32 {

Utf8ConversionException::Utf8ConversionException(const std::string& text, DWORD errorCode)
    : std::runtime_error(fmt::format("{} (error {})", text, errorCode)), m_errorCode(errorCode) {}

std::u16string utf8ToUtf16(std::string_view utf8) {
  if (utf8.empty()) return {};
  if (utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw Utf8ConversionException("utf8ToUtf16: text too long", ERROR_INVALID_PARAMETER);
  const int inLen = static_cast<int>(utf8.size());
  const int needed = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, nullptr, 0);
  if (needed == 0) throw Utf8ConversionException("utf8ToUtf16: invalid UTF-8", ::GetLastError());
  std::u16string out(static_cast<std::size_t>(needed), u'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLen, out.data(), needed) == 0)
    throw Utf8ConversionException("utf8ToUtf16: conversion failed", ::GetLastError());
  return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
  if (utf16.empty()) return {};
  if (utf16.size() > static_cast<std::size_t>(std::numeric_limits<int>::max() / 4))
    throw Utf8ConversionException("utf16ToUtf8: text too long", ERROR_INVALID_PARAMETER);
  const int inLen = static_cast<int>(utf16.size());
  const int needed =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLen, nullptr, 0, nullptr, nullptr);
  if (needed == 0) throw Utf8ConversionException("utf16ToUtf8: invalid UTF-16", ::GetLastError());
  std::string out(static_cast<std::size_t>(needed), '\0');
  if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, utf16.data(), inLen, out.data(), needed, nullptr,
                            nullptr) == 0)
    throw Utf8ConversionException("utf16ToUtf8: conversion failed", ::GetLastError());
  return out;
}

std::string ansiToUtf8(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int inLen = static_cast<int>(std::min<std::size_t>(ansi.size(), std::numeric_limits<int>::max()));
  const int needed = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), inLen, nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(needed), u'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), inLen, wide.data(), needed);
  return utf16ToUtf8(wide);
}

}  // namespace win32
