#include "platform/kernel32.h"

#include <algorithm>
#include <string>

namespace platform {

BOOL WriteProfileStringA(const AnsiArg& lpAppName, const AnsiArg& lpKeyName,
                         const AnsiArg& lpString) {
  return ::WriteProfileStringA(lpAppName.get(), lpKeyName.get(), lpString.get());
}

std::int32_t GetProfileStringA(const AnsiArg& lpAppName, const AnsiArg& lpKeyName,
                               const AnsiArg& lpDefault, Text& lpReturnedString,
                               std::int32_t nSize) {
  std::string buffer = ToAnsi(lpReturnedString);
  const auto size = static_cast<DWORD>(
      std::clamp<std::int64_t>(nSize, 0, static_cast<std::int64_t>(buffer.size())));
  const DWORD count =
      ::GetProfileStringA(lpAppName.get(), lpKeyName.get(), lpDefault.get(), buffer.data(), size);
  lpReturnedString = FromAnsi(buffer);
  return static_cast<std::int32_t>(count);
}

}  // namespace platform
