#include "config/ScheduleJob.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/MountInfo.h"
#include "report/Json.h"
#include "report/ReportCrypto.h"

namespace {

constexpr size_t kMostJobBytes = 1 << 20;

const char* KindName(JobIdentity::Kind k) {
    switch (k) {
        case JobIdentity::Kind::kFile:
            return "file";
        case JobIdentity::Kind::kLink:
            return "link";
        case JobIdentity::Kind::kDrive:
            return "drive";
        case JobIdentity::Kind::kFolder:
            break;
    }
    return "folder";
}

bool KindFromName(const std::string& n, JobIdentity::Kind& k) {
    if (n == "file")
        k = JobIdentity::Kind::kFile;
    else if (n == "link")
        k = JobIdentity::Kind::kLink;
    else if (n == "drive")
        k = JobIdentity::Kind::kDrive;
    else if (n == "folder")
        k = JobIdentity::Kind::kFolder;
    else
        return false;
    return true;
}

uint64_t FsidOf(const struct statfs& fs) {
    uint64_t id = 0;
    static_assert(sizeof(fs.f_fsid) == 8);
    std::memcpy(&id, &fs.f_fsid, sizeof id);
    return id;
}

// The UUID under which /dev/disk/by-uuid names the block device `device`; empty
// when none does (tmpfs, network file systems, no udev).
std::string UuidOfDevice(uint64_t device) {
    std::string uuid;
    DIR* dir = ::opendir("/dev/disk/by-uuid");
    if (!dir) return uuid;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISBLK(st.st_mode) &&
            st.st_rdev == device) {
            uuid = e->d_name;
            break;
        }
    }
    ::closedir(dir);
    return uuid;
}

bool IsMountedAt(const std::string& path, uint64_t device) {
    std::string bare =
        path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
    for (const MountInfoEntry& m : ReadMountInfo())
        if (m.mountPoint == bare && m.device == device) return true;
    return false;
}

// Reads a small private file of the jobs folder: regular, never blocking.
bool ReadSmall(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<size_t>(st.st_size) <= kMostJobBytes;
    text.clear();
    char buf[16384];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        text.append(buf, static_cast<size_t>(n));
        ok = text.size() <= kMostJobBytes;
    }
    ::close(fd);
    return ok;
}

// Replaces a file of the private jobs folder in one rename, so a crash leaves the
// old text or the new one.
bool ReplacePrivate(const std::string& folder, const std::string& name, const std::string& text) {
    const std::string tmp = folder + "." + name + ".new";
    ::unlink(tmp.c_str());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = fsys::WriteAll(fd, text) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(tmp.c_str(), (folder + name).c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

const std::string* StringOf(const JsonValue& o, const char* key) {
    const JsonValue* v = o.Get(key);
    return v && v->type() == JsonValue::Type::kString ? &v->text() : nullptr;
}

int64_t IntOf(const JsonValue& o, const char* key) {
    const JsonValue* v = o.Get(key);
    return v && v->type() == JsonValue::Type::kInt ? v->integer() : 0;
}

bool StringsOf(const JsonValue& o, const char* key, std::vector<std::string>& out) {
    const JsonValue* v = o.Get(key);
    if (!v || v->type() != JsonValue::Type::kArray) return false;
    for (const JsonValue& item : v->items()) {
        if (item.type() != JsonValue::Type::kString) return false;
        out.push_back(item.text());
    }
    return true;
}

}  // namespace

std::string CalendarOf(const std::string& every, const std::string& at) {
    if (at.size() != 5 || at[2] != ':') return {};
    for (size_t i : {0u, 1u, 3u, 4u})
        if (at[i] < '0' || at[i] > '9') return {};
    if (std::stoi(at.substr(0, 2)) > 23 || std::stoi(at.substr(3, 2)) > 59) return {};
    const std::string time = at + ":00";
    if (every == "daily") return "*-*-* " + time;
    if (every == "weekly") return "Mon *-*-* " + time;
    if (every == "monthly") return "*-*-01 " + time;
    return {};
}

bool PlausibleCalendar(const std::string& calendar) {
    if (calendar.empty() || calendar.size() > 200) return false;
    for (char c : calendar) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || std::strchr("*,./:~- ", c) != nullptr;
        if (!ok) return false;
    }
    return calendar.front() != ' ' && calendar.back() != ' ';
}

bool CaptureIdentity(const std::string& path, bool drive, JobIdentity& identity,
                     std::string& error) {
    identity = JobIdentity{};
    identity.path = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    if (!drive) {
        identity.kind = S_ISLNK(st.st_mode)   ? JobIdentity::Kind::kLink
                        : S_ISDIR(st.st_mode) ? JobIdentity::Kind::kFolder
                                              : JobIdentity::Kind::kFile;
        return true;
    }
    identity.kind = JobIdentity::Kind::kDrive;
    struct statfs fs {};
    if (!S_ISDIR(st.st_mode) || ::statfs(path.c_str(), &fs) != 0) {
        error = "not a folder";
        return false;
    }
    if (!IsMountedAt(path, st.st_dev)) {
        error = "no drive is mounted there";
        return false;
    }
    identity.fsid = FsidOf(fs);
    identity.uuid = UuidOfDevice(st.st_dev);
    return true;
}

std::string IdentityChange(const JobIdentity& id) {
    struct stat st {};
    if (::lstat(id.path.c_str(), &st) != 0)
        return errno == ENOENT ? "it is gone"
                               : std::string("it cannot be reached: ") + std::strerror(errno);
    const bool wasLink = id.kind == JobIdentity::Kind::kLink;
    if (S_ISLNK(st.st_mode) != wasLink)
        return wasLink ? "it is no longer a link" : "it is now a link";
    if (id.kind == JobIdentity::Kind::kFolder || id.kind == JobIdentity::Kind::kDrive) {
        if (!S_ISDIR(st.st_mode)) return "it is no longer a folder";
    } else if (id.kind == JobIdentity::Kind::kFile && !S_ISREG(st.st_mode)) {
        return "it is no longer a file";
    }
    if (id.kind == JobIdentity::Kind::kDrive) {
        if (!IsMountedAt(id.path, st.st_dev)) return "its drive is not mounted";
        struct statfs fs {};
        if (::statfs(id.path.c_str(), &fs) != 0 || FsidOf(fs) != id.fsid ||
            st.st_dev != id.device || st.st_ino != id.inode)
            return "another drive is mounted there";
        if (!id.uuid.empty() && UuidOfDevice(st.st_dev) != id.uuid)
            return "another drive is mounted there";
        return {};
    }
    if (st.st_dev != id.device || st.st_ino != id.inode)
        return "it is another " + std::string(KindName(id.kind)) + " now";
    return {};
}

std::string JobJson(const ScheduleJob& job) {
    JsonValue o = JsonValue::Object();
    o.Set("id", job.id).Set("name", job.name).Set("command", job.command);
    JsonValue options = JsonValue::Array();
    for (const std::string& s : job.options) options.Push(JsonValue::String(s));
    o.Set("options", std::move(options));
    JsonValue paths = JsonValue::Array();
    for (const std::string& s : job.paths) paths.Push(JsonValue::String(s));
    o.Set("paths", std::move(paths));
    o.Set("trash", job.trash).Set("folder", job.folder).Set("calendar", job.calendar);
    o.Set("randomDelaySec", job.randomDelaySec).Set("created", job.created);
    JsonValue ids = JsonValue::Array();
    for (const JobIdentity& i : job.identities) {
        JsonValue v = JsonValue::Object();
        v.Set("kind", KindName(i.kind)).Set("path", i.path);
        // 64-bit numbers as text: the JSON reader keeps signed integers only.
        v.Set("device", std::to_string(i.device)).Set("inode", std::to_string(i.inode));
        if (i.kind == JobIdentity::Kind::kDrive)
            v.Set("fsid", std::to_string(i.fsid)).Set("uuid", i.uuid);
        ids.Push(std::move(v));
    }
    o.Set("identities", std::move(ids));
    return WriteJson(o);
}

bool JobFromJson(const std::string& text, ScheduleJob& job, std::string& error) {
    JsonValue o;
    if (!ReadJson(text, o, error)) return false;
    job = ScheduleJob{};
    const std::string* id = o.type() == JsonValue::Type::kObject ? StringOf(o, "id") : nullptr;
    const std::string* command = id ? StringOf(o, "command") : nullptr;
    const std::string* calendar = id ? StringOf(o, "calendar") : nullptr;
    if (!id || !command || !calendar || !PlausibleJobId(*id) || !PlausibleCalendar(*calendar) ||
        (*command != "shred" && *command != "free-space") ||
        !StringsOf(o, "options", job.options) || !StringsOf(o, "paths", job.paths)) {
        error = "not a job of this program";
        return false;
    }
    job.id = *id;
    job.command = *command;
    job.calendar = *calendar;
    if (const std::string* name = StringOf(o, "name")) job.name = *name;
    if (const std::string* folder = StringOf(o, "folder")) job.folder = *folder;
    if (job.folder.empty() || job.folder[0] != '/') {
        error = "the job names no folder";
        return false;
    }
    const JsonValue* trash = o.Get("trash");
    job.trash = trash && trash->type() == JsonValue::Type::kBool && trash->boolean();
    job.randomDelaySec = static_cast<int>(IntOf(o, "randomDelaySec"));
    job.created = IntOf(o, "created");
    const JsonValue* ids = o.Get("identities");
    if (!ids || ids->type() != JsonValue::Type::kArray) {
        error = "the job keeps no identities";
        return false;
    }
    for (const JsonValue& v : ids->items()) {
        JobIdentity i;
        const std::string* kind = StringOf(v, "kind");
        const std::string* path = StringOf(v, "path");
        const std::string* dev = StringOf(v, "device");
        const std::string* ino = StringOf(v, "inode");
        if (!kind || !path || !dev || !ino || !KindFromName(*kind, i.kind)) {
            error = "an identity of the job cannot be read";
            return false;
        }
        i.path = *path;
        i.device = std::strtoull(dev->c_str(), nullptr, 10);
        i.inode = std::strtoull(ino->c_str(), nullptr, 10);
        if (const std::string* fsid = StringOf(v, "fsid"))
            i.fsid = std::strtoull(fsid->c_str(), nullptr, 10);
        if (const std::string* uuid = StringOf(v, "uuid")) i.uuid = *uuid;
        job.identities.push_back(std::move(i));
    }
    // Every chosen path must have its identity: a job edited by hand to name a
    // path it never took the identity of would run unchecked.
    for (const std::string& p : job.paths) {
        bool found = false;
        for (const JobIdentity& i : job.identities) found = found || i.path == p;
        if (!found) {
            error = "a path of the job has no identity";
            return false;
        }
    }
    return true;
}

std::string JobsFolder(const std::string& storageFolder) {
    if (storageFolder.empty()) return {};
    std::string folder = storageFolder;
    if (folder.back() != '/') folder += '/';
    folder += "Jobs/";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & 0077) != 0)
        return {};
    return folder;
}

bool SaveJob(const std::string& storageFolder, const ScheduleJob& job, std::string& error) {
    const std::string folder = JobsFolder(storageFolder);
    if (folder.empty()) {
        error = "no private storage folder for jobs";
        return false;
    }
    if (!PlausibleJobId(job.id) || !ReplacePrivate(folder, job.id + ".json", JobJson(job))) {
        error = std::string("the job cannot be saved: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool LoadJob(const std::string& storageFolder, const std::string& id, ScheduleJob& job,
             std::string& error) {
    const std::string folder = JobsFolder(storageFolder);
    std::string text;
    if (!PlausibleJobId(id) || folder.empty() || !ReadSmall(folder + id + ".json", text)) {
        error = "there is no job '" + id + "'";
        return false;
    }
    if (!JobFromJson(text, job, error)) return false;
    if (job.id != id) {
        error = "the job file does not hold job '" + id + "'";
        return false;
    }
    return true;
}

std::vector<ScheduleJob> LoadJobs(const std::string& storageFolder) {
    std::vector<ScheduleJob> jobs;
    const std::string folder = JobsFolder(storageFolder);
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (!dir) return jobs;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != 13 || name.compare(8, 5, ".json") != 0) continue;
        ScheduleJob job;
        std::string error;
        if (LoadJob(storageFolder, name.substr(0, 8), job, error)) jobs.push_back(std::move(job));
    }
    ::closedir(dir);
    std::sort(jobs.begin(), jobs.end(),
              [](const ScheduleJob& a, const ScheduleJob& b) { return a.created < b.created; });
    return jobs;
}

bool RemoveJobFiles(const std::string& storageFolder, const std::string& id) {
    const std::string folder = JobsFolder(storageFolder);
    if (folder.empty() || !PlausibleJobId(id)) return false;
    ::unlink((folder + id + ".state.json").c_str());
    return ::unlink((folder + id + ".json").c_str()) == 0;
}

void SaveJobState(const std::string& storageFolder, const std::string& id, const JobState& s) {
    const std::string folder = JobsFolder(storageFolder);
    if (folder.empty() || !PlausibleJobId(id)) return;
    JsonValue o = JsonValue::Object();
    o.Set("time", s.time)
        .Set("outcome", s.outcome)
        .Set("exit", s.exitStatus)
        .Set("reason", s.reason);
    (void)ReplacePrivate(folder, id + ".state.json", WriteJson(o));
}

JobState LoadJobState(const std::string& storageFolder, const std::string& id) {
    JobState s;
    const std::string folder = JobsFolder(storageFolder);
    std::string text, error;
    JsonValue o;
    if (folder.empty() || !PlausibleJobId(id) || !ReadSmall(folder + id + ".state.json", text) ||
        !ReadJson(text, o, error) || o.type() != JsonValue::Type::kObject)
        return s;
    s.time = IntOf(o, "time");
    s.exitStatus = static_cast<int>(IntOf(o, "exit"));
    if (const std::string* v = StringOf(o, "outcome")) s.outcome = *v;
    if (const std::string* v = StringOf(o, "reason")) s.reason = *v;
    return s;
}

std::string NewJobId(const std::string& storageFolder) {
    const std::string folder = JobsFolder(storageFolder);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string bytes;
        if (!reportcrypto::RandomBytes(4, bytes)) return {};
        const std::string id = reportcrypto::Hex(bytes);
        struct stat st {};
        if (folder.empty() || ::lstat((folder + id + ".json").c_str(), &st) != 0) return id;
    }
    return {};
}

bool PlausibleJobId(const std::string& id) {
    if (id.size() != 8) return false;
    for (char c : id)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}
