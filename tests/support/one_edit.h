#pragma once
// Checks that one profile write changed one place only.

#include <optional>
#include <string>
#include <string_view>

namespace testing_support {

// `after` must be `before` with one stretch of bytes replaced, and that
// stretch of `before` must hold no line break: one value changed, or lines
// added, and every other line as it was. Returns what is wrong, if anything.
inline std::optional<std::string> OneEditViolation(std::string_view before,
                                                   std::string_view after) {
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::string_view replaced = before.substr(prefix, before.size() - prefix - suffix);
  if (replaced.find_first_of("\r\n") == std::string_view::npos) return std::nullopt;
  return "the write replaced more than one line: bytes " + std::to_string(prefix) + " to " +
         std::to_string(before.size() - suffix) + " of the old file";
}

}  // namespace testing_support
