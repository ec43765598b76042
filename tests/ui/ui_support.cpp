#include "tests/ui/ui_support.h"

namespace {

const char kRecorderClass[] = "MarrowbyTestRecorder";

struct RecorderState {
    RecordingWindow* recorder;
    UINT first;
    UINT last;
};

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<RecorderState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_NCDESTROY && state) {
        delete state;
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    } else if (state && message >= state->first && message <= state->last) {
        const char* text = reinterpret_cast<const char*>(lParam);
        state->recorder->received.push_back({message, wParam, text ? text : ""});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void PumpPending()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool OpenRecordingWindow(RecordingWindow* recorder, UINT first, UINT last)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecorderProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kRecorderClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    auto* state = new RecorderState{recorder, first, last};
    recorder->window = CreateWindowExA(0, kRecorderClass, "recorder", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                       nullptr, wc.hInstance, state);
    if (!recorder->window) delete state;
    return recorder->window != nullptr;
}

void CloseRecordingWindow(RecordingWindow* recorder)
{
    if (recorder->window) DestroyWindow(recorder->window);
    recorder->window = nullptr;
}
