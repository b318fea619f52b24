#include "i18n/SafeFormat.h"

#include <algorithm>
#include <string>
#include <vector>

#include "config/TextConv.h"

namespace {

std::u16string Digits(unsigned long long v, unsigned base, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), static_cast<char16_t>(digits[v % base]));
        v /= base;
    } while (v != 0);
    return out;
}

std::u16string Pad(std::u16string body, size_t width, bool left, bool zero) {
    if (body.size() >= width) return body;
    size_t n = width - body.size();
    if (left) return body + std::u16string(n, u' ');
    if (zero) {
        size_t signLen = (!body.empty() && body[0] == u'-') ? 1 : 0;
        body.insert(signLen, std::u16string(n, u'0'));
        return body;
    }
    return std::u16string(n, u' ') + body;
}

std::u16string SignedText(long long v) {
    if (v < 0) return u"-" + Digits(0ull - static_cast<unsigned long long>(v), 10, false);
    return Digits(static_cast<unsigned long long>(v), 10, false);
}

// One "%..." specifier starting at `start`, read the way SafeFormat reads it.
struct Specifier {
    size_t end = 0;  // index after the specifier
    bool left = false;
    bool zero = false;
    size_t width = 0;
    char16_t conv = 0;  // 0: the text ended inside the specifier
};

Specifier ParseSpecifier(std::u16string_view format, size_t start) {
    Specifier sp;
    size_t i = start + 1;
    while (i < format.size() && (format[i] == u'-' || format[i] == u'0')) {
        if (format[i] == u'-')
            sp.left = true;
        else
            sp.zero = true;
        ++i;
    }
    while (i < format.size() && format[i] >= u'0' && format[i] <= u'9') {
        sp.width = std::min<size_t>(sp.width * 10 + (format[i] - u'0'), 1000);  // no huge padding
        ++i;
    }
    while (i < format.size() && (format[i] == u'l' || format[i] == u'h' || format[i] == u'I')) ++i;
    if (i < format.size()) sp.conv = format[i++];
    sp.end = i;
    return sp;
}

bool KnownConversion(char16_t conv) {
    return conv == u's' || conv == u'S' || conv == u'd' || conv == u'i' || conv == u'u' ||
           conv == u'c' || conv == u'x' || conv == u'X';
}

}  // namespace

std::vector<std::string> FormatSpecifiers(std::string_view utf8Format) {
    const std::u16string format = WideFromUtf8(utf8Format);
    std::vector<std::string> specs;
    size_t i = 0;
    while (i < format.size()) {
        if (format[i] != u'%') {
            ++i;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            i += 2;
            continue;
        }
        Specifier sp = ParseSpecifier(format, i);
        specs.push_back(Utf8FromWide(std::u16string_view(format).substr(i, sp.end - i)));
        i = sp.end;
    }
    return specs;
}

std::u16string SafeFormat(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    auto next = args.begin();
    size_t i = 0;
    while (i < format.size()) {
        char16_t c = format[i];
        if (c != u'%') {
            out.push_back(c);
            ++i;
            continue;
        }
        size_t start = i;
        if (i + 1 < format.size() && format[i + 1] == u'%') {
            out.push_back(u'%');
            i += 2;
            continue;
        }
        const Specifier sp = ParseSpecifier(format, start);
        i = sp.end;
        if (sp.conv == 0) {
            out.append(format.substr(start));
            break;
        }
        const char16_t conv = sp.conv;
        if (!KnownConversion(conv) || next == args.end()) {
            out.append(format.substr(start, i - start));  // shown as written
            continue;
        }
        const FormatArg& a = *next++;
        std::u16string body;
        bool numeric = true;
        if (a.kind() == FormatArg::Kind::Text) {
            body = std::u16string(a.AsText());
            numeric = false;
        } else if (conv == u's' || conv == u'S') {
            body = a.kind() == FormatArg::Kind::Char
                       ? std::u16string(1, static_cast<char16_t>(a.AsUnsigned()))
                       : (a.kind() == FormatArg::Kind::Signed ? SignedText(a.AsSigned())
                                                              : Digits(a.AsUnsigned(), 10, false));
            numeric = false;
        } else if (conv == u'c') {
            body = std::u16string(1, static_cast<char16_t>(a.AsUnsigned() & 0xFFFF));
            numeric = false;
        } else if (conv == u'd' || conv == u'i') {
            body = a.kind() == FormatArg::Kind::Unsigned ? Digits(a.AsUnsigned(), 10, false)
                                                         : SignedText(a.AsSigned());
        } else if (conv == u'u') {
            body = a.kind() == FormatArg::Kind::Signed
                       ? Digits(static_cast<uint32_t>(a.AsSigned()), 10, false)
                       : Digits(a.AsUnsigned(), 10, false);
        } else {  // x, X
            unsigned long long v = a.kind() == FormatArg::Kind::Signed
                                       ? static_cast<uint32_t>(a.AsSigned())
                                       : a.AsUnsigned();
            body = Digits(v, 16, conv == u'X');
        }
        out += Pad(std::move(body), sp.width, sp.left, sp.zero && numeric && !sp.left);
    }
    return out;
}

std::u16string SafeFormat(std::string_view utf8Format, std::initializer_list<FormatArg> args) {
    return SafeFormat(std::u16string_view(WideFromUtf8(utf8Format)), args);
}
