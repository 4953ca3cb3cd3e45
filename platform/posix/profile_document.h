#pragma once
// The text of a profile file in win.ini format, read and edited in place.
//
// The file is ANSI bytes in lines ended by CR LF, LF or a lone CR. After
// blanks (space, tab) are trimmed from both ends, a line is:
//   - blank, when nothing is left;
//   - a comment, when it starts with ";";
//   - a section header "[name]", when it starts with "[" and holds a "]";
//     what follows the "]" is ignored;
//   - a key line "name=value", when it holds "=" and the name is not empty;
//   - otherwise a line this format does not understand, kept as it is.
// Section and key names compare without regard to case, and the blanks
// around names and values are not part of them. The first matching section,
// and the first matching key in it, are the ones read and written. Lines
// before the first header belong to no section. A UTF-8 byte-order mark at
// the start of the file is skipped.
//
// Edits change one line, add one, or remove whole lines; every other byte of
// the file stays as it was.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ansi.h"

namespace platform::posix {

// `text` without the blanks (space, tab) at either end.
std::string_view TrimBlanks(std::string_view text);

// Names and values that can be stored without changing what the file means:
// none holds a line break; names are not empty (once trimmed); a section
// name holds no "]" (outside two-byte characters of `page`) and does not
// end with the first byte of a two-byte character; a key name
// holds no "=" and does not start with "[" or ";".
bool IsStorableSection(std::string_view name, const CodePage& page);
bool IsStorableKey(std::string_view name);
bool IsStorableValue(std::string_view value);

// One change to a profile's bytes: the bytes from `begin` to `end` give way
// to `insertion`. Every edit of a document is one such change, so a writer
// can put the new file together from the old bytes without copying them.
struct ProfileEdit {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::string insertion;

  // True when applying the edit to `bytes` would change them.
  bool Changes(std::string_view bytes) const {
    return bytes.substr(begin, end - begin) != insertion;
  }
  std::string_view Before(std::string_view bytes) const { return bytes.substr(0, begin); }
  std::string_view After(std::string_view bytes) const { return bytes.substr(end); }
  std::string ApplyTo(std::string_view bytes) const;
};

class ProfileDocument {
 public:
  // `bytes` must outlive the document; `page` says which bytes start a
  // two-byte character (so a "]" that is half of one does not end a name)
  // and how non-ASCII names fold case.
  ProfileDocument(std::string_view bytes, const CodePage& page) : bytes_(bytes), page_(page) {}

  // The value of `key` in `section`, with one pair of enclosing quotes (" or
  // ') removed; nullopt when the section or key is absent.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;

  // Calls `visit` with each key name of `section` in file order, until it
  // returns false. Returns false when the section is absent.
  bool VisitKeyNames(std::string_view section,
                     const std::function<bool(std::string_view)>& visit) const;

  // Calls `visit` with each section name in file order, until it returns
  // false.
  void VisitSectionNames(const std::function<bool(std::string_view)>& visit) const;

  // Setting `key` of `section` to `value`: the value part of the key's
  // line is replaced; or a line "key=value" is added after the last key
  // line of the section (after its header when it has none); or, with no
  // such section, "[section]" and "key=value" lines go at the end of the
  // file. New lines end the way the file's first line does (CR LF in a file
  // that has no line end yet). A file that ends without a line end still
  // does.
  ProfileEdit ValueEdit(std::string_view section, std::string_view key,
                        std::string_view value) const;

  // Removing the line of `key` in `section`; no change when absent.
  ProfileEdit KeyRemoval(std::string_view section, std::string_view key) const;

  // Removing `section`: its header, its key lines and the lines between
  // them. Lines after its last key (comments, blank lines that set it apart
  // from the next section) stay. No change when absent.
  ProfileEdit SectionRemoval(std::string_view section) const;

  // The file after each of those edits.
  std::string WithValue(std::string_view section, std::string_view key,
                        std::string_view value) const {
    return ValueEdit(section, key, value).ApplyTo(bytes_);
  }
  std::string WithoutKey(std::string_view section, std::string_view key) const {
    return KeyRemoval(section, key).ApplyTo(bytes_);
  }
  std::string WithoutSection(std::string_view section) const {
    return SectionRemoval(section).ApplyTo(bytes_);
  }

  // True when `a` and `b` name the same section or key.
  bool NamesEqual(std::string_view a, std::string_view b) const;

 private:
  struct SectionSpan;
  SectionSpan FindSection(std::string_view section, std::string_view key) const;

  std::string_view bytes_;
  const CodePage& page_;
};

}  // namespace platform::posix
