// Platform layer (Qt): text at the widget boundary. The core speaks Windows-1250;
// widgets speak UTF-16.
#pragma once
#include <QString>
#include <string>

#include "text/cp1250.h"

namespace kc {

inline QString qt_text(const std::string& cp1250) { return QString::fromStdU16String(cp1250_to_utf16(cp1250)); }

inline std::string core_text(const QString& text) { return utf16_to_cp1250(text.toStdU16String()); }

// A UTF-8 resource literal shown as the core would hold it: characters that Windows-1250
// has no place for come out as '?' here too.
inline QString qt_resource_text(const char* utf8) { return utf8 ? qt_text(utf8_to_cp1250(utf8)) : QString(); }

// The text a label shows without its mnemonic markers: "&Port :" reads "Port :".
inline QString without_mnemonic(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&') {
            if (i + 1 < text.size() && text[i + 1] == u'&') {
                out += u'&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace kc
