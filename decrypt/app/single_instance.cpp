#include "decrypt/app/single_instance.h"

#include "decrypt/core/decrypt_driver.h"
#include "framework/system.h"

#include <cstring>
#include <string>

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

bool HandOverToRunningInstance(const char* commandLine)
{
    CString path = GetInstanceSocketPath();
    if (path.IsEmpty())
        return false;
    CString line(commandLine ? commandLine : "");
    line.TrimLeft();
    line.TrimRight();
    // An empty block only announces the start; the receiver ignores it.
    DWORD cb = line.IsEmpty() ? 0 : DWORD(line.GetLength() + 1);
    return AfxSendToInstance(std::string(static_cast<const char*>(path)), HANDOVER_MAGIC,
                             cb ? static_cast<const char*>(line) : nullptr, cb) != FALSE;
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
    // The sender's terminator is not trusted: the text ends at the block's end at the latest.
    const char* text = static_cast<const char*>(pcds->lpData);
    std::string names(text, ::strnlen(text, pcds->cbData));
    QueueFileNames(names.c_str(), 0);
    return true;
}

void DeliverHandOvers(CInstanceChannel& channel, HWND hwnd)
{
    for (CInstanceMessage& msg : channel.Poll()) {
        COPYDATASTRUCT cds;
        cds.dwData = msg.dwData;
        cds.cbData = DWORD(msg.data.size());
        cds.lpData = msg.data.empty() ? nullptr : msg.data.data();
        SendMessageA(hwnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    }
}
