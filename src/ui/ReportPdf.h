#pragma once
// The report of a run as a PDF for people: a summary block in the manner of a
// certificate of sanitization, the entries with their results, the warnings and
// the signing key's fingerprint. Drawn from the same record as the signed JSON.
#include <string>

#include "report/ReportRecord.h"

// Draws into the open file `fd` (new, private, made by the caller, who keeps
// and closes it); never opens anything by name. Safe on any thread.
bool MakeReportPdf(const RunRecord& record, const std::string& fingerprint, int fd,
                   std::string& error);
