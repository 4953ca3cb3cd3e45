// Fuzz target: the profile parser and editor. The input is
//   page byte | section NUL key NUL value NUL | file bytes
// For names and a value the store accepts, setting the value must read it
// back and change nothing in the file but the one place it was written;
// removals and reads must never fail.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ansi.h"
#include "platform/posix/profile_document.h"
#include "tests/support/one_edit.h"

namespace {

using platform::posix::ProfileDocument;

void Check(bool condition) {
  if (!condition) std::abort();
}

// Takes the text up to the next NUL off the front of `input`.
bool TakeField(std::string_view& input, std::string_view* field) {
  const std::size_t nul = input.find('\0');
  if (nul == std::string_view::npos) return false;
  *field = input.substr(0, nul);
  input.remove_prefix(nul + 1);
  return true;
}

bool ReadsBackVerbatim(std::string_view value) {
  if (value.empty()) return true;
  const char first = value.front(), last = value.back();
  return first != ' ' && first != '\t' && last != ' ' && last != '\t' && first != '"' &&
         first != '\'' && value.find('\0') == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const platform::CodePage& page = *platform::CodePageFor(data[0] % 2 == 0 ? 1252 : 932);
  std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string_view section, key, value;
  if (!TakeField(input, &section) || !TakeField(input, &key) || !TakeField(input, &value)) {
    return 0;
  }
  const std::string before(input);
  const ProfileDocument document(before, page);

  // Reads and removals work on anything.
  document.Value(section, key);
  document.VisitKeyNames(section, [](std::string_view) { return true; });
  document.VisitSectionNames([](std::string_view) { return true; });
  document.WithoutKey(section, key);
  document.WithoutSection(section);

  section = platform::posix::TrimBlanks(section);
  key = platform::posix::TrimBlanks(key);
  if (!platform::posix::IsStorableSection(section, page) || !platform::posix::IsStorableKey(key) ||
      !platform::posix::IsStorableValue(value) || !ReadsBackVerbatim(value)) {
    return 0;
  }
  const std::string after = document.WithValue(section, key, value);
  const ProfileDocument edited(after, page);
  Check(edited.Value(section, key) == value);

  // Everything outside one stretch is unchanged, and that stretch held no
  // line break before: one value was replaced, or lines were added.
  Check(!testing_support::OneEditViolation(before, after));

  // Writing the same value again changes nothing.
  Check(edited.WithValue(section, key, value) == after);
  return 0;
}
