#pragma once
// The check of a report file, with one of four answers: intact and signed by a
// key trusted here; intact but signed by a key not trusted here; changed; not
// readable (or not a report). Trusted are the keys the user holds (the
// per-user report key and the one the settings name) and the keys of OpenSSH
// "allowed signers" files: the user's and the system's (UserTrustFile,
// kSystemTrustFile) and any given for one check (--trust). A report carries its
// own public key, so a key being in the report proves nothing: anyone can sign
// a report of their own making.
//
// The checker reads any file within fixed bounds: regular files only, opened
// without waiting, read once in pieces, lines, entries and the rest of the
// report held to fixed sizes, so that its time is linear in the file and its
// memory bounded whatever the file holds.
#include <string>
#include <vector>

#include "report/AllowedSigners.h"

enum VerifyStatus : int {
    kVerifyTrusted = 0,
    kVerifyChanged = 1,
    kVerifyUnreadable = 2,
    kVerifyUntrusted = 3,
};

inline constexpr const char* kSystemTrustFile = "/etc/kelvane/allowed_signers";
// "<config>/Tessarin/Kelvane/allowed_signers" for the per-user configuration
// base ($XDG_CONFIG_HOME, else ~/.config), ending with "/".
std::string UserTrustFile(const std::string& userConfigBase);

struct ReportTrust {
    std::vector<std::string> ownKeys;  // 32-byte public keys of the user's own keys
    AllowedSigners signers;
    std::vector<std::string> warnings;  // trust files left out, and why
};

struct TrustSources {
    std::vector<std::string> ownKeyFiles;  // private keys the user holds; missing ones skipped
    std::vector<std::string> configFiles;  // allowed-signers files of the configuration
    std::vector<std::string> givenFiles;   // --trust: each must be readable
};

// The user's own key files and the configured allowed-signers files.
TrustSources DefaultTrustSources(const std::string& storageFolder, const std::string& keyFile,
                                 const std::string& userConfigBase);

// Reads them. A configuration file is used only when it is a regular file that
// its owner (this user, or root) alone may change; one that is missing is
// nothing. False with `error` when a given file cannot be read or used.
bool LoadReportTrust(const TrustSources& sources, ReportTrust& trust, std::string& error);

struct VerifyOutcome {
    int status = kVerifyUnreadable;
    std::vector<std::string> lines;   // for standard output: the answer, the reasons, the summary
    std::vector<std::string> errors;  // for standard error: why it could not be read
    std::string sshFingerprint;       // "SHA256:..." of the signing key, when readable
    std::string trustedBy;            // "your own key" or "FILE:LINE (principals)"
    std::string allowedSignersLine;   // a line that would trust the signing key
};

// Checks a report file against the keys of `trust` (none trusted when null).
// `programFolder` is where the schema files are looked for.
VerifyOutcome VerifyReportFile(const std::string& path, const std::string& programFolder,
                               const ReportTrust* trust = nullptr);
