#pragma once
// Text: the string type of every routine above the platform layer.

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// A counted UTF-16 string. The empty text is a valid value, and a text may
// hold NUL characters anywhere. Positions within a text are 1-based, a
// search that finds nothing yields 0, and comparisons are exact.
using Text = std::u16string;

// The 1-based position of the first `find` in `text` at or after 1-based
// position `start` (exact comparison), or 0 when there is none. A `start`
// below 1 reads as 1.
inline std::int32_t InStr(std::int32_t start, std::u16string_view text, std::u16string_view find) {
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (from > text.size()) return 0;
  const std::size_t at = text.find(find, from);
  return at == std::u16string_view::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

// The first `length` characters of `text` (all of it when shorter).
inline Text Left(std::u16string_view text, std::int32_t length) {
  return Text(text.substr(0, length < 0 ? 0 : static_cast<std::size_t>(length)));
}

// The characters of `text` from 1-based position `start`, `length` of them
// or to the end; empty when `start` is past the end.
inline Text Mid(std::u16string_view text, std::int32_t start,
                std::int32_t length = INT32_MAX) {
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (from >= text.size() || length <= 0) return Text();
  return Text(text.substr(from, static_cast<std::size_t>(length)));
}

}  // namespace platform
