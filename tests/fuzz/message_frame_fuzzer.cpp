// Fuzz target: the decoders of window message frames. Whatever a peer
// sends, decoding never fails, and a frame that decodes is the one its
// decoded message encodes to.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/posix/message_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view frame(reinterpret_cast<const char*>(data), size);
  if (const auto request = platform::posix::DecodeRequest(frame)) {
    if (platform::posix::EncodeRequest(*request) != frame) std::abort();
    if (request->text && request->text->size() > platform::posix::kMaxText) std::abort();
  }
  if (const auto answer = platform::posix::DecodeAnswer(frame)) {
    if (platform::posix::EncodeAnswer(*answer) != frame) std::abort();
  }
  return 0;
}
