// Answers the modal windows that the GUI thread under test opens -- message
// boxes, the common file dialogs, the folder browser -- from a thread of its
// own, as a person would: it types the file name, picks the folder, presses
// the button. Windows it was not told about are recorded and dismissed, so a
// test fails instead of hanging.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

enum class ModalKind { MessageBox, FileDialog, FolderBrowser, Unexpected };

struct ModalAnswer {
    ModalKind kind;
    std::string text;                 // file name typed, or folder chosen
    bool cancel;                      // press Cancel instead
    std::function<void()> whileOpen;  // runs on the driver's thread first
    int button;                       // a message box's button other than OK (IDNO, IDYES)

    ModalAnswer(ModalKind kind, std::string text = "", bool cancel = false, std::function<void()> whileOpen = nullptr,
                int button = 0)
        : kind(kind), text(std::move(text)), cancel(cancel), whileOpen(std::move(whileOpen)), button(button)
    {}
};

struct SeenModal {
    ModalKind kind;
    std::string text;  // a message box's text, a dialog's caption
    HWND owner;
};

class ModalDriver {
public:
    // Watches the windows of the calling thread.
    explicit ModalDriver(std::vector<ModalAnswer> answers);
    ~ModalDriver();
    // Stops watching; what was seen, in order.
    std::vector<SeenModal> Finish();

private:
    static DWORD WINAPI Run(void* self);
    void Answer(HWND window, ModalKind kind);

    DWORD guiThread_;
    std::vector<ModalAnswer> answers_;
    size_t next_ = 0;
    std::vector<SeenModal> seen_;
    std::vector<HWND> handled_;
    // Message boxes answered No, with the dialog that owns them: once a box
    // is gone its dialog may be answered again (a file dialog stays open
    // after its overwrite question is answered No).
    std::vector<std::pair<HWND, HWND>> answeredBoxes_;
    HANDLE stop_;
    HANDLE thread_;
};

// Message box text as the helper sees it ("\n" between lines).
std::string MessageText(const std::vector<SeenModal>& seen, size_t index);
