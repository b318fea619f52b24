// Feeds arbitrary bytes to the profile-file engine in both forms: the text as a
// document, lookups with keys taken from the input, the cursor walk, and a write and
// read-back. Beyond the sanitizers' checks it aborts when a result breaks a rule
// that holds for every input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/ProfileFile.h"

namespace {

void Require(bool ok) {
    if (!ok) std::abort();
}

void Exercise(bool xml, std::string_view key, std::string_view text, std::string_view value) {
    ProfileFile p(xml);
    const std::string bodyBefore = p.Body();
    const bool set = p.SetText(text);
    if (!xml) Require(set && p.Body() == text);
    if (!set) Require(p.Body() == bodyBefore);
    Require(p.GetText() == (xml ? "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<" + p.RootName() +
                                      ">\r\n" + p.Body() + "</" + p.RootName() + ">\r\n"
                                : p.Body()));

    // Every value found is a piece of the body, and the cursor stays inside it.
    const std::string& body = p.Body();
    auto inBody = [&](const std::string& v) {
        Require(v.empty() || body.find(v) != std::string::npos);
        Require(p.Cursor() >= 0 && static_cast<size_t>(p.Cursor()) <= body.size());
    };
    inBody(p.FindValue(key, 0));
    inBody(p.GetString(key, ""));
    (void)p.GetInt(key, -1);
    (void)p.GetBool(key, true);
    for (int i = 0; i < 64; ++i) {
        const int32_t before = p.Cursor();
        const std::string v = p.GetNextString(key);
        inBody(v);
        if (v.empty()) break;
        Require(p.Cursor() > before);
    }
    inBody(p.FindValue(key, static_cast<int32_t>(text.size() % 4096) - 16));

    // A written entry whose key and value hold no delimiter reads back unchanged.
    ProfileFile w(xml);
    w.WriteString(key, value);
    w.WriteInt(key, static_cast<int32_t>(value.size()));
    const bool clean = !key.empty() && key.find_first_of("<>/=\"") == std::string_view::npos &&
                       value.find_first_of("<\"") == std::string_view::npos;
    if (clean && !value.empty()) Require(w.GetString(key, "") == value);
    ProfileFile r(xml);
    if (r.SetText(w.GetText()) && clean && key != "InitFile") Require(r.Body() == w.Body());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Layout: one length byte for the key, the key, one length byte for a value, the
    // value, then the document text.
    std::string_view in(reinterpret_cast<const char*>(data), size);
    auto take = [&in]() {
        if (in.empty()) return std::string_view();
        size_t n = static_cast<unsigned char>(in[0]) % 32;
        in.remove_prefix(1);
        n = std::min(n, in.size());
        std::string_view piece = in.substr(0, n);
        in.remove_prefix(n);
        return piece;
    };
    const std::string_view key = take();
    const std::string_view value = take();
    Exercise(true, key, in, value);
    Exercise(false, key, in, value);
    return 0;
}
