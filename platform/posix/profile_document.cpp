#include "platform/posix/profile_document.h"

#include <locale.h>
#include <wctype.h>

#include <cstring>

namespace platform::posix {
namespace {

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
  std::size_t begin = 0;       // offset of the line's first byte
  std::size_t contentEnd = 0;  // offset of its line end (or of the file's end)
  std::size_t end = 0;         // offset just past its line end
  LineKind kind = LineKind::Other;
  std::string_view name;        // section or key name, trimmed
  std::string_view value;       // key value, trimmed
  std::size_t valueBegin = 0;   // offset where the value part of a key line starts

  bool HasLineEnd() const { return end > contentEnd; }
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }


bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Reads a profile's bytes one line at a time.
class LineScanner {
 public:
  LineScanner(std::string_view bytes, const CodePage& page) : bytes_(bytes), page_(page) {}

  // Reads the next line into `line`; false at the end of the bytes. With
  // `headersOnly`, lines that cannot be section headers are stepped over
  // unread, for callers that are looking for a section and need nothing
  // else: the line read is the next one that may be a header.
  bool Next(Line& line, bool headersOnly = false) {
    if (headersOnly) at_ = NextPossibleHeader(at_);
    if (at_ >= bytes_.size()) return false;
    line = Line{};
    line.begin = at_;
    line.contentEnd = LineEnd(at_);
    line.end = line.contentEnd;
    if (line.end < bytes_.size()) {
      line.end += bytes_[line.end] == '\r' && line.end + 1 < bytes_.size() &&
                          bytes_[line.end + 1] == '\n'
                      ? 2
                      : 1;
    }
    at_ = line.end;
    Classify(line);
    return true;
  }

 private:
  // Where the line that starts at `from` ends: at its first CR or LF, or at
  // the end of the bytes. memchr finds each, much faster than a byte loop;
  // the next CR and the next LF found are kept until the scan passes them,
  // so a file whose lines all end one way is searched once, not once a line.
  std::size_t LineEnd(std::size_t from) {
    if (!searched_ || nextLf_ < from) nextLf_ = Find('\n', from);
    if (!searched_ || nextCr_ < from) nextCr_ = Find('\r', from);
    searched_ = true;
    return std::min(nextLf_, nextCr_);
  }

  // The offset of the first `c` at or after `from`, or the end of the bytes.
  std::size_t Find(char c, std::size_t from) const {
    // An empty view may have no data at all: memchr must not see it.
    if (from >= bytes_.size()) return bytes_.size();
    const auto* found =
        static_cast<const char*>(std::memchr(bytes_.data() + from, c, bytes_.size() - from));
    return found != nullptr ? static_cast<std::size_t>(found - bytes_.data()) : bytes_.size();
  }

  // The start of the first line at or after line start `from` that holds
  // "[" after nothing but blanks (or the end of the bytes). Only "["
  // characters are visited, so the many key lines of a large profile cost
  // one memchr between headers.
  std::size_t NextPossibleHeader(std::size_t from) const {
    for (std::size_t search = from;;) {
      const std::size_t open = Find('[', search);
      if (open == bytes_.size()) return open;
      std::size_t start = open;
      while (start > from && IsBlank(bytes_[start - 1])) --start;
      if (start == from || bytes_[start - 1] == '\n' || bytes_[start - 1] == '\r') return start;
      if (from == 0 && start == 3 && bytes_.substr(0, 3) == "\xEF\xBB\xBF") return 0;
      search = open + 1;
    }
  }

  void Classify(Line& line) const {
    std::string_view content = bytes_.substr(line.begin, line.contentEnd - line.begin);
    // A UTF-8 byte-order mark, as some editors save, is not part of the
    // first line.
    if (line.begin == 0 && content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
    content = TrimBlanks(content);
    if (content.empty()) {
      line.kind = LineKind::Blank;
    } else if (content.front() == ';') {
      line.kind = LineKind::Comment;
    } else if (content.front() == '[') {
      const std::size_t close = FindCloseBracket(content);
      if (close != std::string_view::npos) {
        line.kind = LineKind::Section;
        line.name = TrimBlanks(content.substr(1, close - 1));
      }
    } else if (const std::size_t equals = content.find('='); equals != std::string_view::npos) {
      const std::string_view name = TrimBlanks(content.substr(0, equals));
      if (!name.empty()) {
        line.kind = LineKind::Key;
        line.name = name;
        line.value = TrimBlanks(content.substr(equals + 1));
        const std::size_t afterEquals =
            static_cast<std::size_t>(content.data() - bytes_.data()) + equals + 1;
        line.valueBegin = afterEquals;
        while (line.valueBegin < line.contentEnd && IsBlank(bytes_[line.valueBegin])) {
          ++line.valueBegin;
        }
      }
    }
  }

  // The first "]" that is a character of its own, not the second byte of a
  // two-byte character.
  std::size_t FindCloseBracket(std::string_view content) const {
    for (std::size_t i = 1; i < content.size(); ++i) {
      if (content[i] == ']') return i;
      if (page_.IsLeadByte(static_cast<unsigned char>(content[i]))) ++i;
    }
    return std::string_view::npos;
  }

  std::string_view bytes_;
  const CodePage& page_;
  std::size_t at_ = 0;
  // Where the next LF and CR at or after the last search stand, once
  // searched.
  std::size_t nextLf_ = 0;
  std::size_t nextCr_ = 0;
  bool searched_ = false;
};

bool IsAscii(std::string_view text) {
  for (const unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Case folding for names beyond ASCII, by the Unicode tables of glibc's
// built-in C.UTF-8 locale; ASCII only where that locale is missing.
wint_t FoldCase(char16_t unit) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0)) {
    return unit < 0x80 ? static_cast<wint_t>(AsciiLower(static_cast<char>(unit))) : unit;
  }
  return towlower_l(unit, utf8);
}

std::string_view LineEndOf(std::string_view bytes) {
  const std::size_t at = bytes.find_first_of("\r\n");
  if (at == std::string_view::npos) return "\r\n";
  if (bytes[at] == '\r') return at + 1 < bytes.size() && bytes[at + 1] == '\n' ? "\r\n" : "\r";
  return "\n";
}

std::string Concat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const auto part : parts) size += part.size();
  std::string out;
  out.reserve(size);
  for (const auto part : parts) out.append(part);
  return out;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsStorableSection(std::string_view name, const CodePage& page) {
  if (TrimBlanks(name).empty() || HasLineBreak(name)) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == ']') return false;
    if (page.IsLeadByte(static_cast<unsigned char>(name[i]))) {
      // A name that ends half way through a character would take the "]"
      // after it as its second byte.
      if (i + 1 == name.size()) return false;
      ++i;
    }
  }
  return true;
}

bool IsStorableKey(std::string_view name) {
  name = TrimBlanks(name);
  return !name.empty() && !HasLineBreak(name) && name.find('=') == std::string_view::npos &&
         name.front() != '[' && name.front() != ';';
}

bool IsStorableValue(std::string_view value) { return !HasLineBreak(value); }

bool ProfileDocument::NamesEqual(std::string_view a, std::string_view b) const {
  const bool asciiA = IsAscii(a);
  const bool asciiB = IsAscii(b);
  if (asciiA && asciiB) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
  }
  if (asciiA != asciiB) return false;
  if (a == b) return true;
  // Bytes of a two-byte character may look like ASCII letters, so non-ASCII
  // names are compared as characters.
  const Text textA = page_.Decode(a);
  const Text textB = page_.Decode(b);
  if (textA.size() != textB.size()) return false;
  for (std::size_t i = 0; i < textA.size(); ++i) {
    if (FoldCase(textA[i]) != FoldCase(textB[i])) return false;
  }
  return true;
}

// Where a section and one of its keys stand in the file.
struct ProfileDocument::SectionSpan {
  std::optional<Line> header;  // the section's header line
  std::optional<Line> key;     // the first line of the key asked for
  Line last;                   // the last key line, or the header when none
};

ProfileDocument::SectionSpan ProfileDocument::FindSection(std::string_view section,
                                                          std::string_view key) const {
  SectionSpan span;
  LineScanner scanner(bytes_, page_);
  Line line;
  while (scanner.Next(line, /*headersOnly=*/!span.header)) {
    if (line.kind == LineKind::Section) {
      if (span.header) break;
      if (NamesEqual(line.name, section)) {
        span.header = line;
        span.last = line;
      }
    } else if (span.header && line.kind == LineKind::Key) {
      if (!key.empty() && NamesEqual(line.name, key)) {
        span.key = line;
        break;
      }
      span.last = line;
    }
  }
  return span;
}

std::optional<std::string_view> ProfileDocument::Value(std::string_view section,
                                                       std::string_view key) const {
  const SectionSpan span = FindSection(section, key);
  if (!span.key) return std::nullopt;
  std::string_view value = span.key->value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

bool ProfileDocument::VisitKeyNames(std::string_view section,
                                    const std::function<bool(std::string_view)>& visit) const {
  LineScanner scanner(bytes_, page_);
  Line line;
  bool inSection = false;
  while (scanner.Next(line, /*headersOnly=*/!inSection)) {
    if (line.kind == LineKind::Section) {
      if (inSection) break;
      inSection = NamesEqual(line.name, section);
    } else if (inSection && line.kind == LineKind::Key) {
      if (!visit(line.name)) break;
    }
  }
  return inSection;
}

void ProfileDocument::VisitSectionNames(
    const std::function<bool(std::string_view)>& visit) const {
  LineScanner scanner(bytes_, page_);
  Line line;
  while (scanner.Next(line, /*headersOnly=*/true)) {
    if (line.kind == LineKind::Section && !visit(line.name)) break;
  }
}

ProfileEdit ProfileDocument::ValueEdit(std::string_view section, std::string_view key,
                                       std::string_view value) const {
  const SectionSpan span = FindSection(section, key);
  if (span.key) return {span.key->valueBegin, span.key->contentEnd, std::string(value)};
  const std::string_view eol = LineEndOf(bytes_);
  const std::size_t end = bytes_.size();
  if (span.header) {
    const Line& last = span.last;
    if (last.HasLineEnd()) return {last.end, last.end, Concat({key, "=", value, eol})};
    return {last.end, last.end, Concat({eol, key, "=", value})};
  }
  if (bytes_.empty()) return {0, 0, Concat({"[", section, "]", eol, key, "=", value, eol})};
  const bool endsWithLineEnd = bytes_.back() == '\n' || bytes_.back() == '\r';
  if (endsWithLineEnd) return {end, end, Concat({"[", section, "]", eol, key, "=", value, eol})};
  return {end, end, Concat({eol, "[", section, "]", eol, key, "=", value})};
}

ProfileEdit ProfileDocument::KeyRemoval(std::string_view section, std::string_view key) const {
  const SectionSpan span = FindSection(section, key);
  if (!span.key) return {};
  return {span.key->begin, span.key->end, std::string()};
}

ProfileEdit ProfileDocument::SectionRemoval(std::string_view section) const {
  const SectionSpan span = FindSection(section, {});
  if (!span.header) return {};
  return {span.header->begin, span.last.end, std::string()};
}

std::string ProfileEdit::ApplyTo(std::string_view bytes) const {
  return Concat({Before(bytes), insertion, After(bytes)});
}

}  // namespace platform::posix
