#pragma once
// Asking the per-file question on a terminal, for runs started from the command
// line on a machine without a display.
#include <cstdio>
#include <string>

// Prints the question and reads answers until one is understood:
// y = Yes (6), a = Yes to all (19), n = No (7), c = Cancel (2). The end of the
// input answers Cancel, so a closed terminal never leaves the run waiting.
int AskOnTerminal(const std::u16string& question, std::FILE* in, std::FILE* out);
