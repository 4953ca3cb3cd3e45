#pragma once
// The user profile on Linux: what WriteProfileStringA and GetProfileStringA
// do, on one profile file, with the meaning of their arguments as the real
// calls have it.

#include <cstdint>

#include "platform/ansi.h"
#include "platform/posix/profile_file.h"

namespace platform::posix {

class ProfileStore {
 public:
  ProfileStore(ProfileFile& file, const CodePage& page) : file_(file), page_(page) {}

  // Returns 1 on success and 0 on failure; a failed call changes nothing.
  // Refused, as names and values that cannot be stored safely: a line break
  // in any argument; an empty section or key name (blanks around names are
  // not part of them); "]" in a section name; "=" in a key name, or a key
  // name that starts with "[" or ";". A null `value` removes the key, a
  // null `key` removes the section; removing what is absent succeeds. With
  // every argument null there is nothing to flush: success. A profile saved
  // as UTF-16 (it starts with a byte-order mark) is never written, and
  // reads as empty.
  // `status`, when given, receives the cause of a failure; a write whose
  // change stayed in place though a late step failed returns 1 with that
  // step in `status`.
  std::int32_t Write(const char* section, const char* key, const char* value,
                     Status* status = nullptr);

  // GetProfileStringA's contract (see platform/kernel32.h). A profile that
  // cannot be read reads as an empty one.
  std::uint32_t Get(const char* section, const char* key, const char* fallback, char* buffer,
                    std::uint32_t size, Status* status = nullptr) const;

 private:
  ProfileFile& file_;
  const CodePage& page_;
};

// The outcome of this thread's last WriteProfileStringA or
// GetProfileStringA, for a program that tells its user why a call failed.
// Those calls also set errno to its code when they fail, as the Windows
// calls set the last error.
const Status& LastProfileStatus();

}  // namespace platform::posix
