#pragma once
// A run's record as the report's JSON, signed, and the check of such a report.
//
// What is signed: the report written by WriteJson (Json.h) without its
// "signature" member, byte for byte. The signature member comes last. A report
// counts as intact only when its text is exactly what WriteJson writes for it, so
// that no byte of the file (spaces and escapes included) can change unnoticed.
// Version 1 signs that text itself with Ed25519; version 2 (ReportStream.h)
// signs its SHA-512 digest, so that neither writing nor checking needs the whole
// text at once. Both versions are checked.
#include <functional>
#include <string>
#include <vector>

#include "report/Json.h"
#include "report/ReportCrypto.h"
#include "report/ReportRecord.h"

inline constexpr int kReportSchemaVersion = 2;
// The schema file of a version ("kelvane-report-2.schema.json").
std::string ReportSchemaFile(int version);

// Puts the HMAC of every path, mount point, mount source, device model and
// serial in its place (HiddenNames.h), under a key made from `secret` (the
// user's names secret; empty: a random one that nobody keeps). A record whose
// names are hidden already (as its entries ended) stays as it is.
void HideReportNames(RunRecord& record, const std::string& secret);
// The same for one entry or drive, with the report's names key.
void HideEntryNames(ReportEntry& entry, const std::string& key);
void HideDriveNames(ReportDrive& drive, const std::string& key);
// One name (a path or a mount point) in place; an empty one stays empty.
void HidePlaceName(std::string& name, const std::string& key);

JsonValue EntryToJson(const ReportEntry& entry);
// The counts of the record's entries: its tally when they went to a spool.
ReportTally TallyOf(const RunRecord& record);
// Version 1 holds the record's entries; version 2 leaves "entries" empty, for the
// writer to fill in from the spool (ReportStream.h).
JsonValue ReportToJson(const RunRecord& record, int version = kReportSchemaVersion);

// The text of a signed report of version 1; empty when it could not be signed.
std::string SignReport(JsonValue report, const reportcrypto::SigningKey& key);

// "2026-12-07T22:30:52Z".
std::string UtcTimeText(int64_t seconds);

struct ReportCheck {
    bool intact = false;
    std::vector<std::string> problems;  // why not
    std::vector<std::string> summary;   // what the report says, line by line
    std::string fingerprint;            // as the report states it
    std::string publicKey;              // the 32 bytes it names, when readable
    int64_t signedAt = -1;              // its end time, which the signature covers
    bool isReport = false;              // it says it is a Kelvane report
    bool rewritten = false;             // it parses, but is not written as Kelvane writes
};

// What the checker holds of one report at most: values of a version-1 report (held
// whole) or of the rest of a version-2 report (without its entries), and of one
// version-2 entry.
inline constexpr size_t kReportMaxValues = 100'000;
inline constexpr size_t kEntryMaxValues = 20'000;

// "2026-12-07T22:30:52Z" as seconds since 1970; -1 when it is not that form.
int64_t ParseUtcTimeText(std::string_view text);

// A member's text or number; "" or `missing` when it is absent or of another type.
std::string MemberText(const JsonValue& object, const char* key);
int64_t MemberInt(const JsonValue* object, const char* key, int64_t missing);

// Checks the signature member of a parsed report, which must be its last and
// name `algorithm` and `signedBytes`, over `message()` (asked for only when the
// member is whole). Sets the check's fingerprint; returns the problems.
std::vector<std::string> SignatureProblems(const JsonValue& report, std::string_view algorithm,
                                           std::string_view signedBytes,
                                           const std::function<std::string()>& message,
                                           ReportCheck& check);

// The summary lines of a parsed report.
void AddReportSummary(const JsonValue& report, ReportCheck& check);

// The version a report's text says it is (its third line); 0 when it says none.
int ReportVersionOf(std::string_view start);

// Checks the whole text of a report of either version: its form, its signature
// and, when `schema` (of that version) is not null, its fields.
ReportCheck CheckReportText(const std::string& text, const JsonValue* schema);

// Problems of `value` under a JSON Schema: the keywords type, enum, const,
// required, properties, additionalProperties, items, minimum, pattern and local
// "$ref"s; others are ignored. Empty when it fits. With `part` ("#/$defs/entry"),
// under that part of the schema.
std::vector<std::string> SchemaProblems(const JsonValue& schema, const JsonValue& value,
                                        const std::string& part = {},
                                        const std::string& where = "report");
