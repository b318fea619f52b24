#pragma once
// The keys a report may be signed with to be trusted here: OpenSSH's
// "allowed signers" form (ssh-keygen(1), ALLOWED SIGNERS), so that one file
// serves `ssh-keygen -Y verify -f FILE` and Kelvane alike. A line holds
// principals (a comma-separated pattern list, or one quoted text), options
// (cert-authority, namespaces="...", valid-after="...", valid-before="..."), the
// key type and the base64 key, then an optional comment; blank lines and lines
// starting with '#' are left out. Only ssh-ed25519 keys can sign reports; lines of
// other types are read and never match.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct AllowedSigner {
    std::string principals;  // as written, quotes taken off
    std::string keyType;
    std::string publicKey;  // 32 bytes for ssh-ed25519
    bool certAuthority = false;
    std::optional<std::string> namespaces;  // a pattern list
    std::optional<int64_t> validAfter, validBefore;
    std::string where;  // "FILE:LINE"
};

struct AllowedSigners {
    std::vector<AllowedSigner> signers;
    std::vector<std::string> problems;  // lines left out, "FILE:LINE: why"
};

// Reads the lines of `text`, named `source` in `where` and problems.
void ParseAllowedSigners(std::string_view text, const std::string& source, AllowedSigners& out);

// Reads a file: a regular file of at most 1 MiB, opened without waiting. False
// with `error` when it cannot be read; a missing file is `missing` and no error.
bool ReadAllowedSignersFile(const std::string& path, AllowedSigners& out, std::string& error,
                            bool& missing);

// The first line that trusts this ed25519 key for signatures in `ns` made at
// `when` (seconds since 1970, UTC); null when none does. A cert-authority line
// trusts certificates, never the key's own signatures.
const AllowedSigner* FindAllowedSigner(const AllowedSigners& signers, std::string_view publicKey,
                                       std::string_view ns, int64_t when);

// OpenSSH's pattern lists: names separated by commas, each with '*' and '?';
// a name starting with '!' excludes what it matches.
bool MatchPatternList(std::string_view name, std::string_view list);

// "YYYYMMDD", "YYYYMMDDHHMM" or "YYYYMMDDHHMMSS", in local time unless it ends
// with "Z" (or "UTC"); false when it is none of these.
bool ParseSignerTime(std::string_view text, int64_t& seconds);
