// verify-report as a script and an auditor use it: four answers by exit status,
// trust only from the keys trusted here, the OpenSSH signature that ssh-keygen
// checks, and a checker that ends with an answer, in bounded memory, on any
// file it is given.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "CliProcess.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

class CliTrustTest : public ::testing::Test {
  protected:
    // Shreds one file under a configuration of its own; the report's path.
    std::string ShredRun(const std::string& config, const std::string& name,
                         const std::vector<std::string>& extra = {}) {
        tmp_.WriteFile(name + "/a.txt", "secret of " + name);
        std::vector<std::string> args{"shred", "-y", "-q", "-n", "1"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(tmp_.Sub(name));
        const CliResult run = RunCli(tmp_.Sub(config), args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const auto& e : fs::directory_iterator(tmp_.Sub(config + "/Tessarin/Kelvane/Reports")))
            if (e.path().extension() == ".json" &&
                std::find(seen_.begin(), seen_.end(), e.path().string()) == seen_.end()) {
                seen_.push_back(e.path().string());
                return e.path().string();
            }
        ADD_FAILURE() << "no report of " << name;
        return {};
    }

    CliResult Verify(const std::string& config, std::vector<std::string> args) {
        args.insert(args.begin(), "verify-report");
        return RunCli(tmp_.Sub(config), args);
    }

    std::string Output(const std::string& config, const std::vector<std::string>& args) {
        const CliResult r = RunCli(tmp_.Sub(config), args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out.empty() ? r.out : r.out.substr(0, r.out.size() - 1);
    }

    static bool HaveSshKeygen() {
        return std::system("command -v ssh-keygen >/dev/null 2>&1") == 0;
    }

    TempDir tmp_;
    std::vector<std::string> seen_;
};

}  // namespace

TEST_F(CliTrustTest, AReportIsTrustedOnlyUnderAKeyTrustedHere) {
    const std::string mine = ShredRun("me", "w1");
    // Another installation: another key, a report of its own making.
    const std::string forged = ShredRun("forger", "w2");

    const CliResult ok = Verify("me", {mine});
    EXPECT_EQ(ok.exitCode, 0) << ok.out << ok.err;
    EXPECT_EQ(ok.out.rfind("INTACT: " + mine + "\n", 0), 0u) << ok.out;
    EXPECT_NE(ok.out.find("Outcome: done"), std::string::npos) << ok.out;
    EXPECT_EQ(ok.err, "");

    const std::string forgerKey = Output("forger", {"key"});
    EXPECT_EQ(forgerKey.rfind("SHA256:", 0), 0u) << forgerKey;
    EXPECT_NE(forgerKey, Output("me", {"key"}));
    const CliResult untrusted = Verify("me", {forged});
    EXPECT_EQ(untrusted.exitCode, 3) << untrusted.out << untrusted.err;
    EXPECT_EQ(untrusted.out.rfind("INTACT, BUT SIGNED BY A KEY NOT TRUSTED HERE: ", 0), 0u)
        << untrusted.out;
    EXPECT_NE(untrusted.out.find(forgerKey), std::string::npos) << untrusted.out;
    EXPECT_NE(untrusted.out.find("--trust"), std::string::npos) << untrusted.out;

    // The forger's allowed-signers line, given or kept in the configuration.
    const std::string line = Output("forger", {"key", "--allowed-signers", "Forger Inc"});
    EXPECT_EQ(line.rfind("\"Forger Inc\" namespaces=\"kelvane-report\" ssh-ed25519 AAAA", 0), 0u)
        << line;
    EXPECT_EQ(Output("forger", {"key", "--public"}).rfind("ssh-ed25519 AAAA", 0), 0u);
    tmp_.WriteFile("forger.signers", line + "\n");
    const CliResult given = Verify("me", {"--trust", tmp_.Sub("forger.signers"), forged});
    EXPECT_EQ(given.exitCode, 0) << given.out << given.err;
    EXPECT_NE(given.out.find("forger.signers:1 (Forger Inc)"), std::string::npos) << given.out;
    tmp_.WriteFile("me/Tessarin/Kelvane/allowed_signers", "# trusted here\n" + line + "\n");
    ::chmod(tmp_.Sub("me/Tessarin/Kelvane/allowed_signers").c_str(), 0600);
    EXPECT_EQ(Verify("me", {forged}).exitCode, 0);
    ::unlink(tmp_.Sub("me/Tessarin/Kelvane/allowed_signers").c_str());

    // Changed, unreadable, usage.
    std::string text = ReadWholeFile(forged);
    text[text.find("\"done\"") + 1] = 'D';
    tmp_.WriteFile("changed.json", text);
    const CliResult changed =
        Verify("me", {"--trust", tmp_.Sub("forger.signers"), tmp_.Sub("changed.json")});
    EXPECT_EQ(changed.exitCode, 1) << changed.out;
    EXPECT_EQ(changed.out.rfind("CHANGED: ", 0), 0u) << changed.out;
    const CliResult missing = Verify("me", {tmp_.Sub("none.json")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.out, "") << "errors go to standard error";
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos) << missing.err;
    for (const char* help : {"-h", "--help"}) {
        const CliResult h = Verify("me", {help});
        EXPECT_EQ(h.exitCode, 0) << help;
        EXPECT_EQ(h.out.rfind("Usage: ", 0), 0u) << help;
        EXPECT_NE(h.out.find("ssh-keygen -Y verify -f allowed_signers -I PRINCIPAL -n "
                             "kelvane-report"),
                  std::string::npos);
    }
    EXPECT_EQ(Verify("me", {"--bogus", mine}).exitCode, 4);
    EXPECT_EQ(Verify("me", {mine, mine}).exitCode, 4);
    EXPECT_EQ(Verify("me", {"--trust", tmp_.Sub("no-such"), mine}).exitCode, 4);

    // The window program answers alike.
#ifdef KELVANE_EXE
    auto window = [&](const std::string& args) {
        const int status =
            std::system(("XDG_CONFIG_HOME='" + tmp_.Sub("me") + "' " KELVANE_EXE " -verifyreport " +
                         args + " >/dev/null 2>&1")
                            .c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(window("'" + mine + "'"), 0);
    EXPECT_EQ(window("'" + forged + "'"), 3);
    EXPECT_EQ(window("--trust '" + tmp_.Sub("forger.signers") + "' '" + forged + "'"), 0);
    EXPECT_EQ(window("'" + tmp_.Sub("changed.json") + "'"), 1);
    EXPECT_EQ(window("'" + tmp_.Sub("none.json") + "'"), 2);
    EXPECT_EQ(window(""), 4);
#endif
}

TEST_F(CliTrustTest, AnOrganisationKeySignsAndSshKeygenChecksEveryReport) {
    if (!HaveSshKeygen()) GTEST_SKIP() << "ssh-keygen (openssh-client) is not installed";
    const std::string org = tmp_.Sub("org_ed25519");
    ASSERT_EQ(std::system(("ssh-keygen -q -t ed25519 -N '' -C org -f '" + org + "'").c_str()), 0);
    const std::string report = ShredRun("me", "w3", {"--key", org});
    ASSERT_TRUE(fs::exists(report + ".sig"));
    // Signed by the organisation's key: not the user's own, so trusted only by a line.
    EXPECT_EQ(Verify("me", {report}).exitCode, 3);
    const std::string line = Output("me", {"key", "--key", org, "--allowed-signers", "org@x"});
    tmp_.WriteFile("org.signers", line + "\n");
    EXPECT_EQ(Verify("me", {"--trust", tmp_.Sub("org.signers"), report}).exitCode, 0);
    // key prints what ssh-keygen prints for the same key.
    const CliResult fp = RunCli(tmp_.Sub("me"), {"key", "--key", org});
    const int got =
        std::system(("ssh-keygen -l -f '" + org + "' > '" + tmp_.Sub("fp") + "'").c_str());
    ASSERT_EQ(got, 0);
    EXPECT_EQ(ReadWholeFile(tmp_.Sub("fp")).substr(4, fp.out.size() - 1),
              fp.out.substr(0, fp.out.size() - 1));

    auto sshVerify = [&](const std::string& signers, const std::string& who,
                         const std::string& file) {
        const std::string cmd = "ssh-keygen -Y verify -f '" + signers + "' -I " + who +
                                " -n kelvane-report -s '" + report + ".sig' < '" + file +
                                "' >/dev/null 2>&1";
        return std::system(cmd.c_str()) == 0;
    };
    EXPECT_TRUE(sshVerify(tmp_.Sub("org.signers"), "org@x", report));
    EXPECT_FALSE(sshVerify(tmp_.Sub("org.signers"), "someone@else", report));
    // Any byte changed: refused (a spread of bytes, first and last included).
    const std::string text = ReadWholeFile(report);
    for (size_t i = 0; i < text.size(); i += text.size() / 16) {
        std::string changed = text;
        changed[i] = static_cast<char>(changed[i] ^ 0x04);
        tmp_.WriteFile("c.json", changed);
        EXPECT_FALSE(sshVerify(tmp_.Sub("org.signers"), "org@x", tmp_.Sub("c.json"))) << i;
    }
    tmp_.WriteFile("c.json", text.substr(0, text.size() - 1));
    EXPECT_FALSE(sshVerify(tmp_.Sub("org.signers"), "org@x", tmp_.Sub("c.json")));
    // A key file others may read is refused before anything is touched.
    ::chmod(org.c_str(), 0644);
    tmp_.WriteFile("w4/a.txt", "kept");
    const CliResult refused = RunCli(tmp_.Sub("me"), {"shred", "-y", "--key", org, tmp_.Sub("w4")});
    EXPECT_EQ(refused.exitCode, 4) << refused.err;
    EXPECT_TRUE(fs::exists(tmp_.Sub("w4/a.txt")));
}

TEST_F(CliTrustTest, HostileFilesEndWithAnAnswerInBoundedMemory) {
    const std::string real = ShredRun("me", "w5");
    const std::string text = ReadWholeFile(real);
    std::vector<std::pair<std::string, int>> files;  // name, the status it must get
    {
        // A name salt of 50,000 hex digits in an otherwise real report.
        std::string salted = text;
        const std::string from = "\"namesHidden\": false,\n";
        const size_t at = salted.find(from);
        ASSERT_NE(at, std::string::npos);
        salted.replace(
            at, from.size(),
            "\"namesHidden\": true,\n  \"nameSalt\": \"" + std::string(50'000, 'a') + "\",\n");
        tmp_.WriteFile("salt.json", salted);
        files.emplace_back("salt.json", 1);
    }
    {
        std::string members = "{";
        for (int i = 0; i < 200'000; ++i)
            members += (i ? ",\"m" : "\"m") + std::to_string(i) + "\":0";
        members += "}";
        tmp_.WriteFile("members.json", members);
        files.emplace_back("members.json", 2);
        // The same object as an entry of a real report, one member a line.
        std::string entry = "    {\n";
        for (int i = 0; i < 200'000; ++i)
            entry += "      \"m" + std::to_string(i) + "\": 0" + (i + 1 < 200'000 ? ",\n" : "\n");
        entry += "    }";
        std::string inReport = text;
        const std::string entries = "  \"entries\": [\n";
        const size_t open = inReport.find(entries);
        ASSERT_NE(open, std::string::npos);
        inReport.insert(open + entries.size(), entry + ",\n");
        tmp_.WriteFile("entry.json", inReport);
        files.emplace_back("entry.json", 1);
    }
    for (const int mib : {8, 24}) {
        std::string zeros = "[0";
        while (zeros.size() < static_cast<size_t>(mib) << 20) zeros += ",0";
        zeros += "]";
        tmp_.WriteFile("zeros" + std::to_string(mib) + ".json", zeros);
        files.emplace_back("zeros" + std::to_string(mib) + ".json", 2);
    }
    tmp_.WriteFile("empty-object.json", "{}");
    files.emplace_back("empty-object.json", 2);
    tmp_.WriteFile("empty.json", "");
    files.emplace_back("empty.json", 2);
    ASSERT_EQ(::mkfifo(tmp_.Sub("fifo.json").c_str(), 0600), 0);
    files.emplace_back("fifo.json", 2);
    files.emplace_back("", 2);  // a folder: the test's own
    {
        // Re-indented: every line's indent doubled, the content the same.
        std::string wide;
        for (size_t i = 0; i < text.size(); ++i) {
            wide += text[i];
            if (text[i] == '\n')
                for (size_t k = i + 1; k < text.size() && text[k] == ' '; ++k) wide += ' ';
        }
        tmp_.WriteFile("reindented.json", wide);
        files.emplace_back("reindented.json", 1);
    }

    for (const auto& [name, status] : files) {
        const CliResult r = Verify("me", {tmp_.Sub(name)});
        EXPECT_EQ(r.exitCode, status) << name << "\n" << r.out << r.err;
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        EXPECT_LT(r.peakKib, 64 * 1024) << name;
#endif
        if (status == 2) {
            EXPECT_EQ(r.out, "") << name << ": the answer goes to standard error";
            EXPECT_NE(r.err, "") << name;
        } else {
            EXPECT_EQ(r.out.rfind("CHANGED: ", 0), 0u) << name << "\n" << r.out;
        }
    }
    const CliResult object = Verify("me", {tmp_.Sub("empty-object.json")});
    EXPECT_NE(object.err.find("is not a Kelvane report"), std::string::npos) << object.err;
    const CliResult fifo = Verify("me", {tmp_.Sub("fifo.json")});
    EXPECT_NE(fifo.err.find("not a regular file"), std::string::npos) << fifo.err;
    const CliResult reindented = Verify("me", {tmp_.Sub("reindented.json")});
    EXPECT_NE(reindented.out.find("re-indented"), std::string::npos) << reindented.out;
    EXPECT_NE(reindented.out.find("only the layout was changed"), std::string::npos)
        << reindented.out;
}
