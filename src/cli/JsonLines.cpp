#include "cli/JsonLines.h"

#include <cstdio>

#include "config/TextConv.h"
#include "report/ReportCrypto.h"

std::string JsonQuoted(std::string_view utf8) {
    std::string out = "\"";
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

void JsonObject::Key(std::string_view key) {
    if (!body_.empty()) body_ += ',';
    body_ += JsonQuoted(key);
    body_ += ':';
}

JsonObject& JsonObject::Add(std::string_view key, std::u16string_view text) {
    Key(key);
    body_ += JsonQuoted(Utf8FromWide(PrintableText(text)));
    return *this;
}

JsonObject& JsonObject::AddPath(std::string_view key, std::u16string_view path) {
    const std::u16string shown = PrintableText(path);
    Key(key);
    body_ += JsonQuoted(Utf8FromWide(shown));
    if (shown != path) {
        Key(std::string(key) + "_base64");
        body_ += JsonQuoted(reportcrypto::Base64(Utf8FromWide(path)));
    }
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const char* text) {
    Key(key);
    body_ += JsonQuoted(text);
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, int64_t number) {
    Key(key);
    body_ += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::AddBool(std::string_view key, bool value) {
    Key(key);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::Add(std::string_view key, const std::vector<std::u16string>& texts) {
    Key(key);
    body_ += '[';
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i) body_ += ',';
        body_ += JsonQuoted(Utf8FromWide(PrintableText(texts[i])));
    }
    body_ += ']';
    return *this;
}

namespace {
bool StartsWith(std::u16string_view s, std::u16string_view p) {
    return s.size() >= p.size() && s.substr(0, p.size()) == p;
}
}  // namespace

LogLineMeaning MeaningOfLogLine(const std::u16string& line,
                                const std::vector<std::u16string>& drives) {
    LogLineMeaning m;
    for (const std::u16string& drive : drives) {
        if (!StartsWith(line, drive + u" [")) continue;
        const std::u16string_view tag = std::u16string_view(line).substr(drive.size() + 2);
        // Other lines of a drive ("[TRIM not done: ...]") tell how it went.
        const bool done = StartsWith(tag, u"done]");
        if (!done && !StartsWith(tag, u"FAILED")) return m;
        m.kind = LogLineMeaning::Kind::kDrive;
        m.path = drive;
        m.failure = !done;
        m.result = done ? "done" : "failed";
        return m;
    }
    static constexpr std::u16string_view kTemporary = u" [Temporary file]";
    if (!drives.empty() && line.size() > kTemporary.size() &&
        std::u16string_view(line).substr(line.size() - kTemporary.size()) == kTemporary) {
        m.kind = LogLineMeaning::Kind::kTemporaryFile;
        m.path = line.substr(0, line.size() - kTemporary.size());
        return m;
    }
    if (!drives.empty() || line.empty() || line.back() != u']') return m;
    // An entry's line: its path, a blank and the bracket of the outcome.
    const size_t open = line.rfind(u" [");
    if (open == std::u16string::npos || open == 0) return m;
    const std::u16string_view tag = std::u16string_view(line).substr(open + 2);
    struct Tag {
        std::u16string_view start;
        const char* result;
        bool failure;
    };
    static constexpr Tag kTags[] = {
        {u"done", "done", false},
        {u"FAILED", "failed", true},
        {u"FOLDER, removed]", "removed", false},
        {u"FOLDER, not removed]", "not-removed", true},
        {u"FOLDER, kept]", "kept", false},
        {u"NOT SHREDDED", "not-shredded", true},
        {u"interrupted after pass ", "interrupted", true},
    };
    for (const Tag& t : kTags) {
        if (!StartsWith(tag, t.start)) continue;
        m.kind = LogLineMeaning::Kind::kEntry;
        m.path = line.substr(0, open);
        m.result = t.result;
        m.failure = t.failure;
        return m;
    }
    return m;
}
