#include "framework/instance_channel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

bool MakeAddress(const std::string& path, sockaddr_un& addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.data(), path.size());
    return true;
}

// Reads or writes exactly n bytes, waiting at most timeoutMs for each step.
bool Transfer(int fd, void* buf, size_t n, bool writing, int timeoutMs)
{
    auto* p = static_cast<BYTE*>(buf);
    while (n > 0) {
        pollfd pfd{fd, static_cast<short>(writing ? POLLOUT : POLLIN), 0};
        int r = ::poll(&pfd, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        ssize_t k = writing ? ::send(fd, p, n, MSG_NOSIGNAL) : ::recv(fd, p, n, 0);
        if (k < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (k <= 0)
            return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

void PutDword(BYTE* p, DWORD v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(v >> (8 * i));
}

DWORD GetDword(const BYTE* p)
{
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}

int Connect(const std::string& path)
{
    sockaddr_un addr;
    if (!MakeAddress(path, addr))
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

CInstanceChannel::~CInstanceChannel()
{
    Close();
}

BOOL CInstanceChannel::Listen(const std::string& socketPath)
{
    Close();
    sockaddr_un addr;
    if (!MakeAddress(socketPath, addr))
        return FALSE;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return FALSE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        // Only a socket nobody answers on may be removed: it belongs to a dead instance.
        struct stat st;
        int probe = errno == EADDRINUSE ? Connect(socketPath) : -1;
        if (probe >= 0 || errno != ECONNREFUSED || ::lstat(socketPath.c_str(), &st) != 0 ||
            !S_ISSOCK(st.st_mode)) {
            if (probe >= 0)
                ::close(probe);
            ::close(fd);
            return FALSE;
        }
        ::unlink(socketPath.c_str());
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return FALSE;
        }
    }
    ::chmod(socketPath.c_str(), 0600);
    if (::listen(fd, 8) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        ::close(fd);
        ::unlink(socketPath.c_str());
        m_wake[0] = m_wake[1] = -1;
        return FALSE;
    }
    m_fd = fd;
    m_path = socketPath;
    try {
        m_thread = std::thread(&CInstanceChannel::Serve, this);
    } catch (...) {
        Close();
        return FALSE;
    }
    return TRUE;
}

void CInstanceChannel::Serve()
{
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        int r = ::poll(fds, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || fds[1].revents != 0)
            return;
        int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) {
            // Out of descriptors or the like: wait a little rather than spin on the backlog.
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
                ::poll(&fds[1], 1, 100);
            continue;
        }
        BYTE header[8];
        CInstanceMessage msg;
        bool ok = Transfer(c, header, sizeof header, false, 1000);
        DWORD cb = ok ? GetDword(header + 4) : 0;
        if (ok && cb <= INSTANCE_CHANNEL_MAX_DATA) {
            msg.dwData = GetDword(header);
            msg.data.resize(cb);
            ok = cb == 0 || Transfer(c, msg.data.data(), cb, false, 1000);
        } else {
            ok = false;
        }
        // Taken only when the sender heard so: one that gave up meanwhile keeps its block.
        BYTE ack = 1;
        if (ok && Transfer(c, &ack, 1, true, 1000)) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_taken.push_back(std::move(msg));
        }
        ::close(c);
    }
}

std::vector<CInstanceMessage> CInstanceChannel::Poll()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<CInstanceMessage> out;
    out.swap(m_taken);
    return out;
}

void CInstanceChannel::Close()
{
    if (m_thread.joinable()) {
        const BYTE stop = 1;
        while (::write(m_wake[1], &stop, 1) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    for (int& w : m_wake) {
        if (w >= 0)
            ::close(w);
        w = -1;
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
    m_fd = -1;
    m_path.clear();
}

AfxSendResult AfxSendToInstance(const std::string& socketPath, DWORD dwData, const void* data,
                                DWORD cbData, int timeoutMs)
{
    if (cbData > INSTANCE_CHANNEL_MAX_DATA || (cbData > 0 && data == nullptr))
        return AfxSendResult::notTaken;
    int fd = Connect(socketPath);
    if (fd < 0)
        return AfxSendResult::noListener;
    BYTE header[8];
    PutDword(header, dwData);
    PutDword(header + 4, cbData);
    BYTE ack = 0;
    bool ok = Transfer(fd, header, sizeof header, true, timeoutMs) &&
              (cbData == 0 || Transfer(fd, const_cast<void*>(data), cbData, true, timeoutMs)) &&
              Transfer(fd, &ack, 1, false, timeoutMs) && ack == 1;
    ::close(fd);
    return ok ? AfxSendResult::delivered : AfxSendResult::notTaken;
}
