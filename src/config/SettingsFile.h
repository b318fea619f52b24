#pragma once
// Reading and writing the settings file "Kelvane.ini" (XML form, root "InitFile").
// The window applies a loaded record to its controls and gathers one to save.
#include <optional>
#include <string>

#include "config/AppSettings.h"

struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const WindowRect&) const = default;
};

struct LoadedSettings {
    AppSettings values;  // missing or empty keys hold their defaults
    // The four font keys default to the font in use when they are read, which only
    // the window knows: these say which of them the file really holds.
    bool hasFontName = false;
    bool hasFontCharset = false;
    bool hasFontHeight = false;
    bool hasFontPitch = false;
    // The file was there but not read: another user owns it, others may change it,
    // or it is a link. The values are the built-in ones.
    bool refused = false;
};

// Iterations outside 1..300 become 3.
int32_t ClampIterations(int32_t n);

LoadedSettings LoadSettings(const std::string& path);
// Writes all 27 keys in their fixed order, private to the user (0600; an existing
// file keeps a stricter mode, a read-only one is left as it is). Returns whether
// the file was replaced (the window ignores it: a failed write leaves the old file
// as it was).
bool SaveSettings(const std::string& path, const AppSettings& s);

// "WinPos": "MAX", or left;top;right;bottom. The position is used only when all
// four numbers are there, left and top are not negative and the size is positive.
bool IsMaximizedWinPos(const std::string& text);
std::optional<WindowRect> ParseWinPos(const std::string& text);
std::string FormatWinPos(const WindowRect& r);
