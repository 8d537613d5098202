// SPDX-License-Identifier: MIT
// Adding keys to INI text without rewriting anything that is already there.
#include "inisplice.h"

#include <array>

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";
constexpr char utf8ByteOrderMark[] = "\xef\xbb\xbf";

// The toolkit compares section names case-insensitively on Windows only.
#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity sectionCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity sectionCase = Qt::CaseSensitive;
#endif

// The bytes each unit below 0x100 takes in a key as the toolkit's writer escapes it: 1 for the
// characters it puts there as they are and for '/' (written '\\'), 3 for "%XX". Looked up, as
// every character of every key is.
constexpr std::array<uchar, 256> escapedSizes = [] {
    std::array<uchar, 256> sizes {};
    for (int c = 0; c < 256; ++c) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
                || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        sizes[std::size_t(c)] = plain || c == '/' ? 1 : 3;
    }
    return sizes;
}();

// The characters the toolkit's writer puts into a key as they are.
bool isPlainKeyCharacter(char16_t c)
{
    return c < 0x100 && escapedSizes[c] == 1 && c != u'/';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

using Line = IniLine;

QList<Line> splitLines(const QByteArray &text, qsizetype from)
{
    QList<Line> lines;
    qsizetype begin = from;
    while (begin < text.size()) {
        qsizetype i = begin;
        while (i < text.size() && text.at(i) != '\n' && text.at(i) != '\r')
            ++i;
        qsizetype end = i;
        if (end < text.size())
            end += (text.at(end) == '\r' && end + 1 < text.size() && text.at(end + 1) == '\n') ? 2
                                                                                               : 1;
        lines.append({ begin, i, end });
        begin = end;
    }
    return lines;
}

QByteArrayView trimmedContent(const QByteArray &text, const Line &line)
{
    qsizetype begin = line.begin;
    qsizetype end = line.contentEnd;
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return QByteArrayView(text).sliced(begin, end - begin);
}

// The section name of a header line, read the way the toolkit reads it: up to the first ']', or
// to the end of the line when there is none. Empty for a line that is no header.
QByteArrayView headerName(QByteArrayView content)
{
    if (!content.startsWith('['))
        return {};
    qsizetype close = content.indexOf(']');
    if (close < 0)
        close = content.size();
    return content.sliced(1, close - 1).trimmed();
}

QByteArray lineBreakOf(const QByteArray &text, const QList<Line> &lines)
{
    for (const Line &line : lines) {
        if (line.end > line.contentEnd)
            return text.sliced(line.contentEnd, line.end - line.contentEnd);
    }
#ifdef Q_OS_WIN
    return QByteArrayLiteral("\r\n");
#else
    return QByteArrayLiteral("\n");
#endif
}

} // namespace

qsizetype iniEscapedKeySize(QStringView key)
{
    qsizetype size = 0;
    const char16_t *const end = key.utf16() + key.size();
    for (const char16_t *c = key.utf16(); c != end; ++c)
        size += *c < 0x100 ? escapedSizes[*c] : 6;
    return size;
}

char *writeIniEscapedKey(char *out, QStringView key)
{
    const char16_t *c = key.utf16();
    const char16_t *const end = c + key.size();
    while (c != end) {
        // Most keys are plain throughout: their runs are copied without a look at the rest.
        while (c != end && isPlainKeyCharacter(*c))
            *out++ = char(*c++);
        if (c == end)
            break;
        const char16_t u = *c++;
        if (u == u'/') {
            *out++ = '\\';
        } else if (u <= 0xff) {
            *out++ = '%';
            *out++ = hexDigits[u >> 4];
            *out++ = hexDigits[u & 0xf];
        } else {
            *out++ = '%';
            *out++ = 'U';
            for (int shift = 12; shift >= 0; shift -= 4)
                *out++ = hexDigits[(u >> shift) & 0xf];
        }
    }
    return out;
}

void appendIniEscapedKey(QByteArray &to, QStringView key)
{
    const qsizetype at = to.size();
    to.resize(at + iniEscapedKeySize(key));
    writeIniEscapedKey(to.data() + at, key);
}

QByteArray iniEscapedKey(QStringView key)
{
    QByteArray result;
    result.reserve(iniEscapedKeySize(key));
    appendIniEscapedKey(result, key);
    return result;
}

QByteArray insertIniLines(const QByteArray &text, const QString &section,
                          const QList<QByteArray> &lines, IniPlacement placement)
{
    const qsizetype start = text.startsWith(utf8ByteOrderMark) ? 3 : 0;
    const QList<Line> textLines = splitLines(text, start);
    const QByteArray lineBreak = lineBreakOf(text, textLines);
    const QByteArray name = iniEscapedKey(section);

    // The line after which the new lines go; -1 for a new section at the end.
    qsizetype after = -1;
    if (placement == IniPlacement::IntoLastSection) {
        bool inSection = false;
        for (qsizetype i = 0; i < textLines.size(); ++i) {
            const QByteArrayView content = trimmedContent(text, textLines.at(i));
            if (content.startsWith('[')) {
                inSection = headerName(content).compare(name, sectionCase) == 0;
                if (inSection)
                    after = i;
            } else if (inSection && !content.isEmpty() && !content.startsWith(';')
                       && !content.startsWith('#')) {
                after = i;
            }
        }
    }

    QByteArray added;
    qsizetype at = text.size();
    if (after >= 0) {
        const Line &line = textLines.at(after);
        at = line.end;
        if (line.end == line.contentEnd)
            added += lineBreak;
    } else if (!textLines.isEmpty()) {
        const Line &last = textLines.constLast();
        if (last.end == last.contentEnd)
            added += lineBreak;
        if (!trimmedContent(text, last).isEmpty())
            added += lineBreak;
    }
    if (after < 0)
        added += '[' + name + ']' + lineBreak;
    for (const QByteArray &line : lines)
        added += line + lineBreak;

    QByteArray result = text;
    result.insert(at, added);
    return result;
}

QList<IniLine> splitIniLines(const QByteArray &text, qsizetype from)
{
    return splitLines(text, from);
}
