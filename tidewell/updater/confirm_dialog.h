// The comparison of the fetched record with the installed one (which also
// fixes the install folder) and the confirmation dialog.
#pragma once

#include "tidewell/updater/updater_context.h"

// The comparison result (0, -1 to -4, or positive); sets the install folder
// when the format-2 comparison runs.
int32_t CompareUpdate(UpdaterContext* context);

// The updater's own folder, ending in '\' (empty when it cannot be told).
void OwnInstallFolder(char* out, size_t capacity);

// Shows dialog 105 modally: 0 when the person accepted the update, non-zero
// when they cancelled (or the dialog could not be shown).
int ConfirmUpdate(HWND owner, UpdaterContext* context);
