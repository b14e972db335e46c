// A local channel between two instances of the same program: the running one listens on a
// Unix-domain socket, a newly started one connects, hands over one block of data and leaves.
// The data carries the same fields as a WM_COPYDATA message (dwData plus bytes).
#pragma once

#include "framework/framework_export.h"
#include "framework/types.h"

#include <string>
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
    // Accepts every pending hand-over without blocking and returns the complete ones.
    std::vector<CInstanceMessage> Poll();
    void Close();

private:
    int m_fd = -1;
    std::string m_path;
};

// Connects to an instance listening at socketPath and hands over one block. Returns TRUE
// only when the receiver acknowledged it; FALSE when nobody listens or it failed.
FRAMEWORK_API BOOL AfxSendToInstance(const std::string& socketPath, DWORD dwData, const void* data,
                       DWORD cbData, int timeoutMs = 2000);
