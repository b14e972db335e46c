// A local channel between two instances of the same program: the running one listens on a
// Unix-domain socket, a newly started one connects, hands over one block of data and leaves.
// The data carries the same fields as a WM_COPYDATA message (dwData plus bytes). The
// listener takes blocks on a thread of its own, so a sender is answered at once whatever the
// program is doing; the program collects them with Poll when it is ready for them.
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Upper bound on one handed-over block; a peer announcing more is refused.
constexpr DWORD INSTANCE_CHANNEL_MAX_DATA = 1u << 20;

struct FRAMEWORK_API CInstanceMessage {
    DWORD dwData = 0;
    std::vector<BYTE> data;
};

class FRAMEWORK_API CInstanceChannel {
public:
    CInstanceChannel() = default;
    ~CInstanceChannel();
    CInstanceChannel(const CInstanceChannel&) = delete;
    CInstanceChannel& operator=(const CInstanceChannel&) = delete;

    // Starts listening at socketPath. A stale socket left by an instance that died is
    // replaced; a live one (someone accepts connections) makes Listen fail.
    BOOL Listen(const std::string& socketPath);
    BOOL IsListening() const { return m_fd >= 0; }
    // The blocks taken since the last call, in the order they came, without blocking. A
    // block is taken only once its sender has been told so.
    std::vector<CInstanceMessage> Poll();
    void Close();

private:
    void Serve();

    int m_fd = -1;
    int m_wake[2] = {-1, -1};
    std::string m_path;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<CInstanceMessage> m_taken;
};

// What became of a block handed to AfxSendToInstance.
enum class AfxSendResult {
    delivered,    // the receiver acknowledged it: it is theirs
    noListener,   // nobody listens at the path
    notTaken,     // someone listens but did not acknowledge it (or the block is too large)
};

// Connects to an instance listening at socketPath and hands over one block.
FRAMEWORK_API AfxSendResult AfxSendToInstance(const std::string& socketPath, DWORD dwData, const void* data,
                                              DWORD cbData, int timeoutMs = 2000);
