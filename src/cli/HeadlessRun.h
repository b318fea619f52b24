#pragma once
// "kelvane -exec" and "kelvane -drives" without a display: the window program's
// unattended runs on the terminal face, so no Qt platform, font or window is
// started for a run nobody sees. What they do, print, log and end with is what
// the window's unattended runs do.

// Not started: a run that would ask before each file has no terminal to ask on.
inline constexpr int kExitCannotAsk = 4;

// `argv[1]` is "-exec", "-drives" or "-trash". Returns the exit status.
int RunHeadless(int argc, char** argv);
