// Code pages on Windows: the system's own conversions, with best-fit
// mapping turned off so a look-alike never becomes another character.

#include <map>
#include <memory>
#include <mutex>

#include "platform/ansi.h"
#include "platform/winapi.h"

extern "C" {
DEFPRINTER_IMPORT UINT DEFPRINTER_WINAPI GetACP(void);
DEFPRINTER_IMPORT BOOL DEFPRINTER_WINAPI IsDBCSLeadByteEx(UINT CodePage, unsigned char TestChar);
DEFPRINTER_IMPORT int DEFPRINTER_WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags,
                                                            const char* lpMultiByteStr,
                                                            int cbMultiByte,
                                                            wchar_t* lpWideCharStr,
                                                            int cchWideChar);
DEFPRINTER_IMPORT int DEFPRINTER_WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags,
                                                            const wchar_t* lpWideCharStr,
                                                            int cchWideChar, char* lpMultiByteStr,
                                                            int cbMultiByte,
                                                            const char* lpDefaultChar,
                                                            BOOL* lpUsedDefaultChar);
}

namespace platform {
namespace {

constexpr DWORD kNoBestFitChars = 0x00000400;  // WC_NO_BEST_FIT_CHARS
constexpr UINT kUtf8 = 65001;                  // a system set to UTF-8

static_assert(sizeof(wchar_t) == sizeof(char16_t));

class WindowsCodePage final : public CodePage {
 public:
  explicit WindowsCodePage(UINT number) : number_(number) {}

  std::uint32_t Number() const override { return number_; }

  bool IsLeadByte(unsigned char byte) const override {
    return IsDBCSLeadByteEx(number_, byte) != 0;
  }

  std::string Encode(std::u16string_view text) const override {
    if (text.empty()) return std::string();
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    // UTF-8 takes neither flag nor default character.
    const DWORD flags = number_ == kUtf8 ? 0 : kNoBestFitChars;
    const char* fallback = number_ == kUtf8 ? nullptr : "?";
    const int size =
        WideCharToMultiByte(number_, flags, wide, length, nullptr, 0, fallback, nullptr);
    std::string bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
      WideCharToMultiByte(number_, flags, wide, length, bytes.data(), size, fallback, nullptr);
    }
    return bytes;
  }

  Text Decode(std::string_view bytes) const override {
    if (bytes.empty()) return Text();
    const int length = static_cast<int>(bytes.size());
    const int size = MultiByteToWideChar(number_, 0, bytes.data(), length, nullptr, 0);
    Text text(static_cast<std::size_t>(size > 0 ? size : 0), u'\0');
    if (size > 0) {
      MultiByteToWideChar(number_, 0, bytes.data(), length,
                          reinterpret_cast<wchar_t*>(text.data()), size);
    }
    return text;
  }

 private:
  UINT number_;
};

bool IsSupported(std::uint32_t number) {
  return number == 874 || (number >= 1250 && number <= 1258) || number == 932 ||
         number == 936 || number == 949 || number == 950;
}

const CodePage* PageFor(std::uint32_t number) {
  static std::mutex mutex;
  static std::map<std::uint32_t, std::unique_ptr<CodePage>> pages;
  std::lock_guard lock(mutex);
  auto& page = pages[number];
  if (!page) page = std::make_unique<WindowsCodePage>(number);
  return page.get();
}

}  // namespace

const CodePage* CodePageFor(std::uint32_t number) {
  return IsSupported(number) ? PageFor(number) : nullptr;
}

// The system's own ANSI code page, whichever it is.
const CodePage& SystemCodePage() {
  static const CodePage* const page = PageFor(GetACP());
  return *page;
}

}  // namespace platform
