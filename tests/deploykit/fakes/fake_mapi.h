// What the stand-in MAPI library records of its wizard's last call, and how a test sets up
// the wizard's answer. The test reaches these through the library's exported functions.
#pragma once

#include "framework/types.h"

struct FakeMapiCall {
    int calls;                    // calls since the last reset
    HWND parent;
    DWORD flags;
    int serviceCount;             // names before the list's terminating null (at most 8 read)
    char services[8][64];
    DWORD bufferSize;
    char servicesKeys[1024];      // keys of [Services] in Mapisvc.inf during the call, '|' between
};

using FakeMapiResetFn = void (*)();
// The wizard's result and the profile name it writes (fillAll: as many 'x' as the buffer
// takes, without terminator).
using FakeMapiScriptFn = void (*)(LONG result, const char* profileName, int fillAll);
using FakeMapiLastCallFn = const FakeMapiCall* (*)();
