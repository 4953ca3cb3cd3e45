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

using BOOL = std::int32_t;
using UINT = std::uint32_t;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
struct HWND__;
using HWND = HWND__*;
