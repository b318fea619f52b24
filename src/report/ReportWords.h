#pragma once
// A report's tokens in plain words for people (the PDF, the window): the JSON
// keeps its tokens, the certificate says what they mean. And the order in which
// a reader meets the entries: those that need attention first.
#include <string>
#include <vector>

#include "report/ReportRecord.h"

std::string OutcomeWords(const std::string& outcome);
std::string ResultWords(const std::string& result);
std::string VerificationWords(const std::string& verification);
// "3 passes of random data, names scrambled".
std::string MethodWords(const ReportMethod& method);
std::string VerificationMethodWords(const ReportMethod& method);

// The positions of `entries` with those not erased first, then those erased
// with exceptions, then the others, each group in run order.
std::vector<size_t> AttentionOrder(const std::vector<ReportEntry>& entries);
