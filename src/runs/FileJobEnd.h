#pragma once
// The end of one file row of a file run: its verdict, log line and report entry,
// and the row taken out of the list or left with the reason it failed.
struct FileJob;
struct FileRunContext;

// The outcome of a file row, dealt with in list order; `row` is its index now.
// True when the row left the list.
bool FinishFileJob(FileRunContext& run, FileJob& job, int row);
