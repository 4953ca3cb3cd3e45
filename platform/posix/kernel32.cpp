// kernel32's profile calls on Linux, on the per-user profile file.

#include "platform/kernel32.h"

#include <cerrno>

#include "platform/posix/file_system.h"
#include "platform/posix/profile_path.h"
#include "platform/posix/profile_store.h"

namespace platform::posix {
namespace {

thread_local Status lastStatus;

}  // namespace

const Status& LastProfileStatus() { return lastStatus; }

}  // namespace platform::posix

using platform::posix::DefaultFileSystem;
using platform::posix::ProfileFile;
using platform::posix::ProfilePath;
using platform::posix::ProfileStore;
using platform::posix::lastStatus;

extern "C" BOOL WriteProfileStringA(const char* lpAppName, const char* lpKeyName,
                                    const char* lpString) {
  ProfileFile file(ProfilePath(), DefaultFileSystem());
  const BOOL result = ProfileStore(file, platform::SystemCodePage())
                          .Write(lpAppName, lpKeyName, lpString, &lastStatus);
  if (!lastStatus.ok()) errno = lastStatus.code();
  return result;
}

extern "C" DWORD GetProfileStringA(const char* lpAppName, const char* lpKeyName,
                                   const char* lpDefault, char* lpReturnedString, DWORD nSize) {
  ProfileFile file(ProfilePath(), DefaultFileSystem());
  const DWORD count =
      ProfileStore(file, platform::SystemCodePage())
          .Get(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize, &lastStatus);
  if (!lastStatus.ok()) errno = lastStatus.code();
  return count;
}
