// Fixture of the command and sheet tests: a hosted main window, the scripted
// server's address, and the texts of the messages they expect.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include <windows.h>

#include "tests/ui/window_host.h"

// Shift-JIS texts of the string table.
extern const char kInvalidUrlText[];          // 13
extern const char kSaveFailedText[];          // 25 without its file name
extern const char kOpenFailedText[];          // 26 without its file name
extern const char kExitSaveFailedText[];      // 27 without its file names
extern const char kSettingsSaveFailedText[];  // 30 without its file name
extern const char kNotAListText[];            // 31 without its file name
extern const char kListNotReadText[];         // 41 without its file name
extern const char kUrlTooLongText[];          // 42

// A server on 127.0.0.1 that accepts connections and never answers: the
// downloads it serves keep running until they are stopped.
struct SilentServer {
    uintptr_t socket;
    std::string url;  // http://127.0.0.1:<port>/run.bin
    SilentServer();
    ~SilentServer();
    // Connections that were made and then closed by the client within
    // timeoutMs (each is accepted and read to its end).
    int ClosedConnections(DWORD timeoutMs);
};

class CommandTest : public HostedWindowTest {
protected:
    void SetUp() override;
    // Closes the window with a driver that dismisses any message box left
    // (the test then fails instead of hanging).
    void TearDown() override;
    // Settings with automatic start, a limit of 2 and the host's list file
    // holding records (stored in the host folder), then the window.
    void Start(bool autoStart, const std::vector<StartRecord>& records = {});
    // A URL on the scripted server (empty and the test skipped without one).
    std::string ServerUrl(const std::string& pathAndQuery);
    // The request the scripted server recorded as <id>.<n>.
    std::string RecordedRequest(const std::string& name);
};
