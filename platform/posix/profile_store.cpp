#include "platform/posix/profile_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/profile_document.h"

namespace platform::posix {
namespace {

// A profile saved as UTF-16 (it starts with a byte-order mark) holds no
// ANSI lines: it reads as empty, and writing ANSI lines into it would ruin it.
bool IsUtf16(std::string_view bytes) {
  return bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') ||
                               (bytes[0] == '\xFE' && bytes[1] == '\xFF'));
}

// Fills a caller's buffer by the rules of GetProfileStringA.
class ReturnBuffer {
 public:
  ReturnBuffer(char* buffer, std::uint32_t size) : buffer_(buffer), size_(size) {}

  // One string, cut to size - 1 bytes when it does not fit.
  std::uint32_t PutString(std::string_view text) {
    const std::size_t length = std::min<std::size_t>(text.size(), size_ - 1);
    std::memcpy(buffer_, text.data(), length);
    buffer_[length] = '\0';
    return static_cast<std::uint32_t>(length);
  }

  // Adds one name to a NUL-separated list. When it does not fit, it is cut
  // short, followed by two NULs, and the list is full: returns false.
  bool AddToList(std::string_view name) {
    if (full_) return false;
    // Room for the name, its NUL, and the list's final NUL.
    if (used_ + name.size() + 2 <= size_) {
      std::memcpy(buffer_ + used_, name.data(), name.size());
      used_ += name.size();
      buffer_[used_++] = '\0';
      return true;
    }
    // When only the final NUL was left, the cut name is empty and the NUL
    // before it (the previous name's) is the first of the two.
    const std::size_t room = used_ + 2 <= size_ ? size_ - used_ - 2 : 0;
    std::memcpy(buffer_ + used_, name.data(), room);
    buffer_[size_ - 2] = '\0';
    buffer_[size_ - 1] = '\0';
    used_ = size_ - 2;
    full_ = true;
    return false;
  }

  // Ends the list with its final NUL (and a second one where there is room,
  // so that an empty list reads as one too). Returns the count without the
  // final NUL.
  std::uint32_t EndList() {
    if (!full_) {
      buffer_[used_] = '\0';
      if (used_ == 0 && size_ >= 2) buffer_[1] = '\0';
    }
    return static_cast<std::uint32_t>(used_);
  }

 private:
  char* buffer_;
  std::size_t size_;  // at least 2 for lists, at least 1 for strings
  std::size_t used_ = 0;
  bool full_ = false;
};

}  // namespace

std::int32_t ProfileStore::Write(const char* section, const char* key, const char* value,
                                 Status* status) {
  Status ignored;
  Status& outcome = status != nullptr ? *status : ignored;
  outcome = Status();
  const auto refuse = [&](const char* what) {
    outcome = Status::Failure(EINVAL, what);
    return 0;
  };
  if (section == nullptr) {
    return key == nullptr && value == nullptr ? 1 : refuse("store a key without a section");
  }
  const std::string_view sectionName = TrimBlanks(section);
  if (!IsStorableSection(sectionName, page_)) return refuse("store that section name");
  std::string_view keyName;
  if (key != nullptr) {
    keyName = TrimBlanks(key);
    if (!IsStorableKey(keyName)) return refuse("store that key name");
  }
  if (value != nullptr && !IsStorableValue(value)) return refuse("store a value with a line break");

  const ProfileFile::UpdateResult result =
      file_.Update([&](std::string_view current) -> std::optional<ProfileEdit> {
        if (IsUtf16(current)) return std::nullopt;
        const ProfileDocument document(current, page_);
        if (key == nullptr) return document.SectionRemoval(sectionName);
        if (value == nullptr) return document.KeyRemoval(sectionName, keyName);
        return document.ValueEdit(sectionName, keyName, value);
      });
  outcome = result.status;
  if (outcome.code() == EINVAL && outcome.step() == "edit") {
    outcome = Status::Failure(EINVAL, "write a profile saved as UTF-16");
  }
  return result.status.ok() || result.applied ? 1 : 0;
}

std::uint32_t ProfileStore::Get(const char* section, const char* key, const char* fallback,
                                char* buffer, std::uint32_t size, Status* status) const {
  if (status != nullptr) *status = Status();
  if (buffer == nullptr || size == 0) return 0;
  FileBytes file;
  std::string_view bytes;
  if (Status read = file_.Read(&file); read.ok()) {
    bytes = file.view();
  } else if (status != nullptr) {
    *status = read;
  }
  if (IsUtf16(bytes)) bytes = {};
  const ProfileDocument document(bytes, page_);

  if (section == nullptr || key == nullptr) {
    if (size < 2) {
      buffer[0] = '\0';
      return 0;
    }
    ReturnBuffer list(buffer, size);
    // A name holding a NUL byte could not be told from two names: skipped.
    const auto add = [&](std::string_view name) {
      return name.find('\0') != std::string_view::npos || list.AddToList(name);
    };
    if (section == nullptr) {
      document.VisitSectionNames(add);
    } else {
      document.VisitKeyNames(TrimBlanks(section), add);
    }
    return list.EndList();
  }

  ReturnBuffer result(buffer, size);
  if (const auto value = document.Value(TrimBlanks(section), TrimBlanks(key))) {
    // A value holding a NUL byte reads, as a C string would, up to it.
    return result.PutString(value->substr(0, value->find('\0')));
  }
  std::string_view defaultValue = fallback != nullptr ? fallback : "";
  while (!defaultValue.empty() && (defaultValue.back() == ' ' || defaultValue.back() == '\t')) {
    defaultValue.remove_suffix(1);
  }
  return result.PutString(defaultValue);
}

}  // namespace platform::posix
