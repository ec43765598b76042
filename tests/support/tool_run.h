// Runs one of the project's console tools (natively or under Wine) through
// the platform's shell and collects what it prints.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "tests/support/testenv.h"

struct ToolRun {
    int status;
    std::string output;  // standard output and error together, '\r' removed
};

// One command-line argument, quoted for the platform's shell.
inline std::string Quote(const std::string& text)
{
#ifdef _WIN32
    return "\"" + text + "\"";
#else
    return "'" + text + "'";
#endif
}

// The tool's path in the build's bin folder ("name.exe" under Windows).
inline std::string ToolBinary(const std::string& name)
{
#ifdef _WIN32
    return BinPath((name + ".exe").c_str());
#else
    return BinPath(name.c_str());
#endif
}

// Runs the tool with the arguments once, in `folder` when one is given.
inline ToolRun RunToolOnce(const std::string& tool, const std::string& arguments, const std::string& folder)
{
    ToolRun run{-1, ""};
    std::string command = Quote(tool) + " " + arguments + " 2>&1";
#ifdef _WIN32
    if (!folder.empty()) {
        std::string native = folder;
        std::replace(native.begin(), native.end(), '/', '\\');
        command = "cd /d " + Quote(native) + " && " + command;
    }
    command = "\"" + command + "\"";  // cmd /c drops the outer quotes
    FILE* pipe = _popen(command.c_str(), "r");
#else
    if (!folder.empty()) command = "cd " + Quote(folder) + " && " + command;
    FILE* pipe = popen(command.c_str(), "r");
#endif
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) run.output += buffer;
    run.output.erase(std::remove(run.output.begin(), run.output.end(), '\r'), run.output.end());
#ifdef _WIN32
    run.status = _pclose(pipe);
#else
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return run;
}

// Runs the tool with the arguments, in `folder` when one is given. Under
// Wine, cmd now and then reports a program it was given by its full path
// as not found (exit status 9009) while many processes start at once; the
// same command a moment later runs. A tool that is really missing still
// ends with 9009 after the last try.
inline ToolRun RunTool(const std::string& tool, const std::string& arguments, const std::string& folder = "")
{
    ToolRun run = RunToolOnce(tool, arguments, folder);
#ifdef _WIN32
    const int kCommandNotFound = 9009;
    for (int retry = 0; retry < 2 && run.status == kCommandNotFound; ++retry)
        run = RunToolOnce(tool, arguments, folder);
#endif
    return run;
}
