#include "report/ReportVerify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "config/DataFolder.h"
#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "platform/SafeFiles.h"
#include "report/ReportCrypto.h"
#include "report/ReportJson.h"
#include "report/ReportStream.h"
#include "report/SshFormat.h"

namespace {

// A report of the first version is held whole: this is its largest.
constexpr int64_t kMaxWholeReport = 8 << 20;
constexpr int64_t kMaxSignatureFile = 64 * 1024;
constexpr int64_t kMaxSchemaFile = 1 << 20;

std::string Shown(const std::string& path) {
    return Utf8FromWide(PrintableText(WideFromUtf8(path)));
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Opens a regular file to read without waiting for anyone: a FIFO, a device or
// a socket in a report's place is refused before a byte is read.
int OpenRegular(const std::string& path, struct stat& st, std::string& error) {
    // Looked at before it is opened: a FIFO or a device is refused, never waited on
    // and never opened.
    std::string why;
    const int fd = fsys::OpenForReading(path, why);
    if (fd < 0) {
        error = "cannot read " + Shown(path) + ": " + why;
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = Shown(path) + " is not a regular file";
        return -1;
    }
    return fd;
}

// A small regular file whole; false with `error` when it cannot be read or is
// larger than `limit`.
bool ReadSmall(const std::string& path, int64_t limit, std::string& text, std::string& error,
               bool* missing = nullptr) {
    struct stat st {};
    Fd fd(OpenRegular(path, st, error));
    if (missing) *missing = fd.get() < 0 && errno == ENOENT;
    if (fd.get() < 0) return false;
    if (st.st_size > limit) {
        error = Shown(path) + " is too large";
        return false;
    }
    char buf[16384];
    ssize_t n;
    while ((n = ::read(fd.get(), buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<size_t>(n));
        if (static_cast<int64_t>(text.size()) > limit) {
            error = Shown(path) + " is too large";
            return false;
        }
    }
    if (n < 0) error = "cannot read " + Shown(path) + ": " + std::strerror(errno);
    return n == 0;
}

bool ReadSchema(const std::string& programFolder, int version, JsonValue& schema) {
    const std::string data = FindDataFolder(programFolder);
    const std::string name = ReportSchemaFile(version);
    for (const std::string& folder :
         {data, programFolder, programFolder + "../share/kelvane/", programFolder + "data/"}) {
        std::string text, error;
        if (folder.empty() || !ReadSmall(folder + name, kMaxSchemaFile, text, error)) continue;
        if (ReadJson(text, schema, error)) return true;
    }
    return false;
}

// The configuration's trust files count only when nobody but their owner (this
// user, or root) may change them.
bool SafeToTrust(const std::string& path, std::string& why) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return true;  // the read says why
    if ((st.st_uid != ::geteuid() && st.st_uid != 0) || (st.st_mode & 022) != 0) {
        why = "not using " + Shown(path) + ": it belongs to another user or others may change it";
        return false;
    }
    return true;
}

}  // namespace

std::string UserTrustFile(const std::string& userConfigBase) {
    return userConfigBase.empty()
               ? std::string()
               : WithTrailingSlash(userConfigBase) + "Tessarin/Kelvane/allowed_signers";
}

TrustSources DefaultTrustSources(const std::string& storageFolder, const std::string& keyFile,
                                 const std::string& userConfigBase) {
    TrustSources s;
    if (!storageFolder.empty())
        s.ownKeyFiles.push_back(WithTrailingSlash(storageFolder) + "kelvane-report-key.pem");
    if (!keyFile.empty() && (s.ownKeyFiles.empty() || keyFile != s.ownKeyFiles.front()))
        s.ownKeyFiles.push_back(keyFile);
    if (const std::string user = UserTrustFile(userConfigBase); !user.empty())
        s.configFiles.push_back(user);
    s.configFiles.push_back(kSystemTrustFile);
    return s;
}

bool LoadReportTrust(const TrustSources& sources, ReportTrust& trust, std::string& error) {
    for (const std::string& file : sources.ownKeyFiles) {
        struct stat st {};
        if (::lstat(file.c_str(), &st) != 0) continue;
        reportcrypto::SigningKey key;
        std::string why;
        if (reportcrypto::LoadKey(file, key, why))
            trust.ownKeys.push_back(key.publicKey);
        else
            trust.warnings.push_back("not using the key " + Shown(file) + ": " + why);
    }
    for (const std::string& file : sources.configFiles) {
        std::string why;
        bool missing = false;
        if (!SafeToTrust(file, why)) {
            trust.warnings.push_back(why);
            continue;
        }
        if (!ReadAllowedSignersFile(file, trust.signers, why, missing) && !missing)
            trust.warnings.push_back("not using " + why);
    }
    for (const std::string& file : sources.givenFiles) {
        struct stat st {};
        bool missing = false;
        if (::stat(file.c_str(), &st) == 0 && (st.st_mode & 002) != 0) {
            error = "not using " + Shown(file) + ": anyone may change it";
            return false;
        }
        if (!ReadAllowedSignersFile(file, trust.signers, error, missing)) return false;
    }
    for (const std::string& p : trust.signers.problems)
        trust.warnings.push_back("line left out: " + Shown(p));
    return true;
}

VerifyOutcome VerifyReportFile(const std::string& path, const std::string& programFolder,
                               const ReportTrust* trust) {
    VerifyOutcome out;
    const std::string shown = Shown(path);
    auto unreadable = [&](std::string why) {
        out.status = kVerifyUnreadable;
        out.lines.clear();
        out.errors.push_back(std::move(why));
        return out;
    };
    std::string error;
    struct stat st {};
    Fd fd(OpenRegular(path, st, error));
    if (fd.get() < 0) return unreadable(error);

    // Every byte goes into the digest the OpenSSH signature beside it covers.
    reportcrypto::Sha512Stream whole;
    std::vector<char> buf(1 << 16);
    bool readFailed = false;
    auto readSome = [&]() -> std::string_view {
        const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
        if (n < 0) readFailed = true;
        if (n <= 0) return {};
        const std::string_view piece(buf.data(), static_cast<size_t>(n));
        whole.Update(piece);
        return piece;
    };
    std::string text;
    for (std::string_view piece; text.size() < 128 && !(piece = readSome()).empty();)
        text.append(piece);
    ReportCheck check;
    JsonValue schema;
    bool haveSchema = false;
    if (ReportVersionOf(text) == 2) {
        // Read a piece at a time however long it is.
        haveSchema = ReadSchema(programFolder, 2, schema);
        ReportStreamCheck stream(haveSchema ? &schema : nullptr);
        stream.Feed(text);
        text.clear();
        text.shrink_to_fit();
        for (std::string_view piece; !(piece = readSome()).empty();) stream.Feed(piece);
        if (readFailed) return unreadable("cannot read " + shown + ": " + std::strerror(errno));
        check = stream.Finish();
    } else {
        if (st.st_size > kMaxWholeReport)
            return unreadable(shown +
                              " is not a Kelvane report (it does not begin as one, and is "
                              "too large for a report of the first version)");
        for (std::string_view piece;
             static_cast<int64_t>(text.size()) <= kMaxWholeReport && !(piece = readSome()).empty();)
            text.append(piece);
        if (readFailed) return unreadable("cannot read " + shown + ": " + std::strerror(errno));
        if (static_cast<int64_t>(text.size()) > kMaxWholeReport)
            return unreadable(shown + " is not a Kelvane report (too large)");
        JsonValue parsed;
        if (!ReadJson(text, parsed, error, kReportMaxValues))
            return unreadable(shown + " is not a Kelvane report: not JSON (" + error + ")");
        if (parsed.type() != JsonValue::Type::kObject ||
            MemberText(parsed, "report") != "kelvane-erasure-report")
            return unreadable(shown + " is not a Kelvane report");
        const int64_t version = MemberInt(&parsed, "schemaVersion", 0);
        if (version != 1 && version != 2)
            return unreadable(shown +
                              " is a Kelvane report of a version this program cannot "
                              "check (" +
                              std::to_string(version) + ")");
        std::string canonical = WriteJson(parsed);
        parsed = JsonValue();
        if (canonical != text) {
            // The signature covers the bytes as written; a report re-indented or
            // re-encoded by a tool no longer has them, whatever it says.
            text.clear();
            text.shrink_to_fit();
            const ReportCheck asWritten = CheckReportText(canonical, nullptr);
            out.status = kVerifyChanged;
            out.lines.push_back("CHANGED: " + shown);
            out.lines.push_back(
                "  the file was rewritten (re-indented, re-encoded or reordered): its spaces, "
                "line breaks or escapes are not those Kelvane wrote, and the signature covers "
                "the text exactly as written");
            out.lines.push_back(
                asWritten.intact
                    ? "  written back as Kelvane writes it, its content matches the signature: "
                      "only the layout was changed; check the original file"
                    : "  its content does not match the signature either" +
                          (asWritten.problems.empty() ? "" : ": " + asWritten.problems.front()));
            return out;
        }
        canonical.clear();
        canonical.shrink_to_fit();
        haveSchema = ReadSchema(programFolder, static_cast<int>(version), schema);
        check = CheckReportText(text, haveSchema ? &schema : nullptr);
    }
    text.clear();
    text.shrink_to_fit();

    // The OpenSSH signature beside it, when there is one, must match too.
    const std::string digest = whole.Final();
    const std::string sigPath = path + ".sig";
    std::string sigText, sigKey, sigNote;
    bool sigMissing = false;
    if (!ReadSmall(sigPath, kMaxSignatureFile, sigText, error, &sigMissing)) {
        if (sigMissing)
            sigNote = "  (no OpenSSH signature " + Shown(sigPath) + " beside it)";
        else
            check.problems.push_back("the OpenSSH signature beside it cannot be read: " + error);
    } else if (!sshformat::CheckArmoredSignature(sigText, sshformat::kReportNamespace, digest,
                                                 sigKey, error)) {
        check.problems.push_back("the OpenSSH signature " + Shown(sigPath) +
                                 " does not fit: " + error);
    } else if (sigKey != check.publicKey) {
        check.problems.push_back("the OpenSSH signature " + Shown(sigPath) +
                                 " is made with another key than the report's");
    } else {
        sigNote = "  The OpenSSH signature " + Shown(sigPath) + " matches it too.";
    }
    check.intact = check.problems.empty();

    if (check.publicKey.size() == 32) {
        out.sshFingerprint = sshformat::Fingerprint(check.publicKey);
        out.allowedSignersLine = "NAME namespaces=\"" + std::string(sshformat::kReportNamespace) +
                                 "\" " + sshformat::PublicKeyLine(check.publicKey);
    }
    if (!check.intact) {
        out.status = kVerifyChanged;
        out.lines.push_back("CHANGED: " + shown);
        for (const std::string& p : check.problems) out.lines.push_back("  " + p);
        return out;
    }

    const bool own = trust && std::find(trust->ownKeys.begin(), trust->ownKeys.end(),
                                        check.publicKey) != trust->ownKeys.end();
    const AllowedSigner* signer =
        trust ? FindAllowedSigner(trust->signers, check.publicKey, sshformat::kReportNamespace,
                                  check.signedAt)
              : nullptr;
    if (own)
        out.trustedBy = "your own key";
    else if (signer)
        out.trustedBy = signer->where + " (" + signer->principals + ")";
    if (!out.trustedBy.empty()) {
        out.status = kVerifyTrusted;
        out.lines.push_back("INTACT: " + shown);
        out.lines.push_back("  Signed by a trusted key: " + out.sshFingerprint + ", " +
                            out.trustedBy);
    } else {
        out.status = kVerifyUntrusted;
        out.lines.push_back("INTACT, BUT SIGNED BY A KEY NOT TRUSTED HERE: " + shown);
        out.lines.push_back("  The key " + out.sshFingerprint +
                            " is not yours and in no allowed-signers file read here.");
        // Said when the key is listed, but not for this use or time.
        if (trust)
            for (const AllowedSigner& s : trust->signers.signers)
                if (s.publicKey == check.publicKey) {
                    out.lines.push_back("  " + s.where +
                                        " lists it, but not for a report signed at " +
                                        UtcTimeText(check.signedAt) +
                                        " (valid-after, valid-before, namespaces or "
                                        "cert-authority)");
                    break;
                }
        out.lines.push_back(
            "  Anyone can make a report and sign it with a key of their own; "
            "trust it only if you know the key. To trust it, add this line, "
            "NAME replaced by who holds the key, to an allowed-signers file "
            "(~/.config/Tessarin/Kelvane/allowed_signers, "
            "/etc/kelvane/allowed_signers, or one given with --trust FILE):");
        out.lines.push_back("  " + out.allowedSignersLine);
        if (!sigNote.empty()) out.lines.push_back(sigNote);
        sigNote.clear();
        out.lines.push_back("What the report says, not vouched for by a trusted key:");
    }
    if (!sigNote.empty()) out.lines.push_back(sigNote);
    if (!haveSchema)
        out.lines.push_back("  (the schema was not found; the fields were not checked)");
    for (const std::string& s : check.summary) out.lines.push_back(s);
    return out;
}
