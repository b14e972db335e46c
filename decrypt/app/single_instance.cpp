#include "decrypt/app/single_instance.h"

#include "decrypt/core/decrypt_driver.h"
#include "framework/system.h"
#include "framework/ui/front_end.h"

#include <cstring>
#include <string>
#include <vector>

CString GetInstanceSocketPath()
{
    CString folder;
    try {
        folder = AfxGetRuntimeFolder();
    } catch (CException* e) {
        e->Delete();
        return CString();
    }
    if (folder.IsEmpty())
        return folder;
    return folder + "/unsealer.sock";
}

std::string HandOverBlock(const CStringArray& files, const char* folder)
{
    std::string base = folder ? folder : "";
    if (!base.empty() && base.back() != '/')
        base += '/';
    std::string block;
    for (int i = 0; i < files.GetSize(); ++i) {
        const CString& name = files[i];
        if (name.IsEmpty())
            continue;
        if (name[0] != '/')
            block += base;
        block.append(name.c_str(), static_cast<size_t>(name.GetLength()));
        block += '\0';
    }
    return block;
}

HandOver HandOverToRunningInstance(const CStringArray& files)
{
    CString path = GetInstanceSocketPath();
    if (path.IsEmpty())
        return HandOver::noInstance;
    std::string block;
    if (files.GetSize() > 0) {
        // Relative names mean this process's working folder, not the running one's.
        std::vector<char> folder(4096);
        DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), folder.data());
        if (n >= folder.size()) {
            folder.resize(n + 1);
            n = GetCurrentDirectoryA(static_cast<DWORD>(folder.size()), folder.data());
        }
        if (n == 0 || n >= folder.size())
            return HandOver::notTaken;
        block = HandOverBlock(files, folder.data());
    }
    // An empty block only announces the start; the receiver ignores it.
    switch (AfxSendToInstance(std::string(static_cast<const char*>(path)), HANDOVER_MAGIC, block.data(),
                              static_cast<DWORD>(block.size()))) {
    case AfxSendResult::delivered:
        return HandOver::handedOver;
    case AfxSendResult::noListener:
        return HandOver::noInstance;
    default:
        return HandOver::notTaken;
    }
}

bool ListenForOtherInstances(CInstanceChannel& channel)
{
    CString path = GetInstanceSocketPath();
    return !path.IsEmpty() && channel.Listen(std::string(static_cast<const char*>(path)));
}

bool QueueHandedOverNames(const COPYDATASTRUCT* pcds)
{
    if (pcds == nullptr || pcds->dwData != HANDOVER_MAGIC || pcds->lpData == nullptr ||
        pcds->cbData == 0)
        return false;
    // Each name ends with a zero byte; the sender's last one is not trusted: a name ends at
    // the block's end at the latest.
    const char* text = static_cast<const char*>(pcds->lpData);
    const size_t size = pcds->cbData;
    bool queued = false;
    for (size_t at = 0; at < size;) {
        const size_t length = ::strnlen(text + at, size - at);
        if (length > 0) {
            QueueFileNames(std::string(text + at, length).c_str(), 1);
            queued = true;
        }
        at += length + 1;
    }
    return queued;
}

void DeliverHandOvers(CInstanceChannel& channel, HWND hwnd)
{
    for (CInstanceMessage& msg : channel.Poll()) {
        COPYDATASTRUCT cds;
        cds.dwData = msg.dwData;
        cds.cbData = DWORD(msg.data.size());
        cds.lpData = msg.data.empty() ? nullptr : msg.data.data();
        // Every start, with files or without, brings the running window to the front.
        SetForegroundWindow(hwnd);
        SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
}
