#include "tests/ui/window_host.h"

#include <stdio.h>

#include <memory>
#include <winsock2.h>
#include <commctrl.h>
#include <ole2.h>

#include "marrowby/app/list_format.h"
#include "marrowby/app/main_window.h"
#include "marrowby/app/settings.h"
#include "marrowby/app/settings_format.h"
#include "marrowby/dialogs/sheet_registry.h"

namespace {

int AppendBytes(void* context, const uint8_t* data, size_t length)
{
    static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(data), length);
    return 0;
}

}  // namespace

int RecordNotice(const HostNotice* notice, void* context)
{
    auto* host = static_cast<WindowHost*>(context);
    RecordedNotice record = {notice->kind, notice->window, notice->path ? notice->path : "", "", ""};
    if (notice->kind == kNoticeMainWindowDestroyed) {
        record.settingsFile = ReadWholeFile(host->folder + "vorn.cfg");
        record.listFile = ReadWholeFile(host->listPath);
    }
    host->notices.push_back(record);
    return OnHostNotice(notice, nullptr);  // the sheets register as in the program
}

void PrepareHostFolder(WindowHost* host, const char* name)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    char folder[MAX_PATH];
    snprintf(folder, sizeof(folder), "%smarrowby-ui-%lu-%s\\", temp, GetCurrentProcessId(), name);
    CreateDirectoryA(folder, nullptr);
    // Every file of an earlier run goes.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((std::string(folder) + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((std::string(folder) + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    host->folder = folder;
    host->listPath = host->folder + "test.wrg";
    SetSettingsFolder(folder);
}

void WriteSettingsFile(const std::string& folder, bool autoStart, int32_t maxSimultaneous, const std::string& listPath,
                       int32_t segmentsPerItem)
{
    ProgramSettings settings;
    SetDefaultSettings(&settings, folder.c_str());
    settings.autoStart = autoStart ? 1 : 0;
    settings.maxSimultaneous = maxSimultaneous;
    if (!listPath.empty()) snprintf(settings.listPath, sizeof(settings.listPath), "%s", listPath.c_str());
    uint8_t bytes[kSettingsSize];
    EncodeSettings(settings, bytes);
    std::string file(reinterpret_cast<char*>(bytes), kSettingsSize);
    if (segmentsPerItem > 0) {
        ExtraSettings extra;
        SetDefaultExtraSettings(&extra);
        extra.segmentsPerItem = segmentsPerItem;
        std::string block(kSettingsBlockMaxSize, '\0');
        block.resize(EncodeSettingsBlock(extra, reinterpret_cast<uint8_t*>(&block[0])));
        file += block;
    }
    WriteWholeFile(folder + "vorn.cfg", file);
}

void WriteHostSettings(const WindowHost& host, bool autoStart, int32_t maxSimultaneous)
{
    WriteSettingsFile(host.folder, autoStart, maxSimultaneous, host.listPath);
}

void WriteStartList(const std::string& path, const std::string& storeIn, const std::vector<StartRecord>& records)
{
    std::string text;
    auto writer = std::make_unique<ListWriter>();  // too big for the stack
    InitListWriter(writer.get(), AppendBytes, &text);
    WriteListHeader(writer.get(), "test");
    for (const StartRecord& r : records) {
        ListRecordOut out = {
            "", storeIn.c_str(), r.size, r.state, "", r.realFileName.c_str(), r.url.c_str(), nullptr, "", 0, nullptr};
        WriteListRecord(writer.get(), out);
    }
    FlushListWriter(writer.get());
    WriteWholeFile(path, text);
}

int CreateHostWindow(WindowHost* host, bool quitOnDestroy)
{
    return CreateMainWindow(nullptr, GetModuleHandleA(nullptr), &host->window, &host->accelerators, quitOnDestroy,
                            RecordNotice, host);
}

void CloseHostWindow(WindowHost* host)
{
    if (MainWindow()) DestroyWindow(MainWindow());
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
    SetSettingsFolder(nullptr);
    host->window = nullptr;
}

void HostedWindowTest::SetUpTestSuite()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 0), &data);
    OleInitialize(nullptr);
    InitCommonControls();
}

void HostedWindowTest::TearDownTestSuite()
{
    OleUninitialize();
    WSACleanup();
}

void HostedWindowTest::SetUp()
{
    PrepareHostFolder(&host_, ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

void HostedWindowTest::TearDown()
{
    CloseHostWindow(&host_);
}

int RowCount(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string CellText(HWND list, int row, int column)
{
    char text[1200] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof(text);
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

int RowImage(HWND list, int row)
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return item.iImage;
}
