#pragma once
// "--help" and "--version" of the window program, answered before anything else
// starts, so that they work without a display and touch nothing.
#include <cstdio>

// When the first argument is -h, --help or --version: prints the answer on `out`
// and returns true (the program then ends with status 0).
bool AnswerInfoSwitch(int argc, char** argv, std::FILE* out);
