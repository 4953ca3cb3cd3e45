#include "platform/ansi.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace platform {

std::string ToAnsi(std::u16string_view text) { return SystemCodePage().Encode(text); }

Text FromAnsi(std::string_view bytes) { return SystemCodePage().Decode(bytes); }

std::size_t CharacterUnits(std::u16string_view text, std::size_t at) {
  const auto high = [](char16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
  const auto low = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
  return high(text[at]) && at + 1 < text.size() && low(text[at + 1]) ? 2 : 1;
}

std::size_t AnsiPrefixLength(std::u16string_view text, std::size_t ansiCount,
                             const CodePage& page) {
  std::size_t units = 0;
  std::size_t bytes = 0;
  while (units < text.size()) {
    const std::size_t width = CharacterUnits(text, units);
    const std::size_t encoded =
        text[units] < 0x80 ? 1 : page.Encode(text.substr(units, width)).size();
    // A character whose bytes run past the count was cut short on the ANSI
    // side, so it is not part of the prefix.
    if (bytes + encoded > ansiCount) break;
    bytes += encoded;
    units += width;
  }
  return units;
}

std::uint32_t CodePageForLocale(std::string_view localeName) {
  // "language[_TERRITORY][.codeset][@modifier]"
  std::string name(localeName.substr(0, localeName.find('.')));
  std::string modifier;
  if (const auto at = localeName.find('@'); at != std::string_view::npos) {
    modifier = std::string(localeName.substr(at + 1));
    name = name.substr(0, name.find('@'));
  }
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string language = name.substr(0, name.find('_'));
  const std::string territory =
      name.find('_') == std::string::npos ? std::string() : name.substr(name.find('_') + 1);

  struct LanguagePage {
    const char* language;
    std::uint32_t page;
  };
  static constexpr LanguagePage kPages[] = {
      {"ja", 932},   {"ko", 949},   {"th", 874},   {"cs", 1250},  {"pl", 1250},
      {"hu", 1250},  {"sk", 1250},  {"sl", 1250},  {"hr", 1250},  {"ro", 1250},
      {"sq", 1250},  {"bs", 1250},  {"ru", 1251},  {"uk", 1251},  {"be", 1251},
      {"bg", 1251},  {"mk", 1251},  {"kk", 1251},  {"ky", 1251},  {"tt", 1251},
      {"mn", 1251},  {"el", 1253},  {"tr", 1254},  {"az", 1254},  {"he", 1255},
      {"iw", 1255},  {"yi", 1255},  {"ar", 1256},  {"fa", 1256},  {"ur", 1256},
      {"et", 1257},  {"lv", 1257},  {"lt", 1257},  {"vi", 1258},
  };
  if (language == "zh") {
    return territory == "tw" || territory == "hk" || territory == "mo" ? 950 : 936;
  }
  if (language == "sr") return modifier == "latin" ? 1250 : 1251;
  for (const auto& entry : kPages) {
    if (language == entry.language) return entry.page;
  }
  return 1252;
}

}  // namespace platform
