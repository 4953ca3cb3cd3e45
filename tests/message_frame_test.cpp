// The frames window messages travel in between programs.

#include <gtest/gtest.h>

#include "platform/posix/message_frame.h"

namespace {

using platform::posix::DecodeAnswer;
using platform::posix::DecodeRequest;
using platform::posix::EncodeAnswer;
using platform::posix::EncodeRequest;
using platform::posix::MessageRequest;

TEST(MessageFrame, RequestsAndAnswersRoundTrip) {
  MessageRequest withText{0x1A, 0, 0xDEADBEEF, std::string("windows")};
  const auto decoded = DecodeRequest(EncodeRequest(withText));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->message, 0x1Au);
  EXPECT_EQ(decoded->wParam, 0u);
  EXPECT_EQ(decoded->text, "windows");

  MessageRequest plain{0x400, 0xFFFFFFFFFFFFFFFFull, 42, std::nullopt};
  const auto decodedPlain = DecodeRequest(EncodeRequest(plain));
  ASSERT_TRUE(decodedPlain);
  EXPECT_EQ(decodedPlain->wParam, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(decodedPlain->lParam, 42u);
  EXPECT_FALSE(decodedPlain->text);

  EXPECT_EQ(DecodeAnswer(EncodeAnswer(-7)), -7);
  EXPECT_EQ(DecodeAnswer(EncodeAnswer(0)), 0);
}

TEST(MessageFrame, ATextLongerThanTheBoundIsCutToIt) {
  const MessageRequest longText{0x1A, 0, 0, std::string(10000, 'x')};
  const std::string frame = EncodeRequest(longText);
  EXPECT_EQ(frame.size(), platform::posix::kMaxRequestSize);
  EXPECT_EQ(DecodeRequest(frame)->text->size(), platform::posix::kMaxText);
}

TEST(MessageFrame, MalformedFramesAreRejected) {
  const std::string request = EncodeRequest({0x1A, 0, 0, std::string("windows")});
  const std::string answer = EncodeAnswer(1);
  const auto changed = [](std::string frame, std::size_t at, char byte) {
    frame.replace(at, 1, 1, byte);
    return frame;
  };
  const std::pair<const char*, std::string> badRequests[] = {
      {"empty", ""},
      {"header only", request.substr(0, 8)},
      {"magic", changed(request, 0, 'X')},
      {"version", changed(request, 4, 2)},
      {"kind", changed(request, 5, 2)},
      {"reserved", changed(request, 6, 1)},
      {"text cut short", request.substr(0, request.size() - 1)},
      {"bytes after the text", request + "x"},
      {"NUL in the text", changed(request, request.size() - 1, '\0')},
      {"length past the bound", changed(changed(request, 28, 0), 29, 0x20)},
      {"an answer", answer},
      {"bytes after no text",
       EncodeRequest({1, 0, 0, std::nullopt}) + "x"},
  };
  for (const auto& [what, frame] : badRequests) {
    EXPECT_FALSE(DecodeRequest(frame)) << what;
  }
  const std::pair<const char*, std::string> badAnswers[] = {
      {"empty", ""},
      {"short", answer.substr(0, 15)},
      {"long", answer + "x"},
      {"magic", changed(answer, 1, 'X')},
      {"kind", changed(answer, 5, 1)},
      {"a request", request},
  };
  for (const auto& [what, frame] : badAnswers) {
    EXPECT_FALSE(DecodeAnswer(frame)) << what;
  }
}

}  // namespace
