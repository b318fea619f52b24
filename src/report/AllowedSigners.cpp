#include "report/AllowedSigners.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "report/ReportCrypto.h"
#include "report/SshFormat.h"

namespace {

constexpr size_t kMaxFile = 1 << 20;
constexpr size_t kMaxLine = 16 * 1024;

bool Space(char c) {
    return c == ' ' || c == '\t';
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// One field: up to the next space outside double quotes. Quotes are kept.
bool Field(std::string_view& line, std::string_view& field) {
    size_t i = 0;
    while (i < line.size() && Space(line[i])) ++i;
    line.remove_prefix(i);
    if (line.empty()) return false;
    bool quoted = false;
    size_t end = 0;
    for (; end < line.size(); ++end) {
        if (line[end] == '"') quoted = !quoted;
        if (!quoted && Space(line[end])) break;
    }
    if (quoted) return false;
    field = line.substr(0, end);
    line.remove_prefix(end);
    return true;
}

std::string_view Unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

bool LooksLikeKeyType(std::string_view s) {
    return s.rfind("ssh-", 0) == 0 || s.rfind("ecdsa-", 0) == 0 || s.rfind("sk-", 0) == 0 ||
           s.find("@openssh.com") != std::string_view::npos;
}

// The options field: comma-separated, commas inside quotes kept.
bool ParseOptions(std::string_view options, AllowedSigner& s, std::string& why) {
    while (!options.empty()) {
        bool quoted = false;
        size_t end = 0;
        for (; end < options.size(); ++end) {
            if (options[end] == '"') quoted = !quoted;
            if (!quoted && options[end] == ',') break;
        }
        const std::string_view option = options.substr(0, end);
        options.remove_prefix(end < options.size() ? end + 1 : end);
        const size_t eq = option.find('=');
        const std::string name = Lower(option.substr(0, eq));
        const std::string_view raw = eq == std::string_view::npos ? "" : option.substr(eq + 1);
        if (eq != std::string_view::npos &&
            (raw.size() < 2 || raw.front() != '"' || raw.back() != '"')) {
            why = "the value of " + name + " must be in double quotes";
            return false;
        }
        const std::string_view value = Unquote(raw);
        if (name == "cert-authority" && eq == std::string_view::npos) {
            s.certAuthority = true;
        } else if (name == "namespaces" && eq != std::string_view::npos) {
            s.namespaces = std::string(value);
        } else if ((name == "valid-after" || name == "valid-before") &&
                   eq != std::string_view::npos) {
            int64_t t = 0;
            if (!ParseSignerTime(value, t)) {
                why = "bad time in " + name;
                return false;
            }
            (name == "valid-after" ? s.validAfter : s.validBefore) = t;
        } else {
            why = "unknown option " + std::string(option.substr(0, 40));
            return false;
        }
    }
    return true;
}

bool ParseLine(std::string_view line, AllowedSigner& s, std::string& why) {
    std::string_view principals, next, keyType, key;
    if (!Field(line, principals)) {
        why = "no principals";
        return false;
    }
    // Quoted principals are one text; unquoted ones must not hold quotes.
    if (principals.front() == '"') {
        if (principals.size() < 2 || principals.back() != '"' ||
            Unquote(principals).find('"') != std::string_view::npos) {
            why = "bad quotes in the principals";
            return false;
        }
    } else if (principals.find('"') != std::string_view::npos) {
        why = "bad quotes in the principals";
        return false;
    }
    s.principals = std::string(Unquote(principals));
    if (s.principals.empty() || !Field(line, next)) {
        why = "no key";
        return false;
    }
    if (LooksLikeKeyType(next)) {
        keyType = next;
    } else {
        if (!ParseOptions(next, s, why)) return false;
        if (!Field(line, keyType)) {
            why = "no key";
            return false;
        }
    }
    if (!Field(line, key)) {
        why = "no key";
        return false;
    }
    s.keyType = std::string(keyType);
    std::string blob;
    if (!reportcrypto::FromBase64(key, blob)) {
        why = "the key is not base64";
        return false;
    }
    if (s.keyType == "ssh-ed25519" && !sshformat::Ed25519FromBlob(blob, s.publicKey)) {
        why = "the key is not the ssh-ed25519 key it says";
        return false;
    }
    return true;  // the rest of the line is a comment
}

}  // namespace

bool ParseSignerTime(std::string_view text, int64_t& seconds) {
    bool utc = false;
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
        utc = true;
        text.remove_suffix(1);
    } else if (text.size() > 3 && Lower(text.substr(text.size() - 3)) == "utc") {
        utc = true;
        text.remove_suffix(3);
    }
    if (text.size() != 8 && text.size() != 12 && text.size() != 14) return false;
    int part[6] = {0, 1, 1, 0, 0, 0};
    const size_t width[6] = {4, 2, 2, 2, 2, 2};
    size_t at = 0;
    for (int i = 0; i < 6 && at < text.size(); ++i) {
        int v = 0;
        for (size_t k = 0; k < width[i]; ++k) {
            const char c = text[at + k];
            if (c < '0' || c > '9') return false;
            v = v * 10 + (c - '0');
        }
        part[i] = v;
        at += width[i];
    }
    if (part[1] < 1 || part[1] > 12 || part[2] < 1 || part[2] > 31 || part[3] > 23 ||
        part[4] > 59 || part[5] > 60)
        return false;
    struct tm tm {};
    tm.tm_year = part[0] - 1900;
    tm.tm_mon = part[1] - 1;
    tm.tm_mday = part[2];
    tm.tm_hour = part[3];
    tm.tm_min = part[4];
    tm.tm_sec = part[5];
    tm.tm_isdst = -1;
    const time_t t = utc ? ::timegm(&tm) : std::mktime(&tm);
    if (t == static_cast<time_t>(-1)) return false;
    seconds = static_cast<int64_t>(t);
    return true;
}

bool MatchPatternList(std::string_view name, std::string_view list) {
    // '*' and '?' globbing, greedy with one step back to the last star: at most
    // name × pattern steps, and both are short (a line is at most 16 KiB).
    auto glob = [](std::string_view s, std::string_view p) {
        size_t si = 0, pi = 0, star = std::string_view::npos, mark = 0;
        while (si < s.size()) {
            if (pi < p.size() && (p[pi] == '?' || p[pi] == s[si])) {
                ++si;
                ++pi;
            } else if (pi < p.size() && p[pi] == '*') {
                star = pi++;
                mark = si;
            } else if (star != std::string_view::npos) {
                pi = star + 1;
                si = ++mark;
            } else {
                return false;
            }
        }
        while (pi < p.size() && p[pi] == '*') ++pi;
        return pi == p.size();
    };
    bool matched = false;
    while (true) {
        const size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        const bool negated = !item.empty() && item.front() == '!';
        if (negated) item.remove_prefix(1);
        if (glob(name, item)) {
            if (negated) return false;
            matched = true;
        }
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return matched;
}

void ParseAllowedSigners(std::string_view text, const std::string& source, AllowedSigners& out) {
    size_t number = 0;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t i = 0;
        while (i < line.size() && Space(line[i])) ++i;
        line.remove_prefix(i);
        if (line.empty() || line.front() == '#') continue;
        const std::string where = source + ":" + std::to_string(number);
        if (line.size() > kMaxLine) {
            out.problems.push_back(where + ": line too long");
            continue;
        }
        AllowedSigner s;
        std::string why;
        if (!ParseLine(line, s, why)) {
            out.problems.push_back(where + ": " + why);
            continue;
        }
        s.where = where;
        out.signers.push_back(std::move(s));
    }
}

bool ReadAllowedSignersFile(const std::string& path, AllowedSigners& out, std::string& error,
                            bool& missing) {
    missing = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    std::string text;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
              static_cast<uint64_t>(st.st_size) <= kMaxFile;
    if (!ok) error = path + " is not a regular file of at most 1 MiB";
    char buf[16384];
    ssize_t n = 0;
    while (ok && (n = ::read(fd, buf, sizeof buf)) > 0) {
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > kMaxFile) {
            ok = false;
            error = path + " is not a regular file of at most 1 MiB";
        }
    }
    if (ok && n < 0) {
        ok = false;
        error = "cannot read " + path + ": " + std::strerror(errno);
    }
    ::close(fd);
    if (ok) ParseAllowedSigners(text, path, out);
    return ok;
}

const AllowedSigner* FindAllowedSigner(const AllowedSigners& signers, std::string_view publicKey,
                                       std::string_view ns, int64_t when) {
    for (const AllowedSigner& s : signers.signers) {
        if (s.keyType != "ssh-ed25519" || s.publicKey != publicKey || s.certAuthority) continue;
        if (s.namespaces && !MatchPatternList(ns, *s.namespaces)) continue;
        if (s.validAfter && when < *s.validAfter) continue;
        if (s.validBefore && when > *s.validBefore) continue;
        return &s;
    }
    return nullptr;
}
