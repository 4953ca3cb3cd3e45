#pragma once
// The frames a window message travels in between programs: a request from
// the sender and an answer from the window's owner, one frame to a packet.
//
// Request (little-endian):
//   "DPWM" | version u8 = 1 | kind u8 = 1 | reserved u16 = 0 |
//   message u32 | wParam u64 | lParam u64 | textLength u32 | text bytes
// textLength 0xFFFFFFFF means no text. With a text (the NUL-terminated ANSI
// string lParam points to, as for WM_WININICHANGE), lParam is not used.
// Answer:
//   "DPWM" | version u8 = 1 | kind u8 = 2 | reserved u16 = 0 | result i64
// A frame of another size, magic, version or kind, a reserved field that is
// not 0, a text longer than kMaxText, or one holding a NUL, is malformed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::posix {

struct MessageRequest {
  std::uint32_t message = 0;
  std::uint64_t wParam = 0;
  std::uint64_t lParam = 0;
  std::optional<std::string> text;
};

inline constexpr std::size_t kMaxText = 4096;
inline constexpr std::size_t kRequestHeaderSize = 32;
inline constexpr std::size_t kMaxRequestSize = kRequestHeaderSize + kMaxText;
inline constexpr std::size_t kAnswerSize = 16;

std::string EncodeRequest(const MessageRequest& request);
std::optional<MessageRequest> DecodeRequest(std::string_view frame);

std::string EncodeAnswer(std::int64_t result);
std::optional<std::int64_t> DecodeAnswer(std::string_view frame);

}  // namespace platform::posix
