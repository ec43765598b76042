// `tidewell-publish pack [--method lh5|lh7] ARCHIVE FILE...`: packs files,
// and directories with everything below them, into a new LZH archive for an
// update.
#pragma once

// The arguments after "pack": an optional "--method lh5" (the default) or
// "--method lh7" (a 64 KB dictionary), then the archive to make and the
// files and directories to pack. Prints one line per entry; returns 0
// when the archive was made, 1 for a usage error, 2 for any failure (the
// archive is then left as it was).
int RunPackCommand(int argc, char** argv);
