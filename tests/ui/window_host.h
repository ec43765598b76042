// A test host for the main window: its own HostCallback, a fresh folder with
// the settings file and list file the window starts from, and readers for
// the window's list control.
#pragma once

#include <gtest/gtest.h>
#include <stdint.h>

#include <string>
#include <vector>
#include <windows.h>

#include "marrowby/app/host_notice.h"
#include "tests/ui/program_support.h"

struct RecordedNotice {
    int32_t kind;
    HWND window;
    std::string path;
    // Kind 3 only: the files as they were when the notice came.
    std::string settingsFile;
    std::string listFile;
};

struct WindowHost {
    std::string folder;    // Windows path ending in a backslash
    std::string listPath;  // folder + "test.wrg"
    std::vector<RecordedNotice> notices;
    HWND window = nullptr;
    HACCEL accelerators = nullptr;
};

// One record of a list file that a test starts from.
struct StartRecord {
    std::string url;
    int32_t state;             // stored state number
    int64_t size;              // 0: unknown
    std::string realFileName;  // full path, or empty: none
};

// Records every notice; for kind 3 it also reads the settings and list file.
// Sheets are registered and unregistered as the program's callback does.
int RecordNotice(const HostNotice* notice, void* context);

// A fresh folder (named after the test, its files of an earlier run
// deleted) that holds the settings file.
void PrepareHostFolder(WindowHost* host, const char* name);
// Writes folder + "vorn.cfg": defaults, with automatic start and the limit
// given, and listPath unless it is empty; with segmentsPerItem also the
// block of later options, with that many connections per download.
void WriteSettingsFile(const std::string& folder, bool autoStart, int32_t maxSimultaneous, const std::string& listPath,
                       int32_t segmentsPerItem = 0);
// The same in the host's folder, with listPath naming the host's list file.
void WriteHostSettings(const WindowHost& host, bool autoStart, int32_t maxSimultaneous);
// Writes a list file as the program writes one, with the header
// "; Created by test" and every record stored in the folder storeIn.
void WriteStartList(const std::string& path, const std::string& storeIn, const std::vector<StartRecord>& records);
// Creates the main window with RecordNotice as its callback.
int CreateHostWindow(WindowHost* host, bool quitOnDestroy = true);
// Destroys the main window if one is left and drops a posted WM_QUIT.
void CloseHostWindow(WindowHost* host);

// Fixture of the tests that host the main window: the libraries started as
// the program entry starts them, and a fresh host folder for each test.
class HostedWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    WindowHost host_;
};

// The list control's rows.
int RowCount(HWND list);
std::string CellText(HWND list, int row, int column);
int RowImage(HWND list, int row);
