// One instance per user: a second start hands its command line to the running instance and
// ends. The running instance listens on a socket in the user's runtime folder; finding that
// socket plays the part of finding the main window, the framed block that of WM_COPYDATA.
#pragma once

#include "framework/afx.h"
#include "framework/instance_channel.h"
#include "framework/window.h"

// "PLNT", first character in the most significant byte.
constexpr DWORD HANDOVER_MAGIC = (DWORD('P') << 24) | (DWORD('L') << 16) | (DWORD('N') << 8) | DWORD('T');

// Where the running instance listens; empty when the runtime folder is unusable.
CString GetInstanceSocketPath();

// Returns true if another instance is running and took over; the command line (trimmed)
// is handed to it when not empty.
bool HandOverToRunningInstance(const char* commandLine);

// Starts listening for later instances; false when that is impossible (another instance
// listens already, or no runtime folder), in which case the program still runs alone.
bool ListenForOtherInstances(CInstanceChannel& channel);

// Validates one copy-data record and queues its file names. Returns true when names were
// queued, so that the caller starts its decrypt timer.
bool QueueHandedOverNames(const COPYDATASTRUCT* pcds);

// Delivers every pending hand-over to hwnd as WM_COPYDATA, as the sending instance would.
void DeliverHandOvers(CInstanceChannel& channel, HWND hwnd);
