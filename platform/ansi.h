#pragma once
// The ANSI boundary: every operating-system call takes and returns text in
// the system ANSI code page, and these conversions carry Text across it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace platform {

// One ANSI code page: 874, 1250-1258 (one byte a character) or 932, 936,
// 949, 950 (one or two bytes a character).
//
// Conversion contracts, the same for every page:
//  - Encode: a character the page cannot hold becomes one "?" (a surrogate
//    pair is one character). There is no best-fit mapping: a look-alike never
//    becomes a different character.
//  - Decode: a byte or byte pair that is not a character of the page becomes
//    one "?" per byte. A NUL byte is always a NUL character and never ends or
//    joins a sequence, so a buffer decodes over its whole length.
//  - Both directions keep NULs and never stop early.
class CodePage {
 public:
  virtual ~CodePage() = default;

  // The Windows code page number, e.g. 1252.
  virtual std::uint32_t Number() const = 0;

  // True when `byte` starts a two-byte character (double-byte pages only).
  virtual bool IsLeadByte(unsigned char byte) const = 0;

  virtual std::string Encode(std::u16string_view text) const = 0;
  virtual Text Decode(std::string_view bytes) const = 0;
};

// The code page for `number`, or null when `number` is not one of the
// supported pages. Pages are made once and live for the whole process.
const CodePage* CodePageFor(std::uint32_t number);

// The system ANSI code page of this process. On Linux it is derived from the
// locale variables (LC_ALL, then LC_CTYPE, then LANG) the way Windows derives
// it from the system locale, and the environment variable ANSI_CODEPAGE (a
// supported page number) overrides it. It is decided once, on first use.
const CodePage& SystemCodePage();

// The number of the page that the locale names `localeName` selects
// ("ja_JP.UTF-8" gives 932, "C" gives 1252).
std::uint32_t CodePageForLocale(std::string_view localeName);

// Conversions through the system code page.
std::string ToAnsi(std::u16string_view text);
Text FromAnsi(std::string_view bytes);

// The code units of the character that starts at `at` in `text`: two for a
// surrogate pair, otherwise one. `at` must be inside the text.
std::size_t CharacterUnits(std::u16string_view text, std::size_t at);

// The number of UTF-16 code units at the start of `text` whose ANSI form is
// the first `ansiCount` bytes. A text that came back from an ANSI call holds
// as many characters as it held bytes only on single-byte pages; this gives
// the matching cut on every page. A count past the end gives text.size().
std::size_t AnsiPrefixLength(std::u16string_view text, std::size_t ansiCount,
                             const CodePage& page = SystemCodePage());

// A text argument for an ANSI call: the converted copy of a text, or a null
// pointer. As with a C string, the call sees the text only up to its first
// NUL character.
class AnsiArg {
 public:
  AnsiArg(std::nullptr_t) : isNull_(true) {}
  AnsiArg(std::u16string_view text) : bytes_(ToAnsi(text)) {}
  AnsiArg(const Text& text) : bytes_(ToAnsi(text)) {}
  // A null pointer is a null argument, as the literal nullptr is.
  AnsiArg(const char16_t* text)
      : isNull_(text == nullptr), bytes_(text != nullptr ? ToAnsi(text) : std::string()) {}

  const char* get() const { return isNull_ ? nullptr : bytes_.c_str(); }

 private:
  bool isNull_ = false;
  std::string bytes_;
};

}  // namespace platform
