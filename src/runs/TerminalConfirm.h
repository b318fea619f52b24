#pragma once
// Asking the per-file question on a terminal, for runs started from the command
// line on a machine without a display.
#include <cstdio>
#include <string>

// Prints the question with `answers` (the language's wording of the choices) and
// reads answers until one is understood: y = Yes (6), a = Yes to all (19), n = No
// (7), c = Cancel (2). The letters are the same in every language, so that a script
// answering the program keeps working whatever language is chosen. The end of the
// input answers Cancel, so a closed terminal never leaves the run waiting.
inline constexpr char16_t kTerminalAnswers[] = u"[y]es / yes to [a]ll / [n]o / [c]ancel";
int AskOnTerminal(const std::u16string& question, std::FILE* in, std::FILE* out,
                  const std::u16string& answers = kTerminalAnswers);
