#include "tests/ui/modal_driver.h"

#include <algorithm>
#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

namespace {

struct Candidates {
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM lParam)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof(name));
    if (strcmp(name, "#32770") == 0 && IsWindowVisible(window))
        reinterpret_cast<Candidates*>(lParam)->windows.push_back(window);
    return TRUE;
}

ModalKind KindOf(HWND window)
{
    if (FindWindowExA(window, nullptr, "SysTabControl32", nullptr))
        return ModalKind::Unexpected;  // a property sheet: not modal, left alone
    if (FindWindowExA(window, nullptr, "SysTreeView32", nullptr)) return ModalKind::FolderBrowser;
    if (GetDlgItem(window, cmb13) || GetDlgItem(window, edt1)) return ModalKind::FileDialog;
    return ModalKind::MessageBox;
}

// The longest static text: the message, not the icon.
std::string BoxText(HWND box)
{
    std::string text;
    for (HWND child = FindWindowExA(box, nullptr, "Static", nullptr); child;
         child = FindWindowExA(box, child, "Static", nullptr)) {
        char buffer[2048] = "";
        GetWindowTextA(child, buffer, sizeof(buffer));
        if (strlen(buffer) > text.size()) text = buffer;
    }
    return text;
}

std::string SelectedTreeText(HWND tree)
{
    char text[MAX_PATH] = "";
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = TreeView_GetSelection(tree);
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    if (item.hItem) SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

// The browser fills its tree after it shows: the folder is selected again
// until the tree shows it.
void SelectFolder(HWND browser, const std::string& folder)
{
    HWND tree = FindWindowExA(browser, nullptr, "SysTreeView32", nullptr);
    std::string name = folder.substr(folder.find_last_of('\\') + 1);
    for (int attempt = 0; attempt < 40; ++attempt) {
        SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
        if (_stricmp(SelectedTreeText(tree).c_str(), name.c_str()) == 0) return;
        Sleep(50);
    }
}

void Press(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

ModalDriver::ModalDriver(std::vector<ModalAnswer> answers)
    : guiThread_(GetCurrentThreadId()), answers_(std::move(answers))
{
    stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

ModalDriver::~ModalDriver()
{
    Finish();
    CloseHandle(stop_);
}

std::vector<SeenModal> ModalDriver::Finish()
{
    if (thread_) {
        SetEvent(stop_);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return seen_;
}

DWORD WINAPI ModalDriver::Run(void* parameter)
{
    auto* self = static_cast<ModalDriver*>(parameter);
    while (WaitForSingleObject(self->stop_, 30) == WAIT_TIMEOUT) {
        for (size_t i = 0; i < self->answeredBoxes_.size();) {
            auto& answered = self->answeredBoxes_[i];
            if (IsWindow(answered.first)) {
                ++i;
                continue;
            }
            auto& handled = self->handled_;
            handled.erase(std::remove(handled.begin(), handled.end(), answered.second), handled.end());
            self->answeredBoxes_.erase(self->answeredBoxes_.begin() + static_cast<ptrdiff_t>(i));
        }
        Candidates found;
        EnumThreadWindows(self->guiThread_, CollectDialog, reinterpret_cast<LPARAM>(&found));
        for (HWND window : found.windows) {
            if (std::find(self->handled_.begin(), self->handled_.end(), window) != self->handled_.end()) continue;
            ModalKind kind = KindOf(window);
            self->handled_.push_back(window);
            if (kind != ModalKind::Unexpected) self->Answer(window, kind);
        }
    }
    return 0;
}

void ModalDriver::Answer(HWND window, ModalKind kind)
{
    char caption[256] = "";
    GetWindowTextA(window, caption, sizeof(caption));
    bool expected = next_ < answers_.size() && answers_[next_].kind == kind;
    seen_.push_back({expected ? kind : ModalKind::Unexpected, kind == ModalKind::MessageBox ? BoxText(window) : caption,
                     GetWindow(window, GW_OWNER)});
    if (!expected) {
        Press(window, kind == ModalKind::MessageBox ? IDOK : IDCANCEL);
        return;
    }
    const ModalAnswer& answer = answers_[next_++];
    if (answer.whileOpen) answer.whileOpen();
    // Answered No, a question leaves its dialog open for the next answer.
    if (kind == ModalKind::MessageBox && answer.button == IDNO)
        answeredBoxes_.push_back({window, GetWindow(window, GW_OWNER)});
    if (answer.cancel || kind == ModalKind::MessageBox) {
        Press(window, answer.cancel ? IDCANCEL : answer.button != 0 ? answer.button : IDOK);
        return;
    }
    if (kind == ModalKind::FileDialog) {
        HWND name = GetDlgItem(window, cmb13) ? GetDlgItem(window, cmb13) : GetDlgItem(window, edt1);
        SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer.text.c_str()));
    } else {
        SelectFolder(window, answer.text);
    }
    Press(window, IDOK);
}

std::string MessageText(const std::vector<SeenModal>& seen, size_t index)
{
    if (index >= seen.size() || seen[index].kind != ModalKind::MessageBox) return "(no message box)";
    std::string text = seen[index].text;
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}
