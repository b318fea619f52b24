#pragma once
// File-dialog filters as language files write them: pairs of a description and
// its patterns, separated by "|" and ended by "||" ("All files(*.*)|*.*||"),
// several patterns of one pair separated by ";". Qt wants "Description (p1 p2)"
// entries joined by ";;".
#include <string>
#include <string_view>

// "*.*" becomes "*": on this platform a name need not have an extension, and
// "*.*" would hide every file without a dot. A description ending in its own
// patterns ("All files(*.*)") loses them, as Qt adds the patterns. Pairs end at the first empty
// description or pattern; text that holds no complete pair gives "" (Qt then
// shows every file).
std::u16string DialogFilterFromText(std::u16string_view text);
