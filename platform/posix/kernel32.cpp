// kernel32's profile calls on Linux, on the per-user profile file.

#include "platform/kernel32.h"

#include "platform/posix/file_system.h"
#include "platform/posix/profile_path.h"
#include "platform/posix/profile_store.h"

using platform::posix::DefaultFileSystem;
using platform::posix::ProfileFile;
using platform::posix::ProfilePath;
using platform::posix::ProfileStore;

extern "C" BOOL WriteProfileStringA(const char* lpAppName, const char* lpKeyName,
                                    const char* lpString) {
  ProfileFile file(ProfilePath(), DefaultFileSystem());
  return ProfileStore(file, platform::SystemCodePage()).Write(lpAppName, lpKeyName, lpString);
}

extern "C" DWORD GetProfileStringA(const char* lpAppName, const char* lpKeyName,
                                   const char* lpDefault, char* lpReturnedString, DWORD nSize) {
  ProfileFile file(ProfilePath(), DefaultFileSystem());
  return ProfileStore(file, platform::SystemCodePage())
      .Get(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize);
}
