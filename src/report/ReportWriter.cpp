#include "report/ReportWriter.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "config/AppSettings.h"
#include "config/DataFolder.h"
#include "config/StorageFolders.h"
#include "platform/FileSystem.h"
#include "platform/SafeFiles.h"
#include "report/HiddenNames.h"
#include "report/ReportJson.h"
#include "report/ReportStream.h"
#include "report/SshFormat.h"

namespace {

std::mutex& MakerMutex() {
    static std::mutex m;
    return m;
}

ReportPdfMaker& Maker() {
    static ReportPdfMaker maker;
    return maker;
}

std::string Errno() {
    return std::strerror(errno);
}

// A folder for reports: made private when it is missing; one that is there must
// be a real folder (not a link) of this user, and is made private.
bool PrivateFolder(const std::string& folder, std::string& error) {
    const std::string path =
        folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make the reports folder " + folder + ": " + Errno();
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        (st.st_uid != ::geteuid() && ::geteuid() != 0)) {
        error = "the reports folder " + folder + " is no folder of this user";
        return false;
    }
    if ((st.st_mode & 077) != 0) (void)::chmod(path.c_str(), 0700);
    return true;
}

std::string Normal(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) return path;
    std::filesystem::path c = std::filesystem::weakly_canonical(p, ec);
    return (ec ? p.lexically_normal() : c).string();
}

bool Below(const std::string& path, const std::string& folder) {
    std::string f = Normal(folder);
    if (f.empty()) return false;
    if (f.back() != '/') f += '/';
    const std::string p = Normal(path);
    return p.rfind(f, 0) == 0 || p + "/" == f;
}

// Made new (never over anything there, never through a link another user put on
// the way) and written only through the descriptor it was made with.
bool WriteNewFile(const std::string& path, const SignedReport* report, std::string& error) {
    fsys::NewFile file;
    std::string why;
    if (!file.Create(path, 0600, why)) {
        error = "cannot write the report " + path + ": " + why;
        return false;
    }
    std::string buffer;
    auto flush = [&] {
        if (!fsys::WriteAll(file.Fd(), buffer)) return false;
        buffer.clear();
        return true;
    };
    const bool written = !report || report->Emit([&](std::string_view piece) {
        buffer.append(piece);
        return buffer.size() < (1u << 20) || flush();
    });
    if (written && flush() && file.Sync()) {
        if (file.NameLeadsHere()) return true;
        error =
            "the report " + path + " was moved or replaced by someone else while it was written";
        return false;
    }
    error = "cannot write the report " + path + ": " + Errno();
    file.Discard();  // made just now, and only while the name still leads to it
    return false;
}

// A small file beside a report: made new, never through a link, written through
// the one descriptor that made it.
bool WriteNewText(const std::string& path, std::string_view text, std::string& error) {
    // Made new, in a folder reached without another user's links, and written
    // through its one descriptor.
    fsys::NewFile file;
    if (!file.Create(path, 0600, error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    if (!fsys::WriteAll(file.Fd(), text) || !file.Sync()) {
        error = "cannot write " + path + ": " + Errno();
        file.Discard();
        return false;
    }
    return true;
}

void MakePdf(const RunRecord& record, const std::string& fingerprint, const std::string& path,
             WrittenReport& out) {
    ReportPdfMaker maker;
    {
        std::lock_guard<std::mutex> lock(MakerMutex());
        maker = Maker();
    }
    if (!maker) return;
    fsys::NewFile file;
    std::string error;
    if (!file.Create(path, 0600, error)) {
        out.problems.push_back("cannot write the PDF report " + path + ": " + error);
        return;
    }
    const bool drawn = maker(record, fingerprint, file.Fd(), error);
    if (drawn && !file.Sync()) error = Errno();
    if (!drawn || !error.empty()) {
        out.problems.push_back("cannot make the PDF report " + path + ": " + error);
        file.Discard();
        return;
    }
    if (!file.NameLeadsHere()) {
        out.problems.push_back("the PDF report " + path +
                               " was moved or replaced by someone else while it was written");
        return;
    }
    out.files.push_back(path);
    if (out.pdf.empty()) out.pdf = path;
}

}  // namespace

void SetReportPdfMaker(ReportPdfMaker maker) {
    std::lock_guard<std::mutex> lock(MakerMutex());
    Maker() = std::move(maker);
}

std::vector<std::string> PartFolders(const ReportPlan& plan, const std::string& storageFolder) {
    std::vector<std::string> out;
    for (const std::string& folder : {plan.folder, WithTrailingSlash(storageFolder)}) {
        struct stat st {};
        if (folder.empty() || folder == "/" || ::lstat(folder.c_str(), &st) != 0 ||
            !S_ISDIR(st.st_mode) || (st.st_uid != ::geteuid() && ::geteuid() != 0))
            continue;
        bool below = false;
        for (const std::string& f : plan.shredded) below = below || Below(folder, f);
        if (!below) out.push_back(folder);
    }
    return out;
}

ReportPlan PlanReports(const AppSettings& s, const std::string& storageFolder) {
    ReportPlan plan;
    if (!s.reportFolder.empty())
        plan.folder = WithTrailingSlash(s.reportFolder);
    else if (!storageFolder.empty())
        plan.folder = WithTrailingSlash(storageFolder) + "Reports/";
    if (!s.reportKeyFile.empty()) {
        plan.keyFile = s.reportKeyFile;
        plan.keyIsOwn = false;
    } else if (!storageFolder.empty()) {
        plan.keyFile = WithTrailingSlash(storageFolder) + "kelvane-report-key.pem";
    }
    plan.hideNames = s.reportHideNames;
    if (plan.hideNames && !storageFolder.empty())
        (void)LoadOrCreateNameSecret(NameSecretFile(WithTrailingSlash(storageFolder)),
                                     plan.nameSecret, plan.nameSecretError);
    return plan;
}

void AddRunContext(RunRecord& r, const AppSettings& s) {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) r.host = host;
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &found) == 0 && found)
        r.user = found->pw_name;
    else
        r.user = std::to_string(::geteuid());
    const time_t t = static_cast<time_t>(r.start);
    struct tm tm {};
    localtime_r(&t, &tm);
    char zone[64];
    std::strftime(zone, sizeof zone, "%Z (UTC%z)", &tm);
    r.timeZone = zone;
    r.organisation = s.reportOrganisation;
    r.operatorName = s.reportOperator;
    r.customer = s.reportCustomer;
}

std::string ReportPathProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 ? S_ISDIR(st.st_mode) : ::lstat(path.c_str(), &st) != 0)
        return {};  // a folder, or nothing yet
    return "'" + path + "' is there already (" + fsys::KindName(st.st_mode) +
           "): a report is written into a folder or as a new file";
}

std::string ReportFileStem(const RunRecord& record) {
    std::string time = UtcTimeText(record.end);
    std::string compact;
    for (char c : time)
        if (c != '-' && c != ':') compact += c;
    return "kelvane-report-" + compact + "-" + record.id;
}

WrittenReport WriteRunReport(RunRecord record, const ReportPlan& plan) {
    WrittenReport out;
    if (plan.hideNames && record.spool && !record.namesHidden) {
        out.problems.push_back("the entries were recorded with their names: no report written");
        return out;
    }
    if (plan.hideNames) HideReportNames(record, plan.nameSecret);
    reportcrypto::SigningKey key;
    std::string error;
    const bool haveKey = !plan.keyFile.empty() &&
                         (plan.keyIsOwn ? reportcrypto::LoadOrCreateKey(plan.keyFile, key, error)
                                        : reportcrypto::LoadKey(plan.keyFile, key, error));
    if (!haveKey) {
        out.problems.push_back(plan.keyFile.empty() ? "no key to sign the report with"
                                                    : error + " (" + plan.keyFile + ")");
        return out;
    }
    out.fingerprint = reportcrypto::Fingerprint(key.publicKey);
    const SignedReport text = SignRunReport(record, key);
    if (!text.ok) {
        out.problems.push_back("the report could not be signed");
        return out;
    }
    // The OpenSSH signature of the file's bytes, the same beside every copy.
    reportcrypto::Sha512Stream digest;
    const bool digested = text.Emit([&](std::string_view piece) {
        digest.Update(piece);
        return true;
    });
    const std::string sshSignature =
        digested ? sshformat::ArmoredSignature(key, sshformat::kReportNamespace, digest.Final())
                 : std::string();
    if (sshSignature.empty())
        out.problems.push_back("the OpenSSH signature of the report could not be made");
    const std::string stem = ReportFileStem(record);

    // Each place: the JSON and, where a face draws one, the PDF beside it.
    auto writeAt = [&](const std::string& json) {
        for (const std::string& f : plan.shredded)
            if (Below(json, f)) {
                out.problems.push_back("not written into a folder being shredded: " + json);
                return;
            }
        std::string why;
        if (!WriteNewFile(json, &text, why)) {
            out.problems.push_back(why);
            return;
        }
        out.files.push_back(json);
        if (out.json.empty()) out.json = json;
        if (!sshSignature.empty()) {
            if (WriteNewText(json + ".sig", sshSignature, why)) {
                out.files.push_back(json + ".sig");
                if (out.sig.empty()) out.sig = json + ".sig";
            } else {
                out.problems.push_back(why);
            }
        }
        const std::string base = json.size() > 5 && json.compare(json.size() - 5, 5, ".json") == 0
                                     ? json.substr(0, json.size() - 5)
                                     : json;
        MakePdf(record, out.fingerprint, base + ".pdf", out);
    };
    if (!plan.folder.empty()) {
        if (PrivateFolder(plan.folder, error))
            writeAt(plan.folder + stem + ".json");
        else
            out.problems.push_back(error);
    }
    for (const std::string& extra : plan.extraPaths) {
        struct stat st {};
        const bool folder = (::stat(extra.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) ||
                            (!extra.empty() && extra.back() == '/');
        if (folder) {
            if (::stat(extra.c_str(), &st) != 0 && !PrivateFolder(extra, error)) {
                out.problems.push_back(error);
                continue;
            }
            writeAt(WithTrailingSlash(extra) + stem + ".json");
        } else {
            writeAt(extra);
        }
    }
    return out;
}
