// Runs the report checker's fuzz entry point over a fixed set of inputs, so that
// every build (gcc included, where libFuzzer is not there) puts the checker
// through the same hostile texts: mutations of real signed reports of both
// versions, of their OpenSSH signature and of allowed-signers lines, made by a
// generator with a fixed seed. Besides the entry point's own rules, a mutated
// report must never check intact. Usage: report_check_replay [COUNT]
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "report/ReportJson.h"
#include "report/ReportStream.h"
#include "report/SshFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

uint64_t state = 0x35a35a35a35a35a3ULL;
uint64_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}
size_t Below(size_t n) {
    return n == 0 ? 0 : static_cast<size_t>(Next() % n);
}

reportcrypto::SigningKey MakeKey() {
    reportcrypto::SigningKey key;
    EVP_PKEY* pkey = nullptr;
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    if (ctx && EVP_PKEY_keygen_init(ctx) == 1 && EVP_PKEY_keygen(ctx, &pkey) == 1) {
        size_t len = 32;
        key.seed.assign(32, '\0');
        key.publicKey.assign(32, '\0');
        EVP_PKEY_get_raw_private_key(pkey, reinterpret_cast<unsigned char*>(key.seed.data()), &len);
        EVP_PKEY_get_raw_public_key(pkey, reinterpret_cast<unsigned char*>(key.publicKey.data()),
                                    &len);
    }
    EVP_PKEY_free(pkey);
    EVP_PKEY_CTX_free(ctx);
    return key;
}

RunRecord Record() {
    RunRecord r;
    r.id = "0f0e0d0c-0b0a-4908-8706-050403020100";
    r.kind = "files";
    r.host = "host";
    r.user = "user";
    r.start = 1'800'000'000;
    r.end = r.start + 5;
    r.outcome = "partly";
    r.exitStatus = 1;
    r.method.passes = 2;
    for (int i = 0; i < 3; ++i) {
        ReportEntry e;
        e.path = "/home/u/f\xc3\xa9 \"" + std::to_string(i) + "\"\\\n";
        e.kind = "file";
        e.size = 100 + i;
        e.result = i == 2 ? "not-erased" : "erased";
        e.reasons = {"copy-on-write"};
        r.entries.push_back(e);
    }
    return r;
}

const char* const kTokens[] = {
    "{",
    "}",
    "[",
    "]",
    "\"",
    ",",
    ":",
    "\\u0000",
    "\\ud800",
    "\\",
    "\n    {\n",
    "\n    },\n",
    "\n  ],\n",
    "  \"signature\": {",
    "\"nameSalt\": \"",
    "0",
    "-",
    "99999999999999999999",
    "true",
    "null",
    "\xff",
    "\xc3",
    "=",
    "-----END SSH SIGNATURE-----\n",
    "namespaces=\"",
    "valid-before=\"20270101Z\"",
    "ssh-ed25519 ",
    "*",
    "!",
    "(a|b)*",
};

std::string Mutate(const std::string& seed) {
    std::string s = seed;
    const size_t rounds = 1 + Below(4);
    for (size_t r = 0; r < rounds; ++r) {
        const size_t at = Below(s.size() + 1);
        switch (Below(9)) {
            case 0:
                if (!s.empty()) s[at % s.size()] ^= static_cast<char>(1u << Below(8));
                break;
            case 1:
                s.insert(at, 1, static_cast<char>(Next()));
                break;
            case 2:
                s.erase(at, 1 + Below(16));
                break;
            case 3: {
                const size_t start = s.rfind('\n', at == 0 ? 0 : at - 1);
                const size_t from = start == std::string::npos ? 0 : start + 1;
                const size_t end = s.find('\n', from);
                if (end != std::string::npos) s.insert(from, s.substr(from, end - from + 1));
                break;
            }
            case 4:
                s.insert(at, kTokens[Below(sizeof kTokens / sizeof kTokens[0])]);
                break;
            case 5:
                s.resize(at);
                break;
            case 6:
                s.insert(at, std::string(1 + Below(3000), "a[{\" \n0"[Below(7)]));
                break;
            case 7:
                if (!s.empty() && s[at % s.size()] >= '0' && s[at % s.size()] <= '9')
                    s[at % s.size()] = static_cast<char>('0' + Below(10));
                break;
            default: {
                // Two lines swapped.
                const size_t a = s.find('\n', at);
                const size_t b = a == std::string::npos ? a : s.find('\n', a + 1);
                const size_t c = b == std::string::npos ? b : s.find('\n', b + 1);
                if (c != std::string::npos)
                    s = s.substr(0, a + 1) + s.substr(b + 1, c - b) + s.substr(a + 1, b - a) +
                        s.substr(c + 1);
                break;
            }
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
    const reportcrypto::SigningKey key = MakeKey();
    if (!key.Valid()) {
        std::fprintf(stderr, "report_check_replay: no key could be made\n");
        return 1;
    }
    const RunRecord record = Record();
    const std::string v2 = SignRunReport(record, key).Text();
    const std::string v1 = SignReport(ReportToJson(record, 1), key);
    reportcrypto::Sha512Stream sha;
    sha.Update(v2);
    const std::string sig =
        sshformat::ArmoredSignature(key, sshformat::kReportNamespace, sha.Final());
    const std::string signers =
        "# auditors\n\"A B\" namespaces=\"kelvane-*\",valid-after=\"20270101\" " +
        sshformat::PublicKeyLine(key.publicKey) + " c\nx@y " +
        sshformat::PublicKeyLine(key.publicKey) + "\n";
    const std::vector<std::string> reports{v2, v1};
    const std::vector<std::string> seeds{v2, v1, sig, signers, "{}", "[0,0,0]"};
    for (const std::string& r : reports)
        if (!CheckReportText(r, nullptr).intact) {
            std::fprintf(stderr, "report_check_replay: a report as written does not check\n");
            return 1;
        }
    long changedIntact = 0;
    for (long i = 0; i < count; ++i) {
        const size_t which = Below(seeds.size());
        const std::string input = Mutate(seeds[which]);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
        if (which < reports.size() && input != reports[which] &&
            CheckReportText(input, nullptr).intact) {
            std::fprintf(stderr,
                         "report_check_replay: input %ld changed a report and checks "
                         "intact\n",
                         i);
            ++changedIntact;
        }
    }
    std::printf("report_check_replay: %ld inputs, %ld changed reports found intact\n", count,
                changedIntact);
    return changedIntact == 0 ? 0 : 1;
}
