#pragma once
// The profile calls of kernel32, through their ANSI entry points.

#include <cstdint>

#include "platform/ansi.h"
#include "platform/text.h"
#include "platform/winapi.h"

extern "C" {

// Sets key `lpKeyName` of section `lpAppName` in the user profile to
// `lpString`, creating the section or key as needed and replacing any
// earlier value; other keys are not touched. A null `lpString` removes the
// key, a null `lpKeyName` removes the whole section. Returns nonzero on
// success and 0 on failure, in which case the profile is as it was.
DEFPRINTER_IMPORT BOOL DEFPRINTER_WINAPI WriteProfileStringA(const char* lpAppName,
                                                             const char* lpKeyName,
                                                             const char* lpString);

// Reads from the user profile into `lpReturnedString`, which holds `nSize`
// bytes, and returns the number of bytes written before the final NUL.
//  - For a key: its value, or `lpDefault` (trailing blanks removed) when the
//    section or key is absent. A value that does not fit is cut to
//    nSize - 1 bytes and NUL-terminated; the call then returns nSize - 1.
//  - For a null `lpKeyName`: the key list of the section, each name followed
//    by a NUL and one more NUL after the last; the count leaves out that
//    last NUL. When the names do not fit, the last one is cut short and
//    followed by two NULs, and the call returns nSize - 2. An absent or
//    empty section gives an empty list and 0.
//  - For a null `lpAppName`: the list of section names, by the same rules.
DEFPRINTER_IMPORT DWORD DEFPRINTER_WINAPI GetProfileStringA(const char* lpAppName,
                                                            const char* lpKeyName,
                                                            const char* lpDefault,
                                                            char* lpReturnedString, DWORD nSize);

}  // extern "C"

namespace platform {

// The same calls for callers that hold Text: each argument is converted to
// the system ANSI code page for the call, or passed as a null pointer.
BOOL WriteProfileStringA(const AnsiArg& lpAppName, const AnsiArg& lpKeyName,
                         const AnsiArg& lpString);

// `lpReturnedString` goes to the call as an ANSI copy and comes back
// converted to UTF-16 over the copy's whole length, NULs and all. The call
// never writes past that copy: an `nSize` larger than the copy is cut to
// it, and a negative one reads as 0.
std::int32_t GetProfileStringA(const AnsiArg& lpAppName, const AnsiArg& lpKeyName,
                               const AnsiArg& lpDefault, Text& lpReturnedString,
                               std::int32_t nSize);

}  // namespace platform
