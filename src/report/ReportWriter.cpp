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
#include "report/HiddenNames.h"
#include "report/ReportJson.h"
#include "report/ReportStream.h"

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

bool WriteNewFile(const std::string& path, const SignedReport* report, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = "cannot write the report " + path + ": " + Errno();
        return false;
    }
    std::string buffer;
    auto flush = [&] {
        if (!fsys::WriteAll(fd, buffer)) return false;
        buffer.clear();
        return true;
    };
    const bool written = !report || report->Emit([&](std::string_view piece) {
        buffer.append(piece);
        return buffer.size() < (1u << 20) || flush();
    });
    const bool ok = written && flush() && ::fsync(fd) == 0;
    if (!ok) error = "cannot write the report " + path + ": " + Errno();
    ::close(fd);
    if (!ok) ::unlink(path.c_str());  // made just now, with O_EXCL
    return ok;
}

void MakePdf(const RunRecord& record, const std::string& fingerprint, const std::string& path,
             WrittenReport& out) {
    ReportPdfMaker maker;
    {
        std::lock_guard<std::mutex> lock(MakerMutex());
        maker = Maker();
    }
    if (!maker) return;
    std::string error;
    // Made private before anything is drawn into it.
    if (!WriteNewFile(path, nullptr, error)) {
        out.problems.push_back(error);
        return;
    }
    if (!maker(record, fingerprint, path, error)) {
        out.problems.push_back("cannot make the PDF report " + path + ": " + error);
        ::unlink(path.c_str());  // ours: made just above
        return;
    }
    (void)::chmod(path.c_str(), 0600);
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

namespace {

bool ReadSchema(const std::string& programFolder, int version, JsonValue& schema) {
    const std::string data = FindDataFolder(programFolder);
    const std::string name = ReportSchemaFile(version);
    for (const std::string& folder :
         {data, programFolder, programFolder + "../share/kelvane/", programFolder + "data/"}) {
        const int fd = ::open((folder + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        std::string s;
        char buf[65536];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0 && s.size() < (1u << 20))
            s.append(buf, static_cast<size_t>(n));
        ::close(fd);
        std::string error;
        if (ReadJson(s, schema, error)) return true;
    }
    return false;
}

}  // namespace

VerifyOutcome VerifyReportFile(const std::string& path, const std::string& programFolder) {
    VerifyOutcome out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        out.lines.push_back("cannot read " + path + ": " + Errno());
        return out;
    }
    // Version 2 is read a piece at a time however long it is; version 1 is held
    // whole, as it was written.
    std::string text;
    std::vector<char> buf(1 << 16);
    ssize_t n;
    while (text.size() < 128 && (n = ::read(fd, buf.data(), buf.size())) > 0)
        text.append(buf.data(), static_cast<size_t>(n));
    const int version = ReportVersionOf(text) == 2 ? 2 : 1;
    JsonValue schema;
    const bool haveSchema = ReadSchema(programFolder, version, schema);
    ReportCheck check;
    n = 0;
    if (version >= 2) {
        ReportStreamCheck stream(haveSchema ? &schema : nullptr);
        stream.Feed(text);
        text.clear();
        text.shrink_to_fit();
        while ((n = ::read(fd, buf.data(), buf.size())) > 0)
            stream.Feed(std::string_view(buf.data(), static_cast<size_t>(n)));
        if (n == 0) check = stream.Finish();
    } else {
        while ((n = ::read(fd, buf.data(), buf.size())) > 0 && text.size() < (64u << 20))
            text.append(buf.data(), static_cast<size_t>(n));
        if (n >= 0) check = CheckReportText(text, haveSchema ? &schema : nullptr);
    }
    ::close(fd);
    if (n < 0) {
        out.lines.push_back("cannot read " + path + ": " + Errno());
        return out;
    }
    out.status = check.intact ? 0 : 1;
    out.lines.push_back(check.intact ? "INTACT: " + path : "CHANGED: " + path);
    for (const std::string& p : check.problems) out.lines.push_back("  " + p);
    if (!haveSchema)
        out.lines.push_back("  (the schema was not found; the fields were not checked)");
    for (const std::string& s : check.summary) out.lines.push_back(s);
    return out;
}
