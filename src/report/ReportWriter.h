#pragma once
// Where a run's report goes and how it gets there: the reports folder (private
// to the user), the extra places the command line names, the signing key, and
// the PDF that a face with a display draws. A report that cannot be written is
// said, never a reason for the run to end otherwise.
#include <functional>
#include <string>
#include <vector>

#include "report/ReportRecord.h"
#include "report/ReportVerify.h"

struct AppSettings;

struct ReportPlan {
    std::string folder;    // ends with "/"; empty: no reports folder
    std::string keyFile;   // the signing key (made there on first use when it is ours)
    bool keyIsOwn = true;  // false: named in the settings, never made
    std::vector<std::string> extraPaths;  // "-report PATH": a folder or a file name
    // Folders the run shredded (chosen or listed): nothing is written below them.
    std::vector<std::string> shredded;
    bool hideNames = false;
    // With hidden names: the user's names secret (raw), when the storage
    // folder holds or takes one; empty otherwise.
    std::string nameSecret;
    std::string nameSecretError;  // why there is none
};

// The plan from the settings and the storage folder (ending with "/", may be empty).
ReportPlan PlanReports(const AppSettings& settings, const std::string& storageFolder);

// Where a run's part file may go: the reports folder when it is there, then the
// storage folder, leaving out any below a folder in `plan.shredded`.
std::vector<std::string> PartFolders(const ReportPlan& plan, const std::string& storageFolder);

// Host, user, time zone and the people fields, filled in from the system and settings.
void AddRunContext(RunRecord& record, const AppSettings& settings);

struct WrittenReport {
    std::vector<std::string> files;     // every report file written: JSON, its .sig, PDF
    std::string json;                   // the first JSON written (the reports folder's)
    std::string sig;                    // the OpenSSH signature beside it ("<json>.sig")
    std::string pdf;                    // the PDF beside it, when made
    std::vector<std::string> problems;  // one line each, for the log and the status
    std::string fingerprint;
};

// Signs and writes the report (the current version), its entries copied from
// the record's part file. The record's names are hidden first when the plan says
// so (a record whose entries went out with their names is then refused).
WrittenReport WriteRunReport(RunRecord record, const ReportPlan& plan);

// Why "-report PATH" cannot take the report: empty for a folder or a name not
// taken yet, else one line (a file, FIFO or device is there already). Asked
// before a run starts, so that nothing is touched for a report that cannot go.
std::string ReportPathProblem(const std::string& path);

// "kelvane-report-20261207T223052Z-<id>".
std::string ReportFileStem(const RunRecord& record);

// Draws the PDF of a report into `fd`, the new file's descriptor (a face with Qt
// sets it); false with `error` when it fails. Without one no PDF is made.
using ReportPdfMaker = std::function<bool(const RunRecord& record, const std::string& fingerprint,
                                          int fd, std::string& error)>;
void SetReportPdfMaker(ReportPdfMaker maker);
