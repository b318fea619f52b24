#include "support/TestText.h"

#include "config/TextConv.h"

std::string SettingsXml(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<InitFile>\r\n" + body +
           "</InitFile>\r\n";
}

std::string SettingsEntry(const std::string& key, const std::string& value) {
    return "  <" + key + ">" + value + "</" + key + ">\r\n";
}

std::string Le(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

std::string Utf8FromLe(const std::string& bytes) {
    std::u16string wide;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return Utf8FromWide(wide);
}

bool IsWellFormedUtf16Le(const std::string& bytes) {
    if (bytes.size() % 2 != 0) return false;
    auto unit = [&bytes](size_t i) {
        return static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const char16_t u = unit(i);
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 2 >= bytes.size()) return false;
            const char16_t next = unit(i + 2);
            if (next < 0xDC00 || next > 0xDFFF) return false;
            i += 2;
        }
    }
    return true;
}
