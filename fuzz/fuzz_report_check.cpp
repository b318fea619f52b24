// Feeds arbitrary bytes to the report checker as verify-report meets them: the
// whole text, the same text in pieces of sizes the input chooses, the JSON
// reader, the OpenSSH signature reader and the allowed-signers reader. Beyond the
// sanitizers' checks it aborts when a result breaks a rule that holds for every
// input: pieces of any size give the answer the whole text gives, an answer has
// a reason, and nothing but a well-formed report is intact.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "report/AllowedSigners.h"
#include "report/Json.h"
#include "report/ReportJson.h"
#include "report/ReportStream.h"
#include "report/SchemaPattern.h"
#include "report/SshFormat.h"

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

const JsonValue* Schema() {
    static JsonValue schema;
    static bool read = false;
    if (!read) {
        read = true;
        std::string text;
        if (std::FILE* f = std::fopen(KELVANE_DATA_DIR "/kelvane-report-2.schema.json", "rb")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
            std::fclose(f);
        }
        std::string error;
        if (!ReadJson(text, schema, error)) schema = JsonValue();
    }
    return schema.type() == JsonValue::Type::kObject ? &schema : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const ReportCheck whole = CheckReportText(text, Schema());
    Require(whole.intact == whole.problems.empty());
    if (whole.intact) {
        // Only the one written form of a signed report can be intact.
        JsonValue parsed;
        std::string error;
        Require(ReadJson(text, parsed, error));
        Require(WriteJson(parsed) == text);
        Require(whole.publicKey.size() == 32);
    }

    // Pieces of any size: the same answer as the whole.
    if (ReportVersionOf(text) == 2) {
        const size_t step = size == 0 ? 1 : 1 + data[0] % 97;
        ReportStreamCheck stream(Schema());
        for (size_t at = 0; at < size; at += step)
            stream.Feed(std::string_view(text).substr(at, step));
        const ReportCheck pieces = stream.Finish();
        Require(pieces.intact == whole.intact);
        Require(pieces.problems == whole.problems);
    }

    // The readers of the signature and of the allowed-signers lines.
    std::string key, error;
    const std::string digest(64, '\0');
    Require(
        !sshformat::CheckArmoredSignature(text, sshformat::kReportNamespace, digest, key, error) ||
        key.size() == 32);
    AllowedSigners signers;
    ParseAllowedSigners(text, "fuzz", signers);
    for (const AllowedSigner& s : signers.signers)
        Require(!s.principals.empty() && (s.keyType != "ssh-ed25519" || s.publicKey.size() == 32));
    (void)FindAllowedSigner(signers, key, sshformat::kReportNamespace, 0);

    // A pattern from the input, on the input: compiled or refused, never slow.
    SchemaPattern pattern;
    const size_t cut = size / 2 < 64 ? size / 2 : 64;
    if (pattern.Compile(std::string_view(text).substr(0, cut)))
        (void)pattern.Search(std::string_view(text).substr(cut));
    return 0;
}
