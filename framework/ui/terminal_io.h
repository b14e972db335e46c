// The terminal the program talks to: line and key input with a time limit, output, raw
// mode for key timing and passwords. The one place where the front ends touch the tty.
#pragma once

#include "framework/cstring.h"
#include "framework/framework_export.h"
#include "framework/types.h"

class FRAMEWORK_API CTerminal {
public:
    // Uses the given descriptors (standard input and output by default).
    CTerminal(int inFd = 0, int outFd = 1);
    ~CTerminal();
    CTerminal(const CTerminal&) = delete;
    CTerminal& operator=(const CTerminal&) = delete;

    // TRUE when input comes from a terminal.
    BOOL IsInteractive() const;
    int Columns() const;

    void Write(const char* text);
    void Flush();

    // Waits up to timeoutMs for input; TRUE when some is ready (or the input ended).
    BOOL WaitForInput(DWORD timeoutMs);
    // Reads one line (without the line end); FALSE when the input ended. With echo off the
    // typed characters are not shown (passwords).
    BOOL ReadLine(CString& line, BOOL echo = TRUE);
    // Raw mode: each key arrives at once, unechoed. ReadKey returns the byte, or -1 when
    // the input ended.
    void SetRaw(BOOL raw);
    int ReadKey();

private:
    int m_in;
    int m_out;
    BOOL m_raw = FALSE;
    BOOL m_saved = FALSE;
    unsigned char m_savedState[64];   // the terminal's settings before raw mode
};

// TRUE when the descriptor is a terminal.
FRAMEWORK_API BOOL AfxIsTerminal(int fd);
// Whether a graphical desktop can be reached (an X display or a Wayland compositor is named
// in the environment).
FRAMEWORK_API BOOL AfxHasDesktopDisplay();
// The value of an environment variable; empty when it is not set.
FRAMEWORK_API CString AfxGetEnvironmentString(const char* name);
