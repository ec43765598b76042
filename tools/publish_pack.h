// `tidewell-publish pack ARCHIVE FILE...`: packs files, and directories with
// everything below them, into a new LZH archive for an update.
#pragma once

// The arguments after "pack": argv[0] is the archive to make, the rest the
// files and directories to pack. Prints one line per entry; returns 0
// when the archive was made, 1 for a usage error, 2 for any failure (the
// archive is then left as it was).
int RunPackCommand(int argc, char** argv);
