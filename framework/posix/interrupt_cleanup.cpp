// Interruptions of a run that is building a folder: the folder goes before the program does.
#include "framework/fsutil.h"

#include <csignal>
#include <cstdio>
#include <mutex>
#include <pthread.h>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::mutex g_lock;
std::set<std::string> g_folders;

sigset_t InterruptSignals()
{
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, SIGINT);
    ::sigaddset(&set, SIGTERM);
    ::sigaddset(&set, SIGHUP);
    return set;
}

[[noreturn]] void Watch(sigset_t set)
{
    int signal = 0;
    while (::sigwait(&set, &signal) != 0) {
    }
    // The lock stays taken until the end: a folder registered from now on waits for it.
    g_lock.lock();
    for (std::string folder : g_folders) {
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        // The run goes on meanwhile and may give the folder its final name: the folder is
        // first moved aside in one step (when that fails the run has finished it), then
        // removed, again and again while the run still adds files.
        const std::string doomed = folder + ".interrupted";
        if (!folder.empty() && ::rename(folder.c_str(), doomed.c_str()) == 0)
            for (int attempt = 0; attempt < 8; ++attempt)
                if (AfxDeleteFolderTree(doomed.c_str()))
                    break;
    }
    // Ends the program as the signal would have: its default action, now unblocked here.
    ::signal(signal, SIG_DFL);
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

}  // namespace

void AfxInstallInterruptCleanup()
{
    static std::once_flag once;
    std::call_once(once, [] {
        ::signal(SIGXFSZ, SIG_IGN);
        sigset_t set = InterruptSignals();
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::thread(Watch, set).detach();
    });
}

void AfxAddInterruptCleanupFolder(const char* folder)
{
    if (!folder || !*folder)
        return;
    std::lock_guard<std::mutex> hold(g_lock);
    g_folders.insert(folder);
}

void AfxRemoveInterruptCleanupFolder(const char* folder)
{
    if (!folder)
        return;
    std::lock_guard<std::mutex> hold(g_lock);
    g_folders.erase(folder);
}
