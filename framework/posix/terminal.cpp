#include "framework/ui/terminal_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

static_assert(sizeof(termios) <= 64, "terminal settings do not fit the saved state");

BOOL AfxIsTerminal(int fd) { return ::isatty(fd) ? TRUE : FALSE; }

CString AfxGetEnvironmentString(const char* name)
{
    const char* value = name ? std::getenv(name) : nullptr;
    return value ? CString(value) : CString();
}

BOOL AfxHasDesktopDisplay()
{
    return !AfxGetEnvironmentString("DISPLAY").IsEmpty() || !AfxGetEnvironmentString("WAYLAND_DISPLAY").IsEmpty();
}

CTerminal::CTerminal(int inFd, int outFd) : m_in(inFd), m_out(outFd) { std::memset(m_savedState, 0, sizeof m_savedState); }

CTerminal::~CTerminal() { SetRaw(FALSE); }

BOOL CTerminal::IsInteractive() const { return AfxIsTerminal(m_in); }

int CTerminal::Columns() const
{
    winsize ws {};
    if (::ioctl(m_out, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 10)
        return ws.ws_col;
    return 80;
}

void CTerminal::Write(const char* text)
{
    size_t len = std::strlen(text);
    while (len) {
        ssize_t n = ::write(m_out, text, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        text += n;
        len -= static_cast<size_t>(n);
    }
}

void CTerminal::Flush() {}

BOOL CTerminal::WaitForInput(DWORD timeoutMs)
{
    pollfd p {m_in, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs));
    return r > 0 ? TRUE : FALSE;
}

BOOL CTerminal::ReadLine(CString& line, BOOL echo)
{
    termios saved {};
    bool restore = false;
    if (!echo && ::isatty(m_in) && ::tcgetattr(m_in, &saved) == 0) {
        termios t = saved;
        t.c_lflag &= static_cast<tcflag_t>(~ECHO);
        restore = ::tcsetattr(m_in, TCSANOW, &t) == 0;
    }
    std::string s;
    bool any = false;
    for (;;) {
        char c;
        ssize_t n = ::read(m_in, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        any = true;
        if (c == '\n')
            break;
        s += c;
    }
    if (restore) {
        ::tcsetattr(m_in, TCSANOW, &saved);
        Write("\n");
    }
    if (!s.empty() && s.back() == '\r')
        s.pop_back();
    line = CString(std::move(s));
    // Don't keep a typed password in this function's copy.
    std::fill(s.begin(), s.end(), '\0');
    return any ? TRUE : FALSE;
}

void CTerminal::SetRaw(BOOL raw)
{
    if (!::isatty(m_in) || raw == m_raw)
        return;
    if (raw) {
        termios t {};
        if (::tcgetattr(m_in, &t) != 0)
            return;
        std::memcpy(m_savedState, &t, sizeof t);
        m_saved = TRUE;
        t.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG));
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
        if (::tcsetattr(m_in, TCSANOW, &t) == 0)
            m_raw = TRUE;
    } else if (m_saved) {
        termios t {};
        std::memcpy(&t, m_savedState, sizeof t);
        ::tcsetattr(m_in, TCSANOW, &t);
        m_raw = FALSE;
    }
}

int CTerminal::ReadKey()
{
    for (;;) {
        unsigned char c;
        ssize_t n = ::read(m_in, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        return n == 1 ? c : -1;
    }
}
