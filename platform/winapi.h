#pragma once
// The few Windows types and calling conventions the bindings use, declared
// from their documented meaning; on Linux the posix backend provides the
// same entry points.

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define DEFPRINTER_WINAPI __attribute__((stdcall))
#else
#define DEFPRINTER_WINAPI
#endif

#if defined(_WIN32)
#define DEFPRINTER_IMPORT __declspec(dllimport)
#else
#define DEFPRINTER_IMPORT
#endif

// The same types the Windows ABI gives these names, so that the entry
// points declared here link against kernel32 and user32 as they are.
using BOOL = int;
using UINT = unsigned int;
#if defined(_WIN32)
using DWORD = unsigned long;  // 32 bits on Windows
#if defined(_WIN64)
using WPARAM = unsigned long long;
using LPARAM = long long;
using LRESULT = long long;
#else
using WPARAM = unsigned int;
using LPARAM = long;
using LRESULT = long;
#endif
#else
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
#endif
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;

static_assert(sizeof(DWORD) == 4 && sizeof(UINT) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(WPARAM) == sizeof(void*) && sizeof(LPARAM) == sizeof(void*));
