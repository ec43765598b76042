// The open modeless property sheets, in order of opening, and the message
// filter that gives them their keyboard interface. Modeless sheets never
// destroy themselves, so the filter also destroys each one that has finished.
// GUI thread only.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "marrowby/app/host_notice.h"

constexpr int kSheetPoolSize = 32;

struct SheetEntry {
    HWND window;
    SheetEntry* next;
};

// Fixed pool: no allocation after set-up.
struct SheetRegistry {
    SheetEntry entries[kSheetPoolSize];
    SheetEntry* freeStack[kSheetPoolSize];
    int32_t freeCount;  // kSheetPoolSize when nothing is registered
    SheetEntry* first;  // registered entries, oldest first
    SheetEntry* last;
};

// Puts every entry on the free stack and empties the list.
void InitSheetRegistry(SheetRegistry* registry);

// 0 appended; 1 the pool is full (the window stays unregistered).
int RegisterSheet(SheetRegistry* registry, HWND window);

// Removes the first entry holding window. 0 removed; 1 the registry is
// empty; 2 the window is not registered.
int UnregisterSheet(SheetRegistry* registry, HWND window);

// 0 not consumed; 1 a finished sheet was destroyed and this message must be
// dropped; 2 a sheet handled it as a dialog message.
int FilterSheetMessage(SheetRegistry* registry, MSG* message);

// The process-wide registry, set up by static initialisation, and the same
// operations on it.
SheetRegistry* ProgramSheets();
int RegisterSheet(HWND window);
int UnregisterSheet(HWND window);
int FilterSheetMessage(MSG* message);

// The program's HostCallback: registers sheets that open and unregisters
// sheets that close; other notices are ignored. Returns 0.
int OnHostNotice(const HostNotice* notice, void* context);
