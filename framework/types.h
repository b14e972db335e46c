// Basic types and constants of the platform the program was written for, with the sizes
// its stored files assume (a LONG and a DWORD are 32 bits on every platform).
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using LPCSTR = const char*;
using LPSTR = char*;
using LPCTSTR = const char*;
using LPTSTR = char*;
using LPVOID = void*;
using LPCVOID = const void*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Window handles are opaque values handed out by the framework's handle table.
struct HWND__;
using HWND = HWND__*;

constexpr WORD LOWORD(DWORD v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(DWORD v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) { return static_cast<LPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16)); }

constexpr int _MAX_PATH = 260;
