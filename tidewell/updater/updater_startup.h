// The updater's start: information file, command line, user agent, then the
// window and its loop.
#pragma once

#include <windows.h>

// Runs the whole program; returns the process exit code (0).
int RunUpdater(HINSTANCE instance, const char* commandLine);
