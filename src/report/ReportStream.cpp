#include "report/ReportStream.h"

#include <cstring>
#include <vector>

namespace {

constexpr std::string_view kEmptyEntries = "\n  \"entries\": [],\n";
constexpr std::string_view kSignatureLine = "  \"signature\": {";
// Longer lines and entries are no report's: a path is at most a few KiB.
constexpr size_t kMaxLine = 1 << 20;
constexpr size_t kMaxEntry = 4 << 20;
// The report without its entries: drives and warnings are few.
constexpr size_t kMaxRest = 4 << 20;
constexpr size_t kMaxProblems = 20;

// The report's text around its (empty) entries: `head` ends with the opening
// bracket, `tail` begins with the closing one.
bool Split(const std::string& text, bool haveEntries, std::string& head, std::string& tail) {
    const size_t at = text.find(kEmptyEntries);
    if (at == std::string::npos) return false;
    const size_t open = at + kEmptyEntries.size() - 3;  // after "["
    head = text.substr(0, open);
    tail = text.substr(open);
    if (haveEntries) {
        head += "\n";
        tail = "\n  " + tail;
    }
    return true;
}

}  // namespace

bool SignedReport::Emit(const std::function<bool(std::string_view)>& sink) const {
    if (!ok || !sink(head)) return false;
    if (spool ? !spool->ReadBack(sink) : !sink(entries)) return false;
    return sink(tail);
}

std::string SignedReport::Text() const {
    std::string out;
    if (!Emit([&](std::string_view piece) {
            out.append(piece);
            return true;
        }))
        return {};
    return out;
}

SignedReport SignRunReport(const RunRecord& r, const reportcrypto::SigningKey& key) {
    SignedReport out;
    JsonValue report = ReportToJson(r, 2);
    std::string entries;
    if (r.spool) {
        if (!r.spool->Flush()) return out;
    } else {
        for (const ReportEntry& e : r.entries) {
            if (!entries.empty()) entries += ",\n";
            entries += "    " + WriteJsonItem(EntryToJson(e), 2);
        }
    }
    const bool haveEntries = r.spool ? r.spool->Size() > 0 : !entries.empty();
    std::string head, tail;
    if (!Split(WriteJson(report), haveEntries, head, tail)) return out;
    reportcrypto::Sha512Stream sha;
    sha.Update(head);
    if (r.spool) {
        if (!r.spool->ReadBack([&](std::string_view piece) {
                sha.Update(piece);
                return true;
            }))
            return out;
    } else {
        sha.Update(entries);
    }
    sha.Update(tail);
    const std::string digest = sha.Final();
    const std::string value = digest.empty() ? std::string() : reportcrypto::Sign(key, digest);
    if (value.empty()) return out;
    JsonValue sig = JsonValue::Object();
    sig.Set("algorithm", kReportV2Algorithm);
    sig.Set("signedBytes", kReportV2SignedBytes);
    sig.Set("publicKey", reportcrypto::Base64(key.publicKey));
    sig.Set("fingerprint", reportcrypto::Fingerprint(key.publicKey));
    sig.Set("value", reportcrypto::Base64(value));
    report.Set("signature", std::move(sig));
    std::string signedHead;
    if (!Split(WriteJson(report), haveEntries, signedHead, out.tail) || signedHead != head)
        return out;
    out.head = std::move(head);
    out.entries = std::move(entries);
    out.spool = r.spool;
    out.ok = true;
    return out;
}

struct ReportStreamCheck::State {
    enum class At { kHead, kEntryStart, kEntry, kEntriesEnd, kRest, kBroken };
    const JsonValue* schema = nullptr;
    At at = At::kHead;
    std::string line;
    std::string rest;     // the report without its entries
    std::string entry;    // the entry being read
    std::string pending;  // the last line, not yet in the digest
    bool havePending = false, signatureMet = false;
    reportcrypto::Sha512Stream sha;
    ReportTally tally;
    std::vector<std::string> problems;
    int64_t moreProblems = 0;

    void Problem(std::string p) {
        if (p.size() > 300) p = p.substr(0, 300) + "...";
        if (problems.size() < kMaxProblems)
            problems.push_back(std::move(p));
        else
            ++moreProblems;
    }
    void Broken(const std::string& why) {
        Problem("the text is not as it was written: " + why);
        at = At::kBroken;
        line.clear();
        rest.clear();
        entry.clear();
    }

    // The digest takes every line up to the signature member, which it leaves
    // out as if it had never been written.
    void Digest(const std::string& l) {
        if (signatureMet) return;
        if (havePending && at != At::kEntry && l == kSignatureLine && !pending.empty() &&
            pending.back() == ',') {
            sha.Update(std::string_view(pending).substr(0, pending.size() - 1));
            sha.Update("\n}\n");
            signatureMet = true;
            pending.clear();
            return;
        }
        if (havePending) {
            sha.Update(pending);
            sha.Update("\n");
        }
        pending = l;
        havePending = true;
    }

    void Entry() {
        const std::string where = "report.entries[" + std::to_string(tally.entries) + "]";
        JsonValue v;
        std::string error;
        ReportEntry e;
        if (!ReadJson(entry, v, error, kEntryMaxValues)) {
            Problem(where + ": not JSON: " + error);
        } else {
            if (WriteJsonItem(v, 2) != entry)
                Problem(where + ": the text is not as it was written");
            if (schema)
                for (std::string& p : SchemaProblems(*schema, v, "#/$defs/entry", where))
                    Problem(std::move(p));
            if (const JsonValue* size = v.Get("size");
                size && size->type() == JsonValue::Type::kInt)
                e.size = size->integer();
            if (const JsonValue* result = v.Get("result"))
                e.result = result->type() == JsonValue::Type::kString ? result->text() : "";
        }
        tally.Count(e);
        entry.clear();
    }

    void Line(const std::string& l) {
        Digest(l);
        switch (at) {
            case At::kHead:
                if (l == "  \"entries\": [") {
                    rest += "  \"entries\": []";
                    at = At::kEntryStart;
                } else {
                    rest += l + "\n";
                    if (rest.size() > kMaxRest) Broken("too long before the entries");
                }
                break;
            case At::kEntryStart:
                if (l != "    {") return Broken("an entry expected");
                entry = "{";
                at = At::kEntry;
                break;
            case At::kEntry:
                if (l == "    }" || l == "    },") {
                    entry += "\n    }";
                    Entry();
                    at = l.size() == 6 ? At::kEntryStart : At::kEntriesEnd;
                } else {
                    entry += "\n" + l;
                    if (entry.size() > kMaxEntry) Broken("an entry too long");
                }
                break;
            case At::kEntriesEnd:
                if (l != "  ]" && l != "  ],") return Broken("the end of the entries expected");
                rest += l.substr(3) + "\n";
                at = At::kRest;
                break;
            case At::kRest:
                rest += l + "\n";
                if (rest.size() > kMaxRest) Broken("too long");
                break;
            case At::kBroken:
                break;
        }
    }
};

ReportStreamCheck::ReportStreamCheck(const JsonValue* schema) : s_(std::make_unique<State>()) {
    s_->schema = schema;
}

ReportStreamCheck::~ReportStreamCheck() = default;

void ReportStreamCheck::Feed(std::string_view bytes) {
    State& s = *s_;
    while (!bytes.empty() && s.at != State::At::kBroken) {
        const size_t end = bytes.find('\n');
        const size_t len = end == std::string_view::npos ? bytes.size() : end;
        if (s.line.size() + len > kMaxLine) return s.Broken("a line too long");
        s.line.append(bytes.substr(0, len));
        if (end == std::string_view::npos) return;
        s.Line(s.line);
        s.line.clear();
        bytes.remove_prefix(end + 1);
    }
}

ReportCheck ReportStreamCheck::Finish() {
    State& s = *s_;
    ReportCheck c;
    if (s.at != State::At::kBroken &&
        (!s.line.empty() || s.at == State::At::kEntry || s.at == State::At::kEntryStart ||
         s.at == State::At::kEntriesEnd))
        s.Broken("it ends early");
    JsonValue report;
    std::string error;
    if (s.at == State::At::kBroken || !ReadJson(s.rest, report, error, kReportMaxValues) ||
        report.type() != JsonValue::Type::kObject) {
        if (s.at != State::At::kBroken) s.Problem("not a report: " + error);
        c.problems = std::move(s.problems);
        return c;
    }
    if (WriteJson(report) != s.rest)
        s.Problem("the text is not as it was written (spaces, escapes or order changed)");
    if (!s.signatureMet)
        s.Problem("no signature");
    else
        for (std::string& p : SignatureProblems(
                 report, kReportV2Algorithm, kReportV2SignedBytes, [&] { return s.sha.Final(); },
                 c))
            s.Problem(std::move(p));
    if (s.schema)
        for (std::string& p : SchemaProblems(*s.schema, report)) s.Problem(std::move(p));
    // The totals say what the entries add up to.
    const JsonValue* totals = report.Get("totals");
    int64_t erased = s.tally.erased, exceptions = s.tally.exceptions, notErased = s.tally.notErased;
    if (const JsonValue* drives = report.Get("drives"))
        for (const JsonValue& d : drives->items()) {
            const std::string result = MemberText(d, "result");
            (result == "erased" ? erased : result == "not-erased" ? notErased : exceptions)++;
        }
    if (MemberInt(totals, "entries", -1) != s.tally.entries ||
        MemberInt(totals, "erased", -1) != erased ||
        MemberInt(totals, "erasedWithExceptions", -1) != exceptions ||
        MemberInt(totals, "notErased", -1) != notErased ||
        MemberInt(totals, "bytesErased", -1) != s.tally.bytesErased)
        s.Problem("the totals are not those of the entries");
    if (s.moreProblems > 0)
        s.problems.push_back("... and " + std::to_string(s.moreProblems) + " more problem(s)");
    c.problems = std::move(s.problems);
    c.intact = c.problems.empty();
    AddReportSummary(report, c);
    return c;
}
