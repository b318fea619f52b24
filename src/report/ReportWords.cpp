#include "report/ReportWords.h"

#include <algorithm>

std::string OutcomeWords(const std::string& outcome) {
    if (outcome == "done") return "Done: every entry was dealt with";
    if (outcome == "partly-done") return "Partly done: some entries were not erased";
    if (outcome == "interrupted") return "Interrupted: the run was stopped before its end";
    return outcome;
}

std::string ResultWords(const std::string& result) {
    if (result == "erased") return "Erased";
    if (result == "erased-with-exceptions") return "Erased, with exceptions";
    if (result == "not-erased") return "NOT erased";
    return result;
}

std::string VerificationWords(const std::string& v) {
    if (v == "passed") return "Read back: overwritten";
    if (v == "failed") return "Read back: FAILED";
    if (v == "not-verifiable") return "Cannot be read back";
    if (v == "not-checked") return "Not read back";
    if (v == "not-run") return "Not overwritten";
    return v;
}

std::string MethodWords(const ReportMethod& m) {
    std::string pattern = "random data";
    if (m.pattern == "fixed-byte") pattern = "the byte " + std::to_string(m.fixedByte);
    if (m.pattern == "pattern-file")
        pattern = "a pattern file (SHA-256 " + m.patternSha256.substr(0, 16) + "...)";
    std::string text = std::to_string(m.passes) + (m.passes == 1 ? " pass" : " passes") + " of " +
                       pattern + ", written in place";
    if (m.namesScrambled) text += ", names scrambled before removal";
    if (m.sizeChanged) text += ", size changed";
    return text;
}

std::string VerificationMethodWords(const ReportMethod& m) {
    return m.verification ? "every file read back after its last pass"
                          : "none (the files were not read back)";
}

std::vector<size_t> AttentionOrder(const std::vector<ReportEntry>& entries) {
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return ReportResultRank(entries[a].result) < ReportResultRank(entries[b].result);
    });
    return order;
}
