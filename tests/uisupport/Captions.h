#pragma once
// A caption as the user reads it: the "&" that marks a mnemonic letter is not
// shown, "&&" shows as one "&".
#include <QString>

inline QString Caption(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}
