#pragma once
// Earlier versions of a shredded file (an editor's saves, temporary copies, the
// file as it was before a move) lie in the free space of its drive, where
// overwriting the file never reaches them. This is the one decision of when a
// run says so and offers "Then overwrite the free space of these drives": the
// summary, the log, the status line and the report all ask it, none words its
// own.
#include <cstdint>
#include <vector>

// A drive a run shredded files on, as it stands after the run.
struct DriveAfterShred {
    bool inMemory = false;     // tmpfs, ramfs: nothing of it outlives the machine's power
    bool overwritten = false;  // its free space was overwritten after the files
};

// After a run: true when a file was shredded on a drive of `drives` that keeps
// free space on a disk and was not overwritten afterwards.
bool EarlierVersionsRemain(const std::vector<DriveAfterShred>& drives);

// Before a run: true when files are to be shredded and the free space of their
// drives is not to be overwritten afterwards (the summary says so and offers it).
bool EarlierVersionsRemain(int64_t files, bool freeSpaceAfter);
