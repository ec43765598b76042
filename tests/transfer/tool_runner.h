// Runs tessaline-get as a child process and collects its output lines and
// exit code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/testenv.h"

struct ToolResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<std::string> lines;

    bool Has(const std::string& line) const
    {
        for (const std::string& l : lines)
            if (l == line) return true;
        return false;
    }
    int CountStartingWith(const std::string& prefix) const
    {
        int n = 0;
        for (const std::string& l : lines)
            if (l.compare(0, prefix.size(), prefix) == 0) n++;
        return n;
    }
    std::string Last() const { return lines.empty() ? std::string() : lines.back(); }
};

inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

inline std::string ToolPath()
{
    std::string path = BinPath("tessaline-get.exe");
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Runs tessaline-get with the arguments and collects its standard output.
inline ToolResult RunTool(const std::string& arguments)
{
    ToolResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + ToolPath() + "\" " + arguments;
    BOOL created =
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        return result;
    }
    std::string output;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    result.lines = SplitLines(output);
    return result;
}
