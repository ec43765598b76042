// Helpers shared by the window tests: message pumping and a window that
// records what is sent to it.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

// Dispatches every queued message of this thread (no filtering).
void PumpPending();

// Pumps until done() is true or timeoutMs pass; returns done().
template <typename Done>
bool PumpUntil(Done done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    std::string text;  // lParam read as text
};

// A hidden top-level window that records each message in [first, last].
struct RecordingWindow {
    HWND window = nullptr;
    std::vector<RecordedMessage> received;
};

bool OpenRecordingWindow(RecordingWindow* recorder, UINT first, UINT last);
void CloseRecordingWindow(RecordingWindow* recorder);
