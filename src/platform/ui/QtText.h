#pragma once

#include "platform/Encoding.h"

#include <QString>

// CP932 text to and from widget text; here, not in the Qt-free platform library.

inline QString Cp932ToQString(std::string_view cp932)
{
    return QString::fromStdString(Cp932ToUtf8Lossy(cp932));
}
// Raises EEncodingError when CP932 cannot hold a character of the text.
inline std::string QStringToCp932(const QString &text)
{
    return Utf8ToCp932(text.toStdString());
}
inline QString Utf8ToQString(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A Japanese input method types full-width digits and signs (０-９, ＋, －, ．); they mean the ASCII ones.
inline void FoldFullWidth(QString &text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'０' && u <= u'９') || u == u'＋' || u == u'－' || u == u'．')
            c = QChar(u - (u'０' - u'0'));
    }
}
