#pragma once
// The file shredding run: works through the list from top to bottom, asks where
// the user wants it, shreds every ticked file, removes folder entries and the
// folders that became empty, takes finished rows out of the list and logs one
// line per entry.
#include <cstdint>
#include <string>
#include <vector>

#include "runs/FreeSpaceAfter.h"

class RunState;
class RunWindow;
class WorkerThreads;

// "Shred files" (UI thread): clears the stop flag; an empty list only gets the
// "No file(s) available!" box; otherwise records the start time and starts the
// clock and the run thread, which goes through the run frame.
void StartFileRun(WorkerThreads& threads, RunWindow& window, RunState& state);

// What a file run leaves for what follows it: whether the free space of its
// drives is to be overwritten now, and the file systems it overwrote files on.
struct FileRunEnd {
    bool freeSpaceAfter = false;
    TouchedDrives drives;
};

// The worker itself, on the run thread (the frame is around it).
void ShredListedFiles(RunWindow& window, RunState& state, FileRunEnd* end = nullptr);

// Passes per file from the iterations text: 1 to 300, anything else gives 3.
int32_t PassesFromText(const std::u16string& text);
