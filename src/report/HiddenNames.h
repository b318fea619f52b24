#pragma once
// Names a report keeps hidden. Each path, mount point, mount source, device
// model and serial becomes "hmac-sha256:" and the hex HMAC-SHA-256 of its UTF-8
// under a key of that report, which comes from a secret of the user's own
// (32 random bytes in the storage folder, 0600, never in any report). Without
// the secret nobody can test a guess against a report; with it the user can
// show that a path was among those erased. Reports of earlier versions held a
// salt and "sha256:" names instead; those are still recognised.
#include <string>
#include <string_view>
#include <vector>

// HMAC-SHA-256 of `message` under `key`: 32 raw bytes, empty on failure.
std::string HmacSha256(std::string_view key, std::string_view message);

// The secret's file in a storage folder (ending with "/").
std::string NameSecretFile(const std::string& storageFolder);
// Reads the secret: a regular file of this user, not a link, private to them,
// holding 64 hex digits. False with `error` otherwise.
bool LoadNameSecret(const std::string& path, std::string& secret, std::string& error);
// Reads it, or makes it when there is none (never over a file that is there).
bool LoadOrCreateNameSecret(const std::string& path, std::string& secret, std::string& error);

// The key one report's names are hidden with: different for every report, so
// that the same path in two reports does not show as the same.
std::string ReportNameKey(std::string_view secret, std::string_view reportId);
// Tells which secret hid a report's names without telling anything of it.
std::string NameKeyId(std::string_view secret);
// A name as it stands in a report; an empty one stays empty.
std::string HiddenName(std::string_view key, std::string_view name);

// Whether `path` (as the report would name it) is among the hidden entries,
// drives and mount points of the report file: the lines to print, and found.
struct HiddenPathAnswer {
    bool found = false;
    std::vector<std::string> lines;
};
HiddenPathAnswer FindHiddenPath(const std::string& reportFile, const std::string& path,
                                const std::string& storageFolder);
