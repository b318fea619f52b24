#pragma once
// "check": what a shred of the listed entries would do, and whether overwriting
// reaches each file's data, without touching anything.
class TerminalFace;

// Reports every listed entry and the totals; returns 0 when every file would be
// overwritten in place, 5 when some cannot be guaranteed (or were not listed),
// 3 when nothing was listed, 2 when a signal stopped it.
int CheckListedEntries(TerminalFace& face);
