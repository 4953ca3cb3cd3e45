#include "platform/posix/message_frame.h"

namespace platform::posix {
namespace {

constexpr char kMagic[4] = {'D', 'P', 'W', 'M'};
constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kRequestKind = 1;
constexpr std::uint8_t kAnswerKind = 2;
constexpr std::uint32_t kNoText = 0xFFFFFFFF;

void Put(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t Get(std::string_view in, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) {
    value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
  }
  return value;
}

void PutHeader(std::string& out, std::uint8_t kind) {
  out.append(kMagic, sizeof(kMagic));
  Put(out, kVersion, 1);
  Put(out, kind, 1);
  Put(out, 0, 2);
}

bool HeaderIs(std::string_view frame, std::uint8_t kind) {
  return frame.size() >= 8 && frame.substr(0, 4) == std::string_view(kMagic, 4) &&
         Get(frame, 4, 1) == kVersion && Get(frame, 5, 1) == kind && Get(frame, 6, 2) == 0;
}

}  // namespace

std::string EncodeRequest(const MessageRequest& request) {
  std::string out;
  out.reserve(kRequestHeaderSize + (request.text ? request.text->size() : 0));
  PutHeader(out, kRequestKind);
  Put(out, request.message, 4);
  Put(out, request.wParam, 8);
  Put(out, request.lParam, 8);
  if (request.text) {
    const std::string_view text = std::string_view(*request.text).substr(0, kMaxText);
    Put(out, text.size(), 4);
    out.append(text);
  } else {
    Put(out, kNoText, 4);
  }
  return out;
}

std::optional<MessageRequest> DecodeRequest(std::string_view frame) {
  if (frame.size() < kRequestHeaderSize || !HeaderIs(frame, kRequestKind)) return std::nullopt;
  MessageRequest request;
  request.message = static_cast<std::uint32_t>(Get(frame, 8, 4));
  request.wParam = Get(frame, 12, 8);
  request.lParam = Get(frame, 20, 8);
  const auto textLength = static_cast<std::uint32_t>(Get(frame, 28, 4));
  const std::string_view rest = frame.substr(kRequestHeaderSize);
  if (textLength == kNoText) {
    if (!rest.empty()) return std::nullopt;
    return request;
  }
  if (textLength > kMaxText || rest.size() != textLength ||
      rest.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  request.text = std::string(rest);
  return request;
}

std::string EncodeAnswer(std::int64_t result) {
  std::string out;
  PutHeader(out, kAnswerKind);
  Put(out, static_cast<std::uint64_t>(result), 8);
  return out;
}

std::optional<std::int64_t> DecodeAnswer(std::string_view frame) {
  if (frame.size() != kAnswerSize || !HeaderIs(frame, kAnswerKind)) return std::nullopt;
  return static_cast<std::int64_t>(Get(frame, 8, 8));
}

}  // namespace platform::posix
