#include "cli/CliVerify.h"

#include <cstdio>
#include <ctime>

#include "cli/CliRun.h"
#include "config/SettingsFile.h"
#include "config/StorageFolders.h"
#include "config/TextConv.h"
#include "report/HiddenNames.h"
#include "report/ReportCrypto.h"
#include "report/ReportVerify.h"
#include "report/ReportWriter.h"
#include "report/SshFormat.h"

namespace {

void Error(const char* program, const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", program, line.c_str());
}

}  // namespace

bool CheckKeyOption(const std::string& keyFile, std::string& error) {
    reportcrypto::SigningKey key;
    std::string why;
    if (reportcrypto::LoadKey(keyFile, key, why)) return true;
    error =
        "cannot use the key '" + Utf8FromWide(PrintableText(WideFromUtf8(keyFile))) + "': " + why;
    return false;
}

int RunVerifyReport(const CliOptions& o, const char* program) {
    const StorageLocations where = DefaultStorageLocations();
    const StoragePaths storage = FindStoragePaths(where, std::time(nullptr));
    const AppSettings settings = LoadSettings(storage.settingsFile).values;
    TrustSources sources =
        DefaultTrustSources(storage.storageFolder, settings.reportKeyFile, where.userConfigBase);
    sources.givenFiles = o.trustFiles;
    ReportTrust trust;
    std::string error;
    if (!LoadReportTrust(sources, trust, error)) {
        Error(program, error);
        return kExitUsage;
    }
    for (const std::string& w : trust.warnings) Error(program, w);
    const VerifyOutcome v = VerifyReportFile(o.paths.front(), where.programFolder, &trust);
    for (const std::string& line : v.errors) Error(program, line);
    for (const std::string& line : v.lines) {
        std::printf("%s\n", line.c_str());
        // Where this user's own file is, after the line to put in it.
        if (v.status == kVerifyUntrusted && line == "  " + v.allowedSignersLine &&
            !where.userConfigBase.empty())
            std::printf(
                "  (your allowed-signers file: %s)\n",
                Utf8FromWide(PrintableText(WideFromUtf8(UserTrustFile(where.userConfigBase))))
                    .c_str());
    }
    if (!o.hiddenPath.empty()) {
        // Whether a path is among the hidden names: only with this user's names secret.
        const HiddenPathAnswer found =
            FindHiddenPath(o.paths.front(), o.hiddenPath, storage.storageFolder);
        for (const std::string& line : found.lines) std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return v.status;
}

int RunKeyCommand(const CliOptions& o, const char* program) {
    reportcrypto::SigningKey key;
    std::string error;
    bool loaded = false;
    if (!o.keyFile.empty()) {
        loaded = reportcrypto::LoadKey(o.keyFile, key, error);
    } else {
        const StoragePaths storage =
            FindStoragePaths(DefaultStorageLocations(), std::time(nullptr));
        const ReportPlan plan =
            PlanReports(LoadSettings(storage.settingsFile).values, storage.storageFolder);
        if (plan.keyFile.empty())
            error = "no storage folder to keep the report key in";
        else
            loaded = plan.keyIsOwn ? reportcrypto::LoadOrCreateKey(plan.keyFile, key, error)
                                   : reportcrypto::LoadKey(plan.keyFile, key, error);
        if (!loaded && !plan.keyFile.empty())
            error += " (" + Utf8FromWide(PrintableText(WideFromUtf8(plan.keyFile))) + ")";
    }
    if (!loaded) {
        Error(program, error);
        return 1;
    }
    if (o.keyPublic) {
        std::printf("%s\n", sshformat::PublicKeyLine(key.publicKey, "kelvane-report").c_str());
    } else if (!o.allowedSignersPrincipal.empty()) {
        const std::string& p = o.allowedSignersPrincipal;
        const bool quote = p.find_first_of(" \t") != std::string::npos;
        std::printf("%s namespaces=\"%s\" %s\n", (quote ? "\"" + p + "\"" : p).c_str(),
                    std::string(sshformat::kReportNamespace).c_str(),
                    sshformat::PublicKeyLine(key.publicKey).c_str());
    } else {
        std::printf("%s\n", sshformat::Fingerprint(key.publicKey).c_str());
    }
    return 0;
}
