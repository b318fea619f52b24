#pragma once
// The report commands of the terminal: verify-report (also the window program's
// -verifyreport) and key. Both answer on standard output and say what went
// wrong on standard error.
#include <string>

#include "cli/CliOptions.h"

// Checks o.paths[0] against the keys trusted here and o.trustFiles; returns the
// exit status (ReportVerify.h: 0, 1, 2, 3; 4 when a --trust file cannot be used).
int RunVerifyReport(const CliOptions& o, const char* program);

// Prints the report key's fingerprint, public key or allowed-signers line. The
// user's own key is made on first use, as a run would make it.
int RunKeyCommand(const CliOptions& o, const char* program);

// The key a run signs its report with when --key names one: loaded now, so that
// a key that cannot be used stops the command before anything is touched.
bool CheckKeyOption(const std::string& keyFile, std::string& error);
