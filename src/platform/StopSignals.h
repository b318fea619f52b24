#pragma once
// SIGINT and SIGTERM as a stop request, for runs started from a terminal or a
// scheduler: the handler only records the signal; the window looks at it and
// stops the run the ordinary way, so the current file is finished, temporary
// files are deleted and the log is complete. A second signal ends the program at
// once, as it would without the handler.
void InstallStopSignalHandlers();
bool StopSignalReceived();
// Readable once a signal has arrived (-1 before InstallStopSignalHandlers), so
// the window can act at once instead of at its next look; drain it after each.
int StopSignalWakeFd();
void DrainStopSignalWakeFd();
// For tests: behave as if a signal had (or had not) arrived.
void SetStopSignalReceived(bool received);
