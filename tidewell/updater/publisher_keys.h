// The publisher keys Tidewell trusts: the one built into the program (a
// resource written from the release's public key file) and the signer of
// the installed record, which an earlier signed update left behind.
#pragma once

#include "tidewell/updater/updater_context.h"

// Fills the context's keys; call after the installed record is loaded.
void LoadPublisherKeys(UpdaterContext* context);

// The string id that refuses the fetched record, or 0 when it may be
// offered: with a key held it must carry a good signature by it, and an
// older version is not offered at all. On success the signed archive
// SHA-256 is kept in the context.
int JudgeFetchedRecord(UpdaterContext* context, int32_t comparison);

// Whether the downloaded archive is the one signed (true when no key is
// held); path is the archive's full path.
bool ArchiveIsTheSignedOne(const UpdaterContext& context, const char* path);
