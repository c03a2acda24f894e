// Errors the user must act on.
#pragma once

#include <stdexcept>
#include <string>

namespace qor {

// A runtime error with a code and a message, for what the user must act on.
// Its text is "code: message", or the message alone for code 99.
class UserErrorException : public std::runtime_error {
 public:
  UserErrorException(int code, const std::string& message);
  int code() const noexcept { return m_code; }
  const std::string& message() const noexcept { return m_message; }

 private:
  int m_code;
  std::string m_message;
};

}  // namespace qor
