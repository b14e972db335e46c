// One instance per user: a second start hands its files to the running instance and ends.
// The running instance listens on a socket in the user's runtime folder; finding that
// socket plays the part of finding the main window, the framed block that of WM_COPYDATA.
// The block holds the file names, each made absolute in the sender's working folder and
// ended by a zero byte, so that any name arrives as it was given.
#pragma once

#include "framework/afx.h"
#include "framework/instance_channel.h"
#include "framework/window.h"

#include <string>

// "PLNT", first character in the most significant byte.
constexpr DWORD HANDOVER_MAGIC = (DWORD('P') << 24) | (DWORD('L') << 16) | (DWORD('N') << 8) | DWORD('T');

// Where the running instance listens; empty when the runtime folder is unusable.
CString GetInstanceSocketPath();

enum class HandOver {
    handedOver,   // the running instance took the names: they are its own now
    noInstance,   // none runs: this one does the work
    notTaken,     // one runs but did not take them (nothing is known to be queued there)
};

// Hands the files to a running instance; with none, only announces the start.
HandOver HandOverToRunningInstance(const CStringArray& files);

// The block for the files: each name absolute (a relative one is taken in `folder`) and
// followed by a zero byte.
std::string HandOverBlock(const CStringArray& files, const char* folder);

// Starts listening for later instances; false when that is impossible (another instance
// listens already, or no runtime folder), in which case the program still runs alone.
bool ListenForOtherInstances(CInstanceChannel& channel);

// Validates one copy-data record and queues its file names, each as one name. Returns true
// when names were queued, so that the caller starts its decrypt timer.
bool QueueHandedOverNames(const COPYDATASTRUCT* pcds);

// Delivers every pending hand-over to hwnd as WM_COPYDATA, as the sending instance would.
void DeliverHandOvers(CInstanceChannel& channel, HWND hwnd);
