#pragma once
// QString and the program's std::u16string are both UTF-16: the conversion copies
// code units and keeps lone surrogates (the escaped bytes of odd file names).
#include <QString>
#include <string>
#include <string_view>

inline QString ToQ(std::u16string_view s) {
    return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

inline std::u16string FromQ(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<size_t>(s.size()));
}
