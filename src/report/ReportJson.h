#pragma once
// A run's record as the report's JSON, signed, and the check of such a report.
//
// What is signed: the report written by WriteJson (Json.h) without its
// "signature" member, byte for byte. The signature member comes last. A report
// counts as intact only when its text is exactly what WriteJson writes for it, so
// that no byte of the file (spaces and escapes included) can change unnoticed.
#include <string>
#include <vector>

#include "report/Json.h"
#include "report/ReportCrypto.h"
#include "report/ReportRecord.h"

inline constexpr int kReportSchemaVersion = 1;
inline constexpr const char* kReportSchemaFile = "kelvane-report-1.schema.json";

// Puts the salted SHA-256 of every path and mount point in its place; the salt
// is kept in the report, so whoever knows a path can show that it was erased.
void HideReportNames(RunRecord& record);

JsonValue ReportToJson(const RunRecord& record);

// The text of the signed report; empty when it could not be signed.
std::string SignReport(JsonValue report, const reportcrypto::SigningKey& key);

// "2026-12-07T22:30:52Z".
std::string UtcTimeText(int64_t seconds);

struct ReportCheck {
    bool intact = false;
    std::vector<std::string> problems;  // why not
    std::vector<std::string> summary;   // what the report says, line by line
    std::string fingerprint;
};

// Checks the text of a report: its form, its signature and, when `schema` is not
// null, its fields against the schema.
ReportCheck CheckReportText(const std::string& text, const JsonValue* schema);

// Problems of `value` under a JSON Schema: the keywords type, enum, const,
// required, properties, additionalProperties, items, minimum, pattern and local
// "$ref"s; others are ignored. Empty when it fits.
std::vector<std::string> SchemaProblems(const JsonValue& schema, const JsonValue& value);
