#include "runtime/NativeText.h"

#include "host/Text.h"

#include <cstdint>
#include <cstring>

// On Windows the host layer speaks UTF-8 (WTF-8 for an unpaired surrogate),
// made from the UTF-16 names Windows has, so text and names map one to one.
// Elsewhere names are bytes, mostly UTF-8.
#ifndef _WIN32
namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not valid: a
// surrogate's code is no text here.
std::size_t validSequence(std::string_view s, std::size_t i, char32_t &cp) {
    const std::size_t n = host::DecodeUtf8(s, i, cp);
    return n != 0 && (cp < 0xD800 || cp > 0xDFFF) ? n : 0;
}

} // namespace
#endif

namespace {

bool isAscii(std::string_view s) {
    std::uint64_t high = 0;
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        high |= word;
    }
    for (; i < s.size(); ++i)
        high |= static_cast<unsigned char>(s[i]);
    return (high & 0x8080808080808080u) == 0;
}

} // namespace

QString fromNative(std::string_view bytes) {
    // The finder converts every path it visits; nearly all are plain ASCII,
    // which reads the same as Latin-1 and converts in bulk.
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
#ifdef _WIN32
    const std::u16string units = host::Utf16FromUtf8(bytes);
    return QString::fromUtf16(units.data(), qsizetype(units.size()));
#else
    QString out;
    out.reserve(qsizetype(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t n = validSequence(bytes, i, cp);
        if (n == 0) {
            out += QChar(char16_t(0xDC00 | static_cast<unsigned char>(bytes[i])));
            ++i;
            continue;
        }
        if (cp < 0x10000) {
            out += QChar(char16_t(cp));
        } else {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        }
        i += n;
    }
    return out;
#endif
}

std::string toNative(const QString &text) {
#ifdef _WIN32
    return host::Utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()),
                                                   std::size_t(text.size())));
#else
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            host::AppendUtf8(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += char(u & 0xFF); // an escaped raw byte
        } else if (QChar::isSurrogate(u)) {
            host::AppendUtf8(out, 0xFFFD);
        } else {
            host::AppendUtf8(out, u);
        }
    }
    return out;
#endif
}

namespace {

void appendEscaped(QString &out, unsigned char byte) {
    static const char digits[] = "0123456789ABCDEF";
    out += QLatin1String("\\x");
    out += QLatin1Char(digits[byte >> 4]);
    out += QLatin1Char(digits[byte & 0xF]);
}

// A control character that a text box would not show as it is.
bool hidden(char16_t u) {
    return (u < 0x20 && u != '\t' && u != '\n') || u == 0x7F;
}

} // namespace

QString fromNativeEscaped(std::string_view bytes) {
#ifdef _WIN32
    // A Windows console program writes text in the ANSI code page.
    const QString decoded = QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
#else
    const QString decoded = fromNative(bytes);
#endif
    QString out;
    out.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const char16_t u = decoded[i].unicode();
        if (u == '\r') {
            if (i + 1 < decoded.size() && decoded[i + 1] == QLatin1Char('\n'))
                ++i;
            out += QLatin1Char('\n');
        } else if (u >= 0xDC80 && u <= 0xDCFF &&
                   !(i > 0 && QChar::isHighSurrogate(decoded[i - 1].unicode()))) {
            appendEscaped(out, static_cast<unsigned char>(u & 0xFF)); // a byte that is not UTF-8
        } else if (hidden(u)) {
            appendEscaped(out, static_cast<unsigned char>(u));
        } else {
            out += decoded[i];
        }
    }
    return out;
}
