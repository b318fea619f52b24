#pragma once
// What a file run takes from the window when it starts.
#include <cstdint>

#include "config/AppSettings.h"
#include "engine/FileOps.h"

class RunWindow;

// What the run takes from the window once, when it starts; the controls stay
// disabled until it ends.
struct RunOptions {
    int32_t passes = 3;
    ShredFileOptions file;
    bool keepFolders = false;
    bool keepChosenFolders = false;  // the chosen folders stay, emptied
    bool ignoreProtect = false;
    AppSettings settings;
};

RunOptions TakeOptions(RunWindow& window);
