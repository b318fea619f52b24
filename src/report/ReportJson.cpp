#include "report/ReportJson.h"

#include <ctime>
#include <string_view>

#include "report/HiddenNames.h"
#include "report/ReportStream.h"
#include "report/SshFormat.h"

namespace {

// Every member of the signature but the signature itself is fixed or follows
// from the key, so that no byte of the report is left unchecked.
constexpr const char* kSignedBytes = "this report as written without its signature member";

// A name as its HMAC under the report's names key; an empty one stays empty.
void HideName(const std::string& key, std::string& name) {
    name = HiddenName(key, name);
}

void HidePlace(ReportPlace& p, const std::string& key) {
    HideName(key, p.mountPoint);
    HideName(key, p.device);
    // A device's model and serial name the disk as surely as a path names the file.
    for (ReportDevice& d : p.devices) {
        HideName(key, d.model);
        HideName(key, d.serial);
    }
}

JsonValue StringList(const std::vector<std::string>& list) {
    JsonValue a = JsonValue::Array();
    for (const std::string& s : list) a.Push(JsonValue::String(s));
    return a;
}

JsonValue PlaceJson(const ReportPlace& p) {
    JsonValue o = JsonValue::Object();
    o.Set("fileSystem", p.fsType);
    o.Set("mountPoint", p.mountPoint);
    o.Set("mountSource", p.device);
    o.Set("encrypted", p.encrypted);
    JsonValue devices = JsonValue::Array();
    for (const ReportDevice& d : p.devices) {
        JsonValue dj = JsonValue::Object();
        dj.Set("name", d.name)
            .Set("model", d.model)
            .Set("serial", d.serial)
            .Set("medium", d.medium);
        devices.Push(std::move(dj));
    }
    o.Set("devices", std::move(devices));
    return o;
}

}  // namespace

std::string UtcTimeText(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm tm {};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string ReportSchemaFile(int version) {
    return "kelvane-report-" + std::to_string(version) + ".schema.json";
}

void HidePlaceName(std::string& name, const std::string& salt) {
    HideName(salt, name);
}

void HideEntryNames(ReportEntry& e, const std::string& key) {
    HideName(key, e.path);
    HidePlace(e.place, key);
}

void HideDriveNames(ReportDrive& d, const std::string& key) {
    HideName(key, d.mountPoint);
    HidePlace(d.place, key);
}

void HideReportNames(RunRecord& r, const std::string& secret) {
    if (r.namesHidden) return;
    std::string own = secret;
    // Without a secret of the user's the names are hidden all the same, with
    // one that nobody keeps.
    if (own.empty() && !reportcrypto::RandomBytes(32, own)) own = r.id;
    const std::string key = ReportNameKey(own, r.id);
    r.namesHidden = true;
    r.nameKeyId = NameKeyId(own);
    for (ReportEntry& e : r.entries) HideEntryNames(e, key);
    for (ReportDrive& d : r.drives) HideDriveNames(d, key);
}

void ReportTally::Count(const ReportEntry& e) {
    ++entries;
    if (e.size > 0 && e.result != "not-erased") bytesErased += e.size;
    (e.result == "erased" ? erased : e.result == "not-erased" ? notErased : exceptions)++;
    for (const std::string& reason : e.reasons) ++reasons[reason];
    if (e.kind == "file" && e.links > 1) ++links;
    if (e.verification == "not-verifiable") ++unverifiable;
}

ReportTally TallyOf(const RunRecord& r) {
    if (r.spool) return r.tally;
    ReportTally t;
    for (const ReportEntry& e : r.entries) t.Count(e);
    return t;
}

JsonValue EntryToJson(const ReportEntry& e) {
    JsonValue j = JsonValue::Object();
    j.Set("path", e.path).Set("kind", e.kind).Set("size", e.size);
    j.Set("device", e.device).Set("inode", e.inode).Set("hardLinks", e.links);
    j.Set("place", PlaceJson(e.place));
    JsonValue v = JsonValue::Object();
    v.Set("decided", e.verdictKnown);
    v.Set("inPlace", e.verdictKnown && e.inPlace);
    v.Set("reasons", StringList(e.reasons));
    j.Set("verdict", std::move(v));
    j.Set("result", e.result).Set("error", e.error);
    j.Set("verification", e.verification).Set("verificationNote", e.verificationNote);
    return j;
}

JsonValue ReportToJson(const RunRecord& r, int version) {
    JsonValue o = JsonValue::Object();
    o.Set("report", "kelvane-erasure-report");
    o.Set("schemaVersion", version);
    o.Set("id", r.id);
    JsonValue program = JsonValue::Object();
    program.Set("name", "Kelvane").Set("version", KELVANE_VERSION);
    o.Set("program", std::move(program));
    o.Set("host", r.host).Set("user", r.user).Set("timeZone", r.timeZone);
    o.Set("start", UtcTimeText(r.start)).Set("end", UtcTimeText(r.end));
    o.Set("kind", r.kind);
    o.Set("outcome", r.outcome).Set("exitStatus", r.exitStatus);
    JsonValue nist = JsonValue::Object();
    nist.Set("guideline", "NIST SP 800-88 Rev. 1");
    nist.Set("methodType", "Clear");
    nist.Set("verificationMethod", r.method.verification ? "full read-back" : "none");
    o.Set("sanitization", std::move(nist));
    JsonValue m = JsonValue::Object();
    m.Set("passes", r.method.passes).Set("pattern", r.method.pattern);
    if (r.method.pattern == "fixed-byte") m.Set("fixedByte", r.method.fixedByte);
    if (r.method.pattern == "pattern-file") m.Set("patternSha256", r.method.patternSha256);
    m.Set("namesScrambled", r.method.namesScrambled).Set("sizeChanged", r.method.sizeChanged);
    m.Set("verification", r.method.verification);
    o.Set("method", std::move(m));
    JsonValue people = JsonValue::Object();
    people.Set("organisation", r.organisation).Set("operator", r.operatorName);
    people.Set("customer", r.customer);
    o.Set("people", std::move(people));
    o.Set("namesHidden", r.namesHidden);
    if (r.namesHidden) o.Set("nameHash", "hmac-sha256").Set("nameKeyId", r.nameKeyId);

    ReportTally t = TallyOf(r);
    JsonValue entries = JsonValue::Array();
    if (version == 1)
        for (const ReportEntry& e : r.entries) entries.Push(EntryToJson(e));
    o.Set("entries", std::move(entries));
    int64_t erased = t.erased, exceptions = t.exceptions, notErased = t.notErased;
    uint64_t written = 0;
    JsonValue drives = JsonValue::Array();
    for (const ReportDrive& d : r.drives) {
        JsonValue j = JsonValue::Object();
        j.Set("mountPoint", d.mountPoint).Set("place", PlaceJson(d.place));
        j.Set("freeBytesBefore", d.freeBytes).Set("bytesWritten", d.bytesWritten);
        j.Set("smallFiles", d.smallFiles).Set("smallFileBytes", d.smallBytes);
        j.Set("longNameFiles", d.longNames).Set("fillerFilesLeft", d.fillerFilesLeft);
        j.Set("reserveReached", d.reserveReached)
            .Set("reserveNotReachedBytes", d.reserveNotReached);
        j.Set("trim", d.trim).Set("onePassOnly", d.onePass);
        JsonValue notReached = JsonValue::Array();
        for (const auto& [what, bytes] : d.notReached) {
            JsonValue n = JsonValue::Object();
            n.Set("what", what).Set("bytes", bytes);
            notReached.Push(std::move(n));
        }
        j.Set("notReached", std::move(notReached));
        j.Set("result", d.result).Set("error", d.error);
        drives.Push(std::move(j));
        written += d.bytesWritten;
        (d.result == "erased" ? erased : d.result == "not-erased" ? notErased : exceptions)++;
    }
    o.Set("drives", std::move(drives));
    JsonValue totals = JsonValue::Object();
    totals.Set("entries", t.entries);
    totals.Set("drives", static_cast<int64_t>(r.drives.size()));
    totals.Set("erased", erased)
        .Set("erasedWithExceptions", exceptions)
        .Set("notErased", notErased);
    totals.Set("bytesErased", t.bytesErased).Set("bytesWritten", written);
    o.Set("totals", std::move(totals));
    o.Set("warnings", StringList(r.warnings));
    return o;
}

std::string SignReport(JsonValue report, const reportcrypto::SigningKey& key) {
    report.Remove("signature");
    const std::string value = reportcrypto::Sign(key, WriteJson(report));
    if (value.empty()) return {};
    JsonValue sig = JsonValue::Object();
    sig.Set("algorithm", "Ed25519");
    sig.Set("signedBytes", kSignedBytes);
    sig.Set("publicKey", reportcrypto::Base64(key.publicKey));
    sig.Set("fingerprint", reportcrypto::Fingerprint(key.publicKey));
    sig.Set("value", reportcrypto::Base64(value));
    report.Set("signature", std::move(sig));
    return WriteJson(report);
}

std::string MemberText(const JsonValue& o, const char* key) {
    const JsonValue* v = o.Get(key);
    return v && v->type() == JsonValue::Type::kString ? v->text() : std::string();
}

int64_t MemberInt(const JsonValue* o, const char* key, int64_t missing) {
    const JsonValue* v = o ? o->Get(key) : nullptr;
    return v && v->type() == JsonValue::Type::kInt ? v->integer() : missing;
}

std::vector<std::string> SignatureProblems(const JsonValue& report, std::string_view algorithm,
                                           std::string_view signedBytes,
                                           const std::function<std::string()>& message,
                                           ReportCheck& c) {
    const JsonValue* sig = report.Get("signature");
    if (!sig || sig->type() != JsonValue::Type::kObject ||
        report.members().back().first != "signature")
        return {"no signature"};
    std::string publicKey, value;
    c.fingerprint = MemberText(*sig, "fingerprint");
    // Its members in the one order they are written in: the signature covers the
    // rest of the text, so no byte of this member may vary either.
    static constexpr const char* kOrder[] = {"algorithm", "signedBytes", "publicKey", "fingerprint",
                                             "value"};
    for (size_t i = 0; i < sig->members().size() && i < 5; ++i)
        if (sig->members()[i].first != kOrder[i]) return {"the signature is damaged"};
    if (MemberText(*sig, "algorithm") != algorithm ||
        MemberText(*sig, "signedBytes") != signedBytes || sig->members().size() != 5 ||
        !reportcrypto::FromBase64(MemberText(*sig, "publicKey"), publicKey) ||
        !reportcrypto::FromBase64(MemberText(*sig, "value"), value))
        return {"the signature is damaged"};
    std::vector<std::string> problems;
    c.publicKey = publicKey;
    if (reportcrypto::Fingerprint(publicKey) != c.fingerprint)
        problems.push_back("the fingerprint is not that of the public key");
    const std::string signedText = message();
    if (signedText.empty() || !reportcrypto::Verify(publicKey, signedText, value))
        problems.push_back("the signature does not match: the report was changed");
    return problems;
}

int64_t ParseUtcTimeText(std::string_view text) {
    // "2026-12-07T22:30:52Z", as UtcTimeText writes it.
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z')
        return -1;
    auto number = [&](size_t at, size_t len) {
        int v = 0;
        for (size_t i = at; i < at + len; ++i) {
            if (text[i] < '0' || text[i] > '9') return -1;
            v = v * 10 + (text[i] - '0');
        }
        return v;
    };
    struct tm tm {};
    tm.tm_year = number(0, 4) - 1900;
    tm.tm_mon = number(5, 2) - 1;
    tm.tm_mday = number(8, 2);
    tm.tm_hour = number(11, 2);
    tm.tm_min = number(14, 2);
    tm.tm_sec = number(17, 2);
    if (tm.tm_year < 0 || tm.tm_mon < 0 || tm.tm_mday < 1 || tm.tm_hour < 0 || tm.tm_min < 0 ||
        tm.tm_sec < 0)
        return -1;
    return static_cast<int64_t>(::timegm(&tm));
}

void AddReportSummary(const JsonValue& report, ReportCheck& c) {
    c.isReport = MemberText(report, "report") == "kelvane-erasure-report";
    c.signedAt = ParseUtcTimeText(MemberText(report, "end"));
    const JsonValue* totals = report.Get("totals");
    c.summary.push_back("Report " + MemberText(report, "id") + " (" + MemberText(report, "kind") +
                        " run)");
    c.summary.push_back("From " + MemberText(report, "start") + " to " + MemberText(report, "end") +
                        " on " + MemberText(report, "host") + " by " + MemberText(report, "user"));
    c.summary.push_back("Outcome: " + MemberText(report, "outcome") + " (exit status " +
                        std::to_string(MemberInt(&report, "exitStatus", 0)) + ")");
    if (totals && totals->type() == JsonValue::Type::kObject)
        c.summary.push_back(
            "Erased: " + std::to_string(MemberInt(totals, "erased", 0)) +
            ", with exceptions: " + std::to_string(MemberInt(totals, "erasedWithExceptions", 0)) +
            ", not erased: " + std::to_string(MemberInt(totals, "notErased", 0)));
    c.summary.push_back("Signed by key " + (c.publicKey.size() == 32
                                                ? sshformat::Fingerprint(c.publicKey)
                                                : c.fingerprint));
}

int ReportVersionOf(std::string_view start) {
    constexpr std::string_view head =
        "{\n  \"report\": \"kelvane-erasure-report\",\n  \"schemaVersion\": ";
    if (start.substr(0, head.size()) != head) return 0;
    int version = 0;
    for (size_t i = head.size(); i < start.size() && i < head.size() + 6; ++i) {
        if (start[i] < '0' || start[i] > '9') return start[i] == ',' ? version : 0;
        version = version * 10 + (start[i] - '0');
    }
    return 0;
}

ReportCheck CheckReportText(const std::string& text, const JsonValue* schema) {
    if (ReportVersionOf(text) == 2) {
        ReportStreamCheck stream(schema);
        stream.Feed(text);
        return stream.Finish();
    }
    ReportCheck c;
    JsonValue report;
    std::string error;
    if (!ReadJson(text, report, error, kReportMaxValues)) {
        c.problems.push_back("not a report: " + error);
        return c;
    }
    if (WriteJson(report) != text) {
        c.problems.push_back(
            "the text is not as it was written (spaces, escapes or order changed)");
        c.rewritten = true;
    }
    for (std::string& p : SignatureProblems(
             report, "Ed25519", kSignedBytes,
             [&] {
                 // The text as written without its last member, the signature:
                 // the same bytes as the report written without it, taken from
                 // the text (which is as written, or the check fails anyway).
                 const size_t at = text.rfind("\n  \"signature\": {");
                 if (c.rewritten || at == std::string::npos || at == 0 || text[at - 1] != ',')
                     return std::string();
                 return text.substr(0, at - 1) + "\n}\n";
             },
             c))
        c.problems.push_back(std::move(p));
    if (schema)
        for (const std::string& p : SchemaProblems(*schema, report)) c.problems.push_back(p);
    c.intact = c.problems.empty();

    AddReportSummary(report, c);
    return c;
}
