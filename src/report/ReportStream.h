#pragma once
// Reports of version 2, written and checked a piece at a time.
//
// The text is the one WriteJson (Json.h) gives for the whole report: the
// entries sit in it exactly as they would, but they come from the run's part
// file (ReportSpool.h) and are never held together. What is signed, with
// Ed25519, is the 64-byte SHA-512 digest of that text without its signature
// member; the check reads the file line by line, checks each entry on its own
// (its written form, its schema, the totals it adds to) and the rest of the
// report as a whole, with the entries left out of it.
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "report/ReportCrypto.h"
#include "report/ReportJson.h"
#include "report/ReportSpool.h"

inline constexpr const char* kReportV2Algorithm = "Ed25519 over SHA-512";
inline constexpr const char* kReportV2SignedBytes =
    "the SHA-512 digest of this report as written without its signature member";

struct SignedReport {
    bool ok = false;
    std::string head;                    // up to the entries
    std::string entries;                 // the entries' text, when the record held them all
    std::shared_ptr<ReportSpool> spool;  // or where it is
    std::string tail;                    // after them, the signature included

    // Hands the text out in order; false when a piece could not be read or taken.
    bool Emit(const std::function<bool(std::string_view)>& sink) const;
    std::string Text() const;
};

// Signs the record as a report of version 2.
SignedReport SignRunReport(const RunRecord& record, const reportcrypto::SigningKey& key);

// Checks a report of version 2 fed in pieces of any size. Holds one line, one
// entry and the report without its entries at a time.
class ReportStreamCheck {
  public:
    explicit ReportStreamCheck(const JsonValue* schema);
    ~ReportStreamCheck();
    ReportStreamCheck(const ReportStreamCheck&) = delete;
    ReportStreamCheck& operator=(const ReportStreamCheck&) = delete;

    void Feed(std::string_view bytes);
    ReportCheck Finish();

  private:
    struct State;
    std::unique_ptr<State> s_;
};
