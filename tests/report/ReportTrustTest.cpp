// Trust in a report comes from the keys the user trusts, never from the key the
// report carries; the OpenSSH signature beside it is one ssh-keygen accepts; the
// allowed-signers lines are read as OpenSSH reads them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "report/AllowedSigners.h"
#include "report/ReportJson.h"
#include "report/ReportStream.h"
#include "report/ReportVerify.h"
#include "report/ReportWriter.h"
#include "report/SchemaPattern.h"
#include "report/SshFormat.h"
#include "support/TempDir.h"

namespace {

RunRecord Record(const std::string& host) {
    RunRecord r;
    r.id = reportcrypto::NewUuid();
    r.kind = "files";
    r.host = host;
    r.start = 1'800'000'000;  // 2027-01-15T08:00:00Z
    r.end = r.start + 61;
    r.outcome = "done";
    r.method.passes = 1;
    ReportEntry e;
    e.path = "/home/u/a.txt";
    e.kind = "file";
    e.size = 8;
    e.result = "erased";
    r.entries.push_back(e);
    return r;
}

bool HaveSshKeygen() {
    return std::system("command -v ssh-keygen >/dev/null 2>&1") == 0;
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

class ReportTrustTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(reportcrypto::LoadOrCreateKey(dir_.Sub("own.pem"), own_, error)) << error;
        ASSERT_TRUE(reportcrypto::LoadOrCreateKey(dir_.Sub("other.pem"), other_, error)) << error;
    }

    // Writes a report signed with `keyFile` into its own folder; the JSON's path.
    std::string Write(const RunRecord& r, const std::string& keyFile, const std::string& folder) {
        ReportPlan plan;
        plan.folder = dir_.Sub(folder + "/");
        plan.keyFile = keyFile;
        plan.keyIsOwn = false;
        const WrittenReport w = WriteRunReport(r, plan);
        EXPECT_FALSE(w.json.empty()) << (w.problems.empty() ? "" : w.problems[0]);
        EXPECT_EQ(w.sig, w.json + ".sig");
        return w.json;
    }

    ReportTrust OwnTrust(const std::vector<std::string>& given = {}) {
        TrustSources sources;
        sources.ownKeyFiles = {dir_.Sub("own.pem")};
        sources.givenFiles = given;
        ReportTrust trust;
        std::string error;
        EXPECT_TRUE(LoadReportTrust(sources, trust, error)) << error;
        return trust;
    }

    int Verify(const std::string& json, const ReportTrust& trust) {
        const VerifyOutcome v = VerifyReportFile(json, KELVANE_DATA_DIR "/", &trust);
        return v.status;
    }

    TempDir dir_;
    reportcrypto::SigningKey own_, other_;
};

}  // namespace

TEST_F(ReportTrustTest, OnlyATrustedKeyMakesAReportTrustedAndValidityIsHonoured) {
    const std::string mine = Write(Record("mine"), dir_.Sub("own.pem"), "a");
    // The same report edited and signed again by a key of the forger's making.
    RunRecord forged = Record("someone-else");
    forged.outcome = "done";
    const std::string fake = Write(forged, dir_.Sub("other.pem"), "b");

    const ReportTrust own = OwnTrust();
    const VerifyOutcome ok = VerifyReportFile(mine, KELVANE_DATA_DIR "/", &own);
    EXPECT_EQ(ok.status, kVerifyTrusted);
    ASSERT_GE(ok.lines.size(), 2u);
    EXPECT_EQ(ok.lines[0], "INTACT: " + mine);
    EXPECT_NE(ok.lines[1].find("your own key"), std::string::npos) << ok.lines[1];
    EXPECT_TRUE(ok.errors.empty());

    const VerifyOutcome forgedOutcome = VerifyReportFile(fake, KELVANE_DATA_DIR "/", &own);
    EXPECT_EQ(forgedOutcome.status, kVerifyUntrusted) << "a forged report is never trusted";
    EXPECT_EQ(forgedOutcome.sshFingerprint, sshformat::Fingerprint(other_.publicKey));
    std::string said;
    for (const std::string& l : forgedOutcome.lines) said += l + "\n";
    EXPECT_NE(said.find(forgedOutcome.sshFingerprint), std::string::npos) << said;
    EXPECT_NE(said.find("namespaces=\"kelvane-report\" ssh-ed25519 "), std::string::npos) << said;
    EXPECT_EQ(said.find("INTACT:"), std::string::npos) << said;
    EXPECT_EQ(Verify(fake, ReportTrust{}), kVerifyUntrusted);
    EXPECT_EQ(VerifyReportFile(mine, KELVANE_DATA_DIR "/").status, kVerifyUntrusted)
        << "without trusted keys nothing is trusted";

    // An allowed-signers file naming the other key trusts it, within its times,
    // namespaces and kind; the report was signed at 2027-01-15T08:01:01Z.
    const std::string key = sshformat::PublicKeyLine(other_.publicKey);
    struct Case {
        std::string options;
        int status;
    };
    const Case cases[] = {
        {"", kVerifyTrusted},
        {"namespaces=\"kelvane-report\" ", kVerifyTrusted},
        {"namespaces=\"file,kelvane-*\" ", kVerifyTrusted},
        {"namespaces=\"file\" ", kVerifyUntrusted},
        {"namespaces=\"*,!kelvane-report\" ", kVerifyUntrusted},
        {"valid-after=\"20270115Z\",valid-before=\"202701150802Z\" ", kVerifyTrusted},
        {"valid-after=\"20270115080102Z\" ", kVerifyUntrusted},
        {"valid-before=\"20270115080100Z\" ", kVerifyUntrusted},
        {"VALID-BEFORE=\"20280101\" ", kVerifyTrusted},
        {"cert-authority ", kVerifyUntrusted},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string file = dir_.Sub("signers" + std::to_string(n++));
        TempDir::WriteFileAt(file, "# auditors\n\n  \"Jane Doe\" " + c.options + key + " jane\n");
        EXPECT_EQ(Verify(fake, OwnTrust({file})), c.status) << c.options;
        EXPECT_EQ(Verify(mine, OwnTrust({file})), kVerifyTrusted) << "own key: " << c.options;
    }
    // A given file that cannot be read is an error, not an empty trust.
    ReportTrust none;
    std::string error;
    TrustSources missing;
    missing.givenFiles = {dir_.Sub("no-such-file")};
    EXPECT_FALSE(LoadReportTrust(missing, none, error));
    EXPECT_NE(error.find("no-such-file"), std::string::npos);
    // A configuration file others may change is not used.
    const std::string shared = dir_.Sub("shared");
    TempDir::WriteFileAt(shared, "x@y " + key + "\n");
    ::chmod(shared.c_str(), 0666);
    TrustSources config;
    config.configFiles = {shared};
    ReportTrust fromShared;
    ASSERT_TRUE(LoadReportTrust(config, fromShared, error));
    EXPECT_TRUE(fromShared.signers.signers.empty());
    ASSERT_EQ(fromShared.warnings.size(), 1u);
    EXPECT_EQ(Verify(fake, fromShared), kVerifyUntrusted);
}

TEST_F(ReportTrustTest, AllowedSignersAreReadAsOpenSshReadsThem) {
    const std::string key = sshformat::PublicKeyLine(other_.publicKey);
    AllowedSigners s;
    ParseAllowedSigners(
        "# comment\n"
        "\n"
        "a@x,b@y " +
            key +
            " a comment\r\n"
            "\"Jane Doe\" namespaces=\"file,kelvane-report\" " +
            key +
            "\n"
            "c@z valid-after=\"20270101\",valid-before=\"20270201000000Z\" " +
            key +
            "\n"
            "d@z ssh-rsa AAAAB3NzaC1yc2EAAAADAQABAAABAQ== rsa key\n"
            "e@z bogus=\"1\" " +
            key +
            "\n"
            "f@z valid-after=\"2027\" " +
            key +
            "\n"
            "g@z ssh-ed25519 not*base64\n"
            "\"unclosed " +
            key +
            "\n"
            "h@z\n",
        "F", s);
    ASSERT_EQ(s.signers.size(), 4u);
    EXPECT_EQ(s.signers[0].principals, "a@x,b@y");
    EXPECT_EQ(s.signers[0].where, "F:3");
    EXPECT_EQ(s.signers[0].publicKey, other_.publicKey);
    EXPECT_EQ(s.signers[1].principals, "Jane Doe");
    EXPECT_EQ(*s.signers[1].namespaces, "file,kelvane-report");
    int64_t t = 0;
    ASSERT_TRUE(ParseSignerTime("20270201000000Z", t));
    EXPECT_EQ(*s.signers[2].validBefore, t);
    EXPECT_EQ(t, 1'801'440'000);
    EXPECT_EQ(s.signers[3].keyType, "ssh-rsa");
    EXPECT_TRUE(s.signers[3].publicKey.empty());
    ASSERT_EQ(s.problems.size(), 5u);
    EXPECT_EQ(s.problems[0].rfind("F:7: unknown option", 0), 0u) << s.problems[0];
    EXPECT_EQ(s.problems[1].rfind("F:8: bad time", 0), 0u) << s.problems[1];
    EXPECT_EQ(s.problems[4].rfind("F:11:", 0), 0u) << s.problems[4];

    EXPECT_TRUE(MatchPatternList("kelvane-report", "file,kelvane-*"));
    EXPECT_TRUE(MatchPatternList("kelvane-report", "k?lvane-report"));
    EXPECT_FALSE(MatchPatternList("kelvane-report", "*,!kelvane-*"));
    EXPECT_FALSE(MatchPatternList("kelvane-report", "kelvane"));
    EXPECT_FALSE(ParseSignerTime("20271301", t));
    EXPECT_FALSE(ParseSignerTime("2027010", t));
    EXPECT_TRUE(ParseSignerTime("202701010000UTC", t));
}

TEST_F(ReportTrustTest, SshKeygenAcceptsEveryReportSignatureAndRefusesAnyChange) {
    if (!HaveSshKeygen()) GTEST_SKIP() << "ssh-keygen (openssh-client) is not installed";
    const std::string json = Write(Record("host"), dir_.Sub("own.pem"), "r");
    const std::string signers = dir_.Sub("allowed_signers");
    TempDir::WriteFileAt(signers, "auditor@example.org namespaces=\"kelvane-report\" " +
                                      sshformat::PublicKeyLine(own_.publicKey) + "\n");
    auto sshVerify = [&](const std::string& file) {
        return Shell("ssh-keygen -Y verify -f " + Quoted(signers) +
                     " -I auditor@example.org -n kelvane-report -s " + Quoted(json + ".sig") +
                     " < " + Quoted(file) + " >/dev/null 2>&1");
    };
    EXPECT_EQ(sshVerify(json), 0);
    // Another namespace or principal is refused by ssh-keygen itself.
    EXPECT_NE(
        Shell("ssh-keygen -Y verify -f " + Quoted(signers) + " -I auditor@example.org -n file -s " +
              Quoted(json + ".sig") + " < " + Quoted(json) + " >/dev/null 2>&1"),
        0);
    const std::string text = ReadWholeFile(json);
    const std::string sig = ReadWholeFile(json + ".sig");
    // Every byte, checked the way ssh-keygen checks it, and a spread of them by
    // ssh-keygen itself.
    for (size_t i = 0; i < text.size(); ++i) {
        std::string changed = text;
        changed[i] = static_cast<char>(changed[i] ^ 0x01);
        reportcrypto::Sha512Stream sha;
        sha.Update(changed);
        std::string key, error;
        ASSERT_FALSE(sshformat::CheckArmoredSignature(sig, sshformat::kReportNamespace, sha.Final(),
                                                      key, error))
            << "byte " << i;
        if (i % (text.size() / 24) == 0 || i + 1 == text.size()) {
            TempDir::WriteFileAt(dir_.Sub("changed.json"), changed);
            EXPECT_NE(sshVerify(dir_.Sub("changed.json")), 0) << "byte " << i;
        }
    }
    TempDir::WriteFileAt(dir_.Sub("longer.json"), text + "\n");
    EXPECT_NE(sshVerify(dir_.Sub("longer.json")), 0);

    // Kelvane checks the signature beside the report too.
    const ReportTrust own = OwnTrust();
    EXPECT_EQ(Verify(json, own), kVerifyTrusted);
    std::string badSig = sig;
    badSig[badSig.find('\n') + 40] ^= 0x01;
    TempDir::WriteFileAt(json + ".sig.tmp", badSig);
    ASSERT_EQ(::rename((json + ".sig.tmp").c_str(), (json + ".sig").c_str()), 0);
    const VerifyOutcome changedSig = VerifyReportFile(json, KELVANE_DATA_DIR "/", &own);
    EXPECT_EQ(changedSig.status, kVerifyChanged);

    // The key's OpenSSH forms are those ssh-keygen gives for it.
    const std::string sshKey = dir_.Sub("id_kelvane");
    TempDir::WriteFileAt(sshKey, sshformat::WriteOpenSshPrivateKey(own_, "me"));
    ::chmod(sshKey.c_str(), 0600);
    ASSERT_EQ(
        Shell("ssh-keygen -l -f " + Quoted(sshKey) + " > " + Quoted(dir_.Sub("fp")) + " 2>&1"), 0)
        << ReadWholeFile(dir_.Sub("fp"));
    EXPECT_EQ(ReadWholeFile(dir_.Sub("fp"))
                  .rfind("256 " + sshformat::Fingerprint(own_.publicKey) + " me (ED25519)", 0),
              0u)
        << ReadWholeFile(dir_.Sub("fp"));
    ASSERT_EQ(Shell("ssh-keygen -y -f " + Quoted(sshKey) + " > " + Quoted(dir_.Sub("pub"))), 0);
    EXPECT_EQ(ReadWholeFile(dir_.Sub("pub")).rfind(sshformat::PublicKeyLine(own_.publicKey), 0),
              0u);
    // A key made by ssh-keygen signs reports that it then accepts.
    const std::string made = dir_.Sub("id_made");
    ASSERT_EQ(Shell("ssh-keygen -q -t ed25519 -N '' -C org -f " + Quoted(made)), 0);
    reportcrypto::SigningKey org;
    std::string error;
    ASSERT_TRUE(reportcrypto::LoadKey(made, org, error)) << error;
    EXPECT_EQ(ReadWholeFile(made + ".pub").rfind(sshformat::PublicKeyLine(org.publicKey), 0), 0u);
    const std::string orgJson = Write(Record("org"), made, "o");
    TempDir::WriteFileAt(signers, "auditor@example.org " + sshformat::PublicKeyLine(org.publicKey));
    EXPECT_EQ(Shell("ssh-keygen -Y verify -f " + Quoted(signers) +
                    " -I auditor@example.org -n kelvane-report -s " + Quoted(orgJson + ".sig") +
                    " < " + Quoted(orgJson) + " >/dev/null 2>&1"),
              0);
    EXPECT_EQ(Verify(orgJson, OwnTrust({signers})), kVerifyTrusted);
    EXPECT_EQ(Verify(orgJson, own), kVerifyUntrusted);
}

TEST(SchemaPattern, MatchesAsARegularExpressionInOnePass) {
    struct Case {
        const char* pattern;
        const char* text;
        bool match;
    };
    const Case cases[] = {
        {"^[0-9a-f]+$", "00ff", true},
        {"^[0-9a-f]+$", "00fg", false},
        {"^[0-9a-f]+$", "", false},
        {"^([0-9a-f]{64})?$", "", true},
        {"^([0-9a-f]{64})?$", "ab", false},
        {"^SHA256:[0-9a-f]{4}$", "SHA256:beef", true},
        {"^SHA256:[0-9a-f]{4}$", "SHA256:beefa", false},
        {"b+c", "aabbbcd", true},
        {"^(ab|cd)*e{1,2}$", "abcdabee", true},
        {"^(ab|cd)*e{1,2}$", "abcdabeee", false},
        {"^[A-Za-z0-9+/]{3}=$", "a+/=", true},
        {"^[^/]*\\.txt$", "a.txt", true},
        {"^[^/]*\\.txt$", "d/a.txt", false},
        {"^a.c$", "abc", true},
        {"^a\\d{2}$", "a12", true},
    };
    for (const Case& c : cases) {
        SchemaPattern p;
        ASSERT_TRUE(p.Compile(c.pattern)) << c.pattern;
        EXPECT_EQ(p.Search(c.text), c.match) << c.pattern << " on " << c.text;
    }
    for (const char* refused : {"(?=a)", "a**", "^a^", "[a-", "(a", "a{2,1}", "a{99999}", "\\k"}) {
        SchemaPattern p;
        EXPECT_FALSE(p.Compile(refused)) << refused;
    }
    // A text a backtracking search recurses on once per character.
    SchemaPattern hex;
    ASSERT_TRUE(hex.Compile("^[0-9a-f]+$"));
    EXPECT_TRUE(hex.Search(std::string(5'000'000, 'a')));
    EXPECT_FALSE(hex.Search(std::string(5'000'000, 'a') + "x"));
}

TEST_F(ReportTrustTest, TheSignatureMemberIsCheckedToTheLastByteOfItsOrder) {
    // Two members of the signature swapped: the same values, another text.
    for (const std::string& text : {SignRunReport(Record("h"), own_).Text(),
                                    SignReport(ReportToJson(Record("h"), 1), own_)}) {
        ASSERT_TRUE(CheckReportText(text, nullptr).intact);
        const size_t a = text.find("    \"algorithm\"");
        const size_t b = text.find('\n', a) + 1;
        const size_t c = text.find('\n', b) + 1;
        ASSERT_NE(a, std::string::npos);
        const std::string swapped =
            text.substr(0, a) + text.substr(b, c - b) + text.substr(a, b - a) + text.substr(c);
        ASSERT_NE(swapped, text);
        const ReportCheck check = CheckReportText(swapped, nullptr);
        EXPECT_FALSE(check.intact);
    }
}
