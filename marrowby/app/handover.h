// One running program per program folder: a second start hands its command
// line (addresses, URL lists) to the running one through WM_COPYDATA and
// ends. The first start holds a named mutex and marks its main window so
// the second finds it. GUI thread only.
#pragma once

#include <stdint.h>

#include <vector>
#include <windows.h>

// Posted to itself by the main window for each accepted hand-over, which is
// applied after the sender has been answered.
constexpr UINT WM_HANDOVER_PENDING = WM_APP + 151;

// This process's command line as a payload, URL-list paths made whole.
void CommandLinePayload(std::vector<uint8_t>* payload);

// Returns 0 when this process is the folder's first and goes on to start
// (it holds the instance until ReleaseProgramInstance), 1 when the running
// program took the payload, 2 when it could not be reached or refused it.
int ClaimInstanceOrHandOver(const std::vector<uint8_t>& payload);
// Marks the first process's main window as the receiver of hand-overs.
void MarkHandoverWindow(HWND mainWindow);
void ReleaseProgramInstance();

// WM_COPYDATA: keeps a copy of a payload that passes every check and posts
// WM_HANDOVER_PENDING. Returns TRUE when it was taken.
LRESULT ReceiveHandover(HWND window, const COPYDATASTRUCT* data);
// WM_HANDOVER_PENDING: applies the payloads taken so far.
void ApplyPendingHandovers(HWND window);
// Adds a checked payload's addresses and imports its URL lists, runs a
// scheduling pass when automatic start is on, and brings the window to the
// front. Returns the number of downloads added.
int ApplyHandover(HWND window, const uint8_t* data, size_t size);
// Forgets payloads not yet applied (the window is going).
void DropPendingHandovers();
