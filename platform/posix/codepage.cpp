// Code pages on Linux, built on glibc's iconv with Windows' own rules laid
// over it where the two differ.

#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ansi.h"

namespace platform {
namespace {

constexpr char16_t kReplacement = u'?';
const char* const kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

// An iconv descriptor, closed on every path. Not safe to share between
// threads; the owners below guard it with a mutex.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of [in, in+inLeft) as it can into [out, out+outLeft),
  // moving all four. Returns 0, or the errno iconv stopped with.
  int Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
    char* input = const_cast<char*>(in);
    const std::size_t result = iconv(cd_, &input, &inLeft, &out, &outLeft);
    in = input;
    return result == static_cast<std::size_t>(-1) ? errno : 0;
  }

  // Returns the descriptor to its initial state and writes out any character
  // it was holding back.
  void Flush(char*& out, std::size_t& outLeft) { iconv(cd_, nullptr, nullptr, &out, &outLeft); }
  void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t cd_;
};

std::string IconvName(std::uint32_t number) { return "CP" + std::to_string(number); }

bool IsAscii(std::string_view bytes) {
  for (const unsigned char byte : bytes) {
    if (byte >= 0x80) return false;
  }
  return true;
}

bool IsAscii(std::u16string_view text) {
  for (const char16_t unit : text) {
    if (unit >= 0x80) return false;
  }
  return true;
}

// A page of one byte a character, held as two tables made once: from iconv,
// or for 1252 from the table built in below.
// Each byte decodes alone, so glibc's composing of Vietnamese base letters
// with combining marks (which Windows' 1258 does not do) never happens, and
// every character is exactly one byte on both sides.
class SingleBytePage final : public CodePage {
 public:
  explicit SingleBytePage(std::uint32_t number) : number_(number) {
    if (number == 1252) {
      // The page nearly every run uses is built in, sparing each run the
      // loading of iconv's modules.
      for (int byte = 0; byte < 256; ++byte) Add(byte, kWestern[byte]);
      valid_ = true;
      Finish();
      return;
    }
    Iconv decoder(kUtf16, IconvName(number).c_str());
    valid_ = decoder.valid();
    for (int byte = 0; valid_ && byte < 256; ++byte) {
      char16_t decoded = 0;
      if (!DecodeOne(decoder, static_cast<char>(byte), decoded)) {
        // Windows gives the bytes its tables leave unassigned in 0x80-0x9F
        // (for 1252: 81, 8D, 8F, 90, 9D) the C1 control of the same value;
        // any other unassigned byte reads as "?" and nothing encodes to it.
        if (byte < 0x80 || byte > 0x9F) {
          decode_[byte] = kReplacement;
          continue;
        }
        decoded = static_cast<char16_t>(byte);
      }
      Add(byte, decoded);
    }
    Finish();
  }

  bool valid() const { return valid_; }

  std::uint32_t Number() const override { return number_; }
  bool IsLeadByte(unsigned char) const override { return false; }

  std::string Encode(std::u16string_view text) const override {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
      const std::size_t units = CharacterUnits(text, i);
      // A surrogate pair is one character the page cannot hold: one "?".
      const std::uint16_t byte = units == 1 ? EncodeUnit(text[i]) : kNone;
      bytes.push_back(byte == kNone ? '?' : static_cast<char>(byte));
      i += units;
    }
    return bytes;
  }

  Text Decode(std::string_view bytes) const override {
    Text text;
    text.reserve(bytes.size());
    for (const unsigned char byte : bytes) text.push_back(decode_[byte]);
    return text;
  }

 private:
  static constexpr std::uint16_t kNone = 0xFFFF;

  // Windows-1252: Latin-1, but for 0x80-0x9F, where Windows puts these (and
  // keeps the C1 control for the five bytes it leaves unassigned).
  static constexpr std::array<char16_t, 256> kWestern = [] {
    std::array<char16_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte) table[byte] = static_cast<char16_t>(byte);
    constexpr char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (int i = 0; i < 32; ++i) table[0x80 + i] = high[i];
    return table;
  }();

  void Add(int byte, char16_t decoded) {
    decode_[byte] = decoded;
    if (byte < 0x80) return;
    encode_.push_back({decoded, static_cast<std::uint8_t>(byte)});
    if (decoded >= 0x80 && decoded < 0x100 && latin_[decoded - 0x80] == 0) {
      latin_[decoded - 0x80] = static_cast<std::uint8_t>(byte);
    }
  }

  // Sorts the characters of bytes 0x80-0xFF for lookup; where two bytes
  // decode to one character, the first byte is the one it encodes to.
  void Finish() {
    std::stable_sort(encode_.begin(), encode_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
  }

  // The byte for `unit`, or kNone. Every page holds ASCII as it is.
  std::uint16_t EncodeUnit(char16_t unit) const {
    if (unit < 0x80 && decode_[unit] == unit) return unit;
    if (unit >= 0x80 && unit < 0x100 && latin_[unit - 0x80] != 0) return latin_[unit - 0x80];
    const auto it = std::lower_bound(encode_.begin(), encode_.end(), unit,
                                     [](const auto& entry, char16_t u) { return entry.first < u; });
    return it != encode_.end() && it->first == unit ? it->second : kNone;
  }

  static bool DecodeOne(Iconv& decoder, char byte, char16_t& decoded) {
    decoder.Reset();
    char16_t out[4];
    const char* in = &byte;
    std::size_t inLeft = 1;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t outLeft = sizeof(out);
    if (decoder.Convert(in, inLeft, outPtr, outLeft) != 0 || inLeft != 0) return false;
    decoder.Flush(outPtr, outLeft);
    if (sizeof(out) - outLeft != sizeof(char16_t)) return false;
    decoded = out[0];
    return true;
  }

  std::uint32_t number_;
  bool valid_ = false;
  std::array<char16_t, 256> decode_{};
  // (character, byte) for the bytes 0x80-0xFF, by character; and for the
  // characters U+0080-U+00FF, which most pages hold many of, their byte
  // directly (0: look in encode_).
  std::vector<std::pair<char16_t, std::uint8_t>> encode_;
  std::array<std::uint8_t, 128> latin_{};
};

// A page of one or two bytes a character, converted by iconv.
class DoubleBytePage final : public CodePage {
 public:
  explicit DoubleBytePage(std::uint32_t number)
      : number_(number),
        encoder_(IconvName(number).c_str(), kUtf16),
        decoder_(kUtf16, IconvName(number).c_str()) {
    // A lead byte is one that iconv finds incomplete on its own.
    for (int byte = 0x80; byte < 256; ++byte) {
      decoder_.Reset();
      const char one = static_cast<char>(byte);
      const char* in = &one;
      std::size_t inLeft = 1;
      char16_t out[2];
      char* outPtr = reinterpret_cast<char*>(out);
      std::size_t outLeft = sizeof(out);
      lead_[byte] = decoder_.Convert(in, inLeft, outPtr, outLeft) == EINVAL;
    }
  }

  bool valid() const { return encoder_.valid() && decoder_.valid(); }

  std::uint32_t Number() const override { return number_; }
  bool IsLeadByte(unsigned char byte) const override { return lead_[byte]; }

  std::string Encode(std::u16string_view text) const override {
    if (IsAscii(text)) return std::string(text.begin(), text.end());
    std::lock_guard lock(mutex_);
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
      if (text[i] < 0x80) {
        bytes.push_back(static_cast<char>(text[i++]));
        continue;
      }
      const std::size_t units = CharacterUnits(text, i);
      char out[8];
      const char* in = reinterpret_cast<const char*>(text.data() + i);
      std::size_t inLeft = units * sizeof(char16_t);
      char* outPtr = out;
      std::size_t outLeft = sizeof(out);
      encoder_.Reset();
      const int error = encoder_.Convert(in, inLeft, outPtr, outLeft);
      const std::size_t produced = sizeof(out) - outLeft;
      // One character at a time, so that a character iconv would fold onto
      // plain ASCII (a look-alike such as a yen sign becoming a backslash)
      // is caught and turned into "?" instead.
      if (error != 0 || inLeft != 0 || produced == 0 ||
          (produced == 1 && static_cast<unsigned char>(out[0]) < 0x80)) {
        bytes.push_back('?');
      } else {
        bytes.append(out, produced);
      }
      i += units;
    }
    return bytes;
  }

  Text Decode(std::string_view bytes) const override {
    if (IsAscii(bytes)) return Text(bytes.begin(), bytes.end());
    std::lock_guard lock(mutex_);
    decoder_.Reset();
    Text text(bytes.size(), u'\0');
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char* out = reinterpret_cast<char*>(text.data());
    std::size_t outLeft = text.size() * sizeof(char16_t);
    while (inLeft > 0) {
      if (decoder_.Convert(in, inLeft, out, outLeft) == 0) break;
      // Not a character of the page (or cut short at the end): one "?" for
      // the offending byte, then go on with the next one.
      const char16_t replacement = kReplacement;
      std::memcpy(out, &replacement, sizeof(replacement));
      out += sizeof(replacement);
      outLeft -= sizeof(replacement);
      ++in;
      --inLeft;
      decoder_.Reset();
    }
    text.resize(text.size() - outLeft / sizeof(char16_t));
    return text;
  }

 private:
  std::uint32_t number_;
  mutable std::mutex mutex_;
  mutable Iconv encoder_;
  mutable Iconv decoder_;
  std::array<bool, 256> lead_{};
};

bool IsDoubleByte(std::uint32_t number) {
  return number == 932 || number == 936 || number == 949 || number == 950;
}

bool IsSupported(std::uint32_t number) {
  return number == 874 || (number >= 1250 && number <= 1258) || IsDoubleByte(number);
}

template <typename Page>
std::unique_ptr<CodePage> MakeValid(std::unique_ptr<Page> page) {
  if (!page->valid()) return nullptr;
  return page;
}

std::unique_ptr<CodePage> MakePage(std::uint32_t number) {
  if (IsDoubleByte(number)) return MakeValid(std::make_unique<DoubleBytePage>(number));
  return MakeValid(std::make_unique<SingleBytePage>(number));
}

// The first of LC_ALL, LC_CTYPE and LANG that is set and not empty.
std::string_view LocaleName() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

std::uint32_t SystemCodePageNumber() {
  if (const char* override = std::getenv("ANSI_CODEPAGE"); override != nullptr) {
    char* end = nullptr;
    const unsigned long number = std::strtoul(override, &end, 10);
    if (end != override && *end == '\0' && IsSupported(static_cast<std::uint32_t>(number)) &&
        CodePageFor(static_cast<std::uint32_t>(number)) != nullptr) {
      return static_cast<std::uint32_t>(number);
    }
  }
  return CodePageForLocale(LocaleName());
}

}  // namespace

const CodePage* CodePageFor(std::uint32_t number) {
  if (!IsSupported(number)) return nullptr;
  static std::mutex mutex;
  static std::map<std::uint32_t, std::unique_ptr<CodePage>> pages;
  std::lock_guard lock(mutex);
  auto [it, inserted] = pages.try_emplace(number);
  if (inserted) it->second = MakePage(number);
  return it->second.get();
}

const CodePage& SystemCodePage() {
  static const CodePage* const page = [] {
    const CodePage* chosen = CodePageFor(SystemCodePageNumber());
    return chosen != nullptr ? chosen : CodePageFor(1252);
  }();
  return *page;
}

}  // namespace platform
