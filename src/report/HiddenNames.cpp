#include "report/HiddenNames.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "report/ReportCrypto.h"

namespace {

constexpr std::string_view kPrefix = "hmac-sha256:";
constexpr size_t kSecretBytes = 32;
// A report's head (everything before its entries) is a few KiB; more is no
// report of ours.
constexpr size_t kMaxHead = 1 << 20;

bool FromHex(std::string_view hex, std::string& out) {
    if (hex.size() % 2 != 0) return false;
    out.clear();
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
    }
    return true;
}

// The text of a member of the report's head: `"key": "value"`; empty when absent.
std::string HeadMember(const std::string& head, const std::string& key) {
    const std::string start = "\n  \"" + key + "\": \"";
    const size_t at = head.find(start);
    if (at == std::string::npos) return {};
    const size_t from = at + start.size();
    const size_t end = head.find('"', from);
    return end == std::string::npos ? std::string() : head.substr(from, end - from);
}

}  // namespace

std::string HmacSha256(std::string_view key, std::string_view message) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
              reinterpret_cast<const unsigned char*>(message.data()), message.size(), md, &len))
        return {};
    return std::string(reinterpret_cast<char*>(md), len);
}

std::string NameSecretFile(const std::string& storageFolder) {
    return storageFolder + "kelvane-report-names.key";
}

bool LoadNameSecret(const std::string& path, std::string& secret, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open the names secret " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    char buf[130];
    ssize_t n = -1;
    const bool fit = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) == 0 &&
                     st.st_uid == ::geteuid() && st.st_size <= 128;
    if (fit) n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    std::string text = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!fit || text.size() != 2 * kSecretBytes || !FromHex(text, secret)) {
        error = "the names secret " + path +
                " must be a private regular file of this user holding 64 hex digits";
        secret.clear();
        return false;
    }
    return true;
}

bool LoadOrCreateNameSecret(const std::string& path, std::string& secret, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) return LoadNameSecret(path, secret, error);
    std::string bytes;
    if (!reportcrypto::RandomBytes(kSecretBytes, bytes)) {
        error = "no random bytes for the names secret";
        return false;
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Another run may have made it just now.
        if (errno == EEXIST) return LoadNameSecret(path, secret, error);
        error = "cannot create the names secret " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = reportcrypto::Hex(bytes) + "\n";
    const bool written =
        ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
        ::fsync(fd) == 0;
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());  // ours: made just now with O_EXCL
        error = "cannot write the names secret " + path;
        return false;
    }
    secret = std::move(bytes);
    return true;
}

std::string ReportNameKey(std::string_view secret, std::string_view reportId) {
    return HmacSha256(secret, "kelvane report names\n" + std::string(reportId));
}

std::string NameKeyId(std::string_view secret) {
    return reportcrypto::Hex(HmacSha256(secret, "kelvane report names key id")).substr(0, 16);
}

std::string HiddenName(std::string_view key, std::string_view name) {
    if (name.empty()) return {};
    return std::string(kPrefix) + reportcrypto::Hex(HmacSha256(key, name));
}

HiddenPathAnswer FindHiddenPath(const std::string& reportFile, const std::string& path,
                                const std::string& storageFolder) {
    HiddenPathAnswer out;
    // Regular files only: a FIFO or a device is never waited on.
    const int fd = ::open(reportFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        out.lines.push_back("cannot look for " + path + ": the report cannot be read");
        return out;
    }
    // The head names the report and how its names were hidden; the names
    // themselves are looked for as quoted values, a piece at a time.
    std::string text;
    char buf[65536];
    ssize_t n = 0;
    size_t headEnd = std::string::npos;
    while (headEnd == std::string::npos && text.size() < kMaxHead &&
           (n = ::read(fd, buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<size_t>(n));
        headEnd = text.find("\n  \"entries\": [");
    }
    // A folder is named with a slash at its end, a mount point of a place
    // without: either form of the path is looked for.
    std::vector<std::string> forms{path};
    if (path.size() > 1 && path.back() == '/')
        forms.push_back(path.substr(0, path.size() - 1));
    else if (!path.empty())
        forms.push_back(path + "/");
    std::vector<std::string> needles;
    if (headEnd != std::string::npos) {
        const std::string head = text.substr(0, headEnd);
        const std::string salt = HeadMember(head, "nameSalt");
        const std::string keyId = HeadMember(head, "nameKeyId");
        const std::string id = HeadMember(head, "id");
        std::string saltBytes, secret, error;
        if (head.find("\n  \"namesHidden\": true") == std::string::npos) {
            out.lines.push_back("the names of this report are not hidden: " + path +
                                " is found by reading it");
        } else if (!salt.empty() && FromHex(salt, saltBytes)) {
            // Earlier reports: the salt is in the report itself.
            for (const std::string& f : forms)
                needles.push_back("sha256:" +
                                  reportcrypto::Hex(reportcrypto::Sha256(saltBytes + f)));
        } else if (keyId.empty() || id.empty()) {
            out.lines.push_back("cannot look for " + path + ": the report says no names key");
        } else if (storageFolder.empty() ||
                   !LoadNameSecret(NameSecretFile(storageFolder), secret, error)) {
            out.lines.push_back("cannot look for " + path + ": " +
                                (error.empty() ? "no storage folder" : error));
        } else if (NameKeyId(secret) != keyId) {
            out.lines.push_back("cannot look for " + path +
                                ": the report's names were hidden with another secret (key " +
                                keyId + ")");
        } else {
            const std::string key = ReportNameKey(secret, id);
            for (const std::string& f : forms) needles.push_back(HiddenName(key, f));
        }
    } else {
        out.lines.push_back("cannot look for " + path + ": not a report");
    }
    if (!needles.empty()) {
        // Each looked for as a quoted value, with a carry so that a name split
        // between two reads is found.
        size_t longest = 0;
        for (std::string& q : needles) {
            q = ": \"" + q + "\"";
            longest = std::max(longest, q.size());
        }
        auto holds = [&](const std::string& window) {
            for (const std::string& q : needles)
                if (window.find(q) != std::string::npos) return true;
            return false;
        };
        bool found = holds(text);
        std::string carry = text.size() >= longest ? text.substr(text.size() - longest) : text;
        while (!found && (n = ::read(fd, buf, sizeof buf)) > 0) {
            const std::string window = carry + std::string(buf, static_cast<size_t>(n));
            found = holds(window);
            carry = window.size() >= longest ? window.substr(window.size() - longest) : window;
        }
        out.found = found;
        if (n < 0)
            out.lines.push_back("cannot look for " + path + ": " + std::strerror(errno));
        else
            out.lines.push_back(found ? "FOUND: " + path + " is among the hidden names"
                                      : "NOT FOUND: " + path + " is not among the hidden names");
    }
    ::close(fd);
    return out;
}
