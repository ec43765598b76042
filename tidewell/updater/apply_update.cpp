#include "tidewell/updater/apply_update.h"

int StartApply(UpdaterContext* /*context*/)
{
    // This build has no extraction worker: the archive stays where it was
    // downloaded and the window reports that the files were not updated.
    return kApplyNoThread;
}

void StopApply()
{
}
