#include "marrowby/dialogs/sheet_registry.h"

#include <commctrl.h>
#include <prsht.h>

void InitSheetRegistry(SheetRegistry* registry)
{
    for (int i = 0; i < kSheetPoolSize; ++i) {
        registry->entries[i].window = nullptr;
        registry->entries[i].next = nullptr;
        registry->freeStack[i] = &registry->entries[i];
    }
    registry->freeCount = kSheetPoolSize;
    registry->first = nullptr;
    registry->last = nullptr;
}

int RegisterSheet(SheetRegistry* registry, HWND window)
{
    if (registry->freeCount == 0) return 1;
    SheetEntry* entry = registry->freeStack[--registry->freeCount];
    entry->window = window;
    entry->next = nullptr;
    if (registry->last)
        registry->last->next = entry;
    else
        registry->first = entry;
    registry->last = entry;
    return 0;
}

int UnregisterSheet(SheetRegistry* registry, HWND window)
{
    if (registry->freeCount == kSheetPoolSize) return 1;
    SheetEntry* previous = nullptr;
    SheetEntry* entry = registry->first;
    while (entry && entry->window != window) {
        previous = entry;
        entry = entry->next;
    }
    if (!entry) return 2;
    if (previous)
        previous->next = entry->next;
    else
        registry->first = entry->next;
    if (registry->last == entry) registry->last = previous;
    entry->window = nullptr;
    entry->next = nullptr;
    registry->freeStack[registry->freeCount++] = entry;
    return 0;
}

int FilterSheetMessage(SheetRegistry* registry, MSG* message)
{
    for (SheetEntry* entry = registry->first; entry; entry = entry->next) {
        HWND sheet = entry->window;
        // A sheet whose OK or Cancel was pressed has no current page. Its
        // pages unregister it while it is destroyed, which unlinks this very
        // entry, so the walk must stop here.
        if (!SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)) {
            DestroyWindow(sheet);
            return 1;
        }
        if (SendMessageA(sheet, PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(message))) return 2;
    }
    return 0;
}

namespace {

SheetRegistry g_programSheets;

// The entries link to each other, so the registry is set up in place, by the
// program's static initialisation, before the program entry runs.
struct ProgramSheetsSetUp {
    ProgramSheetsSetUp() { InitSheetRegistry(&g_programSheets); }
} g_programSheetsSetUp;

}  // namespace

SheetRegistry* ProgramSheets()
{
    return &g_programSheets;
}

int RegisterSheet(HWND window)
{
    return RegisterSheet(&g_programSheets, window);
}

int UnregisterSheet(HWND window)
{
    return UnregisterSheet(&g_programSheets, window);
}

int FilterSheetMessage(MSG* message)
{
    return FilterSheetMessage(&g_programSheets, message);
}

int OnHostNotice(const HostNotice* notice, void* /*context*/)
{
    if (!notice) return 0;
    if (notice->kind == kNoticeSheetOpened)
        RegisterSheet(notice->window);
    else if (notice->kind == kNoticeSheetClosed)
        UnregisterSheet(notice->window);
    return 0;
}
