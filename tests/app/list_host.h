// A hidden window with a report-view list control that hosts the download
// list in tests, plus helpers to read the rows and to pump messages.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>
#include <gtest/gtest.h>
#include <windows.h>

#include "marrowby/app/download_list.h"

struct ListHost {
    HWND window = nullptr;
    HWND list = nullptr;
    std::vector<std::string> completedPaths;  // paths of the completion notices
    std::vector<HWND> noticeWindows;
};

extern ListHost g_host;

// Creates the window and its owner-data list control (every column) and binds the list.
bool OpenListHost();
// Clears the list, unbinds it and destroys the window.
void CloseListHost();

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
void PumpFor(DWORD ms);

int RowCount();
std::string CellText(int row, int column);
int RowImage(int row);
void SelectOnly(const std::vector<int>& rows);

// Items in chain order; checks the chain links and the rows agree.
std::vector<DownloadItem*> ChainItems();
// Fails (gtest) unless chain, rows and counter agree.
void ExpectListConsistent();

// A fresh, empty folder for one test (Windows path ending in a backslash).
std::string FreshFolder(const char* name);
// FreshFolder named after the running test.
std::string FreshTestFolder();
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// Fixture: default settings with no download allowed to start, and the list
// bound to an open host window for the whole test.
class ListHostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { CloseListHost(); }
};
