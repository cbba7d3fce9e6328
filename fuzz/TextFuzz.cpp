// The pure text functions on arbitrary bytes: ExtractFilePath, CompareText,
// MatchesMask (against a plain reference matcher), CompileCommand, the
// byte <-> QString round trip of file names, and compiler output as text.
#include "core/CompileCommand.h"
#include "fuzz/Require.h"
#include "host/Text.h"
#include "runtime/NativeText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

char up(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

// Glob by dynamic programming: * any run, ? any one character.
bool referenceMatch(const std::string &name, const std::string &pattern) {
    const std::size_t n = name.size(), p = pattern.size();
    std::vector<std::vector<char>> m(p + 1, std::vector<char>(n + 1, 0));
    m[0][0] = 1;
    for (std::size_t i = 1; i <= p; ++i) {
        const char pc = pattern[i - 1];
        m[i][0] = pc == '*' && m[i - 1][0];
        for (std::size_t j = 1; j <= n; ++j) {
            const char nc = name[j - 1];
            if (pc == '*')
                m[i][j] = m[i - 1][j] || m[i][j - 1];
            else if (pc == '?' || pc == nc)
                m[i][j] = m[i - 1][j - 1];
        }
    }
    return m[p][n];
}

int sign(int v) {
    return (v > 0) - (v < 0);
}

// Splits the input into four parts at the first three 0xFF bytes.
std::vector<std::string> parts(const uint8_t *data, std::size_t size) {
    std::vector<std::string> out(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && out.size() < 4)
            out.emplace_back();
        else
            out.back() += char(data[i]);
    }
    out.resize(4);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string whole(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> p = parts(data, size);
    const std::string &a = p[0], &b = p[1];

    // ExtractFilePath: a prefix ending in the last separator, or nothing.
    const std::string folder = host::ExtractFilePath(whole);
    require(whole.compare(0, folder.size(), folder) == 0);
    require(folder.empty() || folder.back() == '/');
    require(whole.find('/', folder.size()) == std::string::npos);

    // CompareText: ASCII letters fold, nothing else does.
    std::string ua = a, ub = b;
    for (std::string *text : {&ua, &ub})
        for (char &c : *text)
            c = up(c);
    const int ab = host::CompareText(a, b);
    require((ab == 0) == (ua == ub));
    require(sign(ab) == -sign(host::CompareText(b, a)));
    require(sign(ab) == sign(ua.compare(ub))); // bytes compare unsigned, like memcmp
    require(host::CompareText(a, ua) == 0);

    // MatchesMask against the reference, kept small for the quadratic table.
    if (a.size() <= 64 && b.size() <= 64)
        require(host::MatchesMask(a, b) == referenceMatch(a, b));
    require(host::MatchesMask(a, "*"));

    // CompileCommand: the line as the user would type it, and the source
    // handed over whole however many " -U" its name holds.
    const std::string source = b + "/" + p[2];
    const CompileCommandLine line = CompileCommand(a, source, p[3]);
    require(line.text == a + " " + source + " -U" + p[3]);
    require(line.program == a);
    require(line.args == std::vector<std::string>{source, "-U" + p[3]});

    // A file name survives the trip into a QString and back, byte for byte.
    require(toNative(fromNative(whole)) == whole);
    const QString text = fromNative(whole);
    require(fromNative(toNative(text)) == text);

    // What a program wrote reads as text: no control character but tab and
    // line feed, no lone surrogate (each byte that is not UTF-8 is \xHH).
    const QString readable = fromNativeEscaped(whole);
    for (qsizetype i = 0; i < readable.size(); ++i) {
        const char16_t u = readable[i].unicode();
        require(u >= 0x20 ? u != 0x7F : (u == '\t' || u == '\n'));
        if (QChar::isHighSurrogate(u)) {
            require(i + 1 < readable.size() && QChar::isLowSurrogate(readable[i + 1].unicode()));
            ++i;
        } else {
            require(!QChar::isLowSurrogate(u));
        }
    }
    return 0;
}
