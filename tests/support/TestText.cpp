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
