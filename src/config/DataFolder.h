#pragma once
// The folder of the language files, help pages, licence and read-me. The program
// runs from three kinds of places: its build folder and an unpacked portable
// folder, where the data lies next to the program, and an installed tree
// (bin/kelvane with the data in share/kelvane/). The language list marks the
// folder that holds the data.
#include <string>

inline constexpr const char* kDataFolderMarker = "Kelvane_Languages.ini";

// `programFolder` ends with "/" (or is empty). Returns, ending with "/", the first
// of the program folder and its "../share/kelvane/" that holds the language list;
// the program folder when neither does, so that the program keeps its built-in
// texts and hides the documents it cannot find.
std::string FindDataFolder(const std::string& programFolder);
