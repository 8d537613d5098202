// SPDX-License-Identifier: MIT
// The label file's reader: INI text read by the settings class's rules, every value kept as text.
//
// The settings class reads INI text in two steps, and so does this: the whole text is split into
// sections (a repeated section is one, its parts in file order), then a section's lines are read
// into keys when one is asked for. Its line splitting, escapes and quoting are followed here byte
// for byte; where it uses the toolkit's own conversions (UTF-8 with its state, hexadecimal
// digits), so does this. What it does not do is turn "@Variant(…)" and the like into objects: a
// value is text, whatever it says, so no file can make reading it deserialise anything.
//
// The window's sets come from readIniLabelSets, which does the same in one pass over the lines of
// the group's section with little per line: lines are found in the text where it lies, plain keys
// and values are looked at as bytes, a repeated set name or label is looked up by its bytes and
// shares one string, and only what is out of order is sorted.
#include "inireader.h"

#include "labeldecoding.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace {

enum : uchar { Space = 1, Special = 2 };

// The settings class's character classes: what a line may start with, and what stops its scan.
constexpr std::array<uchar, 256> charTraits = [] {
    std::array<uchar, 256> traits {};
    traits[uchar('\t')] = Space;
    traits[uchar(' ')] = Space;
    traits[uchar('\n')] = Space | Special;
    traits[uchar('\r')] = Space | Special;
    traits[uchar('"')] = Special;
    traits[uchar(';')] = Special;
    traits[uchar('=')] = Special;
    traits[uchar('\\')] = Special;
    return traits;
}();

// One logical line of data from dataPos on, as the settings class finds it: leading blanks and
// blank lines skipped, comments dropped, a line break inside quotes or after a backslash kept in
// the line. False at the end of the data.
bool readIniLine(QByteArrayView data, qsizetype &dataPos, qsizetype &lineStart, qsizetype &lineLen,
                 qsizetype &equalsPos)
{
    const char *const text = data.data();
    const qsizetype dataLen = data.size();
    bool inQuotes = false;
    equalsPos = -1;
    lineStart = dataPos;
    while (lineStart < dataLen && (charTraits[uchar(text[lineStart])] & Space))
        ++lineStart;

    qsizetype i = lineStart;
    while (i < dataLen) {
        char ch = text[i];
        while (!(charTraits[uchar(ch)] & Special)) {
            if (++i == dataLen)
                goto done;
            ch = text[i];
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && equalsPos == -1)
                equalsPos = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == lineStart + 1) {
                ++lineStart;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        } else if (ch == '\\') {
            if (i < dataLen) {
                const char escaped = text[i++];
                if (i < dataLen) {
                    const char next = text[i];
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else { // ';'
            if (i == lineStart + 1) {
                while (i < dataLen && text[i] != '\n' && text[i] != '\r')
                    ++i;
                while (i < dataLen && (charTraits[uchar(text[i])] & Space))
                    ++i;
                lineStart = i;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        }
    }
done:
    dataPos = i;
    lineLen = i - lineStart;
    return lineLen > 0;
}

bool isAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

QByteArrayView trimmed(QByteArrayView bytes)
{
    const char *begin = bytes.data();
    const char *end = begin + bytes.size();
    while (begin < end && isAsciiSpace(*begin))
        ++begin;
    while (end > begin && isAsciiSpace(end[-1]))
        --end;
    return QByteArrayView(begin, end - begin);
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The value of the n hexadecimal digits at p, or -1 when one is not a digit.
int hexNumber(const char *p, int n)
{
    int value = 0;
    for (int k = 0; k < n; ++k) {
        const int digit = hexDigit(p[k]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// Past the escape that starts at the '%' at p, when it is %XX or %UXXXX in plain hexadecimal
// digits and names any unit but '/'; nullptr otherwise.
const char *afterPlainEscape(const char *p, const char *end)
{
    const int digits = end - p > 1 && p[1] == 'U' ? 4 : 2;
    const char *const first = p + (digits == 4 ? 2 : 1);
    if (end - first < digits)
        return nullptr;
    const int code = hexNumber(first, digits);
    if (code < 0 || code == '/')
        return nullptr;
    return first + digits;
}

enum : uchar { KeyPlain, KeyEscape, KeyOther, KeySeparator };

constexpr std::array<uchar, 256> keyTraits = [] {
    std::array<uchar, 256> traits {};
    for (int c = 0; c < 256; ++c) {
        if (c < 0x20 || c >= 0x7f || c == '/')
            traits[c] = KeyOther;
    }
    traits[uchar('%')] = KeyEscape;
    traits[uchar('\\')] = KeySeparator;
    return traits;
}();

// A key whose meaning needs none of the toolkit's conversions: printable ASCII whose every '%'
// starts %XX or %UXXXX in plain hexadecimal digits, and in which only '\\' separates groups (no
// '/', no escape that makes one). separator gets the first '\\' (or -1), deeper whether there is
// another.
bool scanSimpleKey(QByteArrayView key, qsizetype *separator, bool *deeper)
{
    const char *const begin = key.data();
    const char *p = begin;
    const char *const end = p + key.size();
    *separator = -1;
    *deeper = false;
    while (true) {
        while (p < end && keyTraits[uchar(*p)] == KeyPlain)
            ++p;
        if (p == end)
            return true;
        switch (keyTraits[uchar(*p)]) {
        case KeySeparator:
            if (*separator < 0)
                *separator = p - begin;
            else
                *deeper = true;
            ++p;
            break;
        case KeyEscape:
            p = afterPlainEscape(p, end);
            if (!p)
                return false;
            break;
        default:
            return false;
        }
    }
}

bool isSimpleKey(QByteArrayView key)
{
    qsizetype separator = 0;
    bool deeper = false;
    return scanSimpleKey(key, &separator, &deeper);
}

// A set name after which the line scan reaches the separator in the same state on every line:
// no quotes, nothing else the scan treats specially, not a section header's start.
bool isQuickSetName(QByteArrayView name)
{
    if (name.isEmpty() || name.front() == '[')
        return false;
    return std::none_of(name.cbegin(), name.cend(),
                        [](char c) { return (charTraits[uchar(c)] & Special) != 0; });
}

// The bytes a label may hold as they are on the quick path: printable ASCII that neither the line
// scan nor the unescaping of keys treats specially.
constexpr std::array<bool, 256> quickLabelBytes = [] {
    std::array<bool, 256> plain {};
    for (int c = 0x20; c < 0x7f; ++c)
        plain[c] = true;
    plain[uchar('"')] = false;
    plain[uchar(';')] = false;
    plain[uchar('=')] = false;
    plain[uchar('\\')] = false;
    plain[uchar('/')] = false;
    plain[uchar('%')] = false;
    return plain;
}();

// Where a label that starts at p ends, when it is one the quick path may take: quickLabelBytes and
// %XX or %UXXXX escapes of any unit but '/', at least one byte, no blank at its end. toEquals:
// the label runs to a '=' before end, where it ends; otherwise it runs to end. nullptr for any
// other label.
const char *quickLabelEnd(const char *p, const char *end, bool toEquals)
{
    const char *const begin = p;
    while (p < end) {
        const uchar c = uchar(*p);
        if (quickLabelBytes[c]) {
            ++p;
            continue;
        }
        if (c != '%')
            break;
        p = afterPlainEscape(p, end);
        if (!p)
            return nullptr;
    }
    if (toEquals ? p == end || *p != '=' : p != end)
        return nullptr;
    if (p == begin || p[-1] == ' ')
        return nullptr;
    return p;
}

// The bytes the toolkit's writer leaves as they are in a key.
constexpr std::array<bool, 256> writtenAsIs = [] {
    std::array<bool, 256> plain {};
    for (int c = 0; c < 256; ++c) {
        plain[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || c == '_' || c == '-' || c == '.';
    }
    return plain;
}();

// A simple key unescaped, appended to result, '\' as '/'. True when the key is in the one form
// the toolkit's writer gives its text: the bytes it leaves as they are, and %XX or %UXXXX in
// upper-case digits for each other unit but '/', %UXXXX only above 0xFF. No other simple key has
// the same text.
bool appendSimpleKey(QByteArrayView key, QString &result)
{
    const qsizetype from = result.size();
    result.resize(from + key.size());
    QChar *out = result.data() + from;
    const char *p = key.data();
    const char *const end = p + key.size();
    bool written = true;
    while (true) {
        // Most of a label is bytes the writer leaves as they are.
        while (p < end && writtenAsIs[uchar(*p)])
            *out++ = QLatin1Char(*p++);
        if (p == end)
            break;
        const char c = *p;
        if (c == '%') {
            const int digits = p[1] == 'U' ? 4 : 2;
            const char *const first = p + (digits == 4 ? 2 : 1);
            const int code = hexNumber(first, digits);
            if (written) {
                written = (digits == 4) == (code > 0xff) && code != '/'
                        && !(code <= 0xff && writtenAsIs[size_t(code)])
                        && std::none_of(first, first + digits,
                                        [](char d) { return d >= 'a' && d <= 'f'; });
            }
            *out++ = QChar(char16_t(code));
            p = first + digits;
        } else {
            written = false;
            *out++ = c == '\\' ? u'/' : QChar(QLatin1Char(c));
            ++p;
        }
    }
    result.truncate(out - result.constData());
    return written;
}

// The settings class's key unescaping, appended to result: the key is UTF-8, '\' is '/', and
// %XX and %UXXXX name a UTF-16 unit by whatever the toolkit's number conversion makes of the
// digits; a '%' that starts no such escape stays.
void appendUnescapedKey(QByteArrayView key, QString &result)
{
    if (isSimpleKey(key)) {
        appendSimpleKey(key, result);
        return;
    }
    const QString decoded = QString::fromUtf8(key);
    const qsizetype size = decoded.size();
    result.reserve(result.size() + size);
    qsizetype i = 0;
    while (i < size) {
        const QChar ch = decoded.at(i);
        if (ch == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == size - 1) {
            result += ch;
            ++i;
            continue;
        }
        int digits = 2;
        qsizetype first = i + 1;
        if (decoded.at(first) == u'U') {
            ++first;
            digits = 4;
        }
        if (first + digits > size) {
            result += u'%';
            ++i;
            continue;
        }
        bool ok = false;
        const ushort code = QStringView(decoded).sliced(first, digits).toUShort(&ok, 16);
        if (!ok) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
}

void chopTrailingBlanks(QString &text, qsizetype limit)
{
    qsizetype n = text.size();
    while (n > limit && (text.at(n - 1) == u' ' || text.at(n - 1) == u'\t'))
        --n;
    text.truncate(n);
}

int octalValue(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// The settings class's value unescaping: blanks skipped at the start and after a closing quote,
// quotes, C escapes, a backslash before a line break joining lines, ',' outside quotes making a
// list, unquoted trailing blanks chopped. The text between escapes and quotes goes through one
// UTF-8 decoder with its state, as there: a sequence cut by an escape is joined across it, and a
// byte order mark at the start is dropped. True for a list (in items), false for a string (text).
bool unescapeValue(QByteArrayView str, QString &text, QStringList &items)
{
    static constexpr char escapeCodes[][2] = { { 'a', '\a' },  { 'b', '\b' }, { 'f', '\f' },
                                               { 'n', '\n' },  { 'r', '\r' }, { 't', '\t' },
                                               { 'v', '\v' },  { '"', '"' },  { '?', '?' },
                                               { '\'', '\'' }, { '\\', '\\' } };
    bool isList = false;
    bool inQuotes = false;
    bool quoted = false;
    char16_t escaped = 0;
    qsizetype i = 0;
    char ch = 0;
    QStringDecoder fromUtf8(QStringDecoder::Utf8);
    const qsizetype size = str.size();
    qsizetype chopLimit = 0;

skipSpaces:
    while (i < size && ((ch = str.at(i)) == ' ' || ch == '\t'))
        ++i;
normal:
    chopLimit = text.size();
    while (i < size) {
        switch (str.at(i)) {
        case '\\': {
            ++i;
            if (i >= size)
                goto end;
            ch = str.at(i++);
            for (const auto &code : escapeCodes) {
                if (ch == code[0]) {
                    text += QLatin1Char(code[1]);
                    goto normal;
                }
            }
            if (ch == 'x') {
                escaped = 0;
                if (i >= size)
                    goto end;
                if (hexDigit(str.at(i)) >= 0)
                    goto hexEscape;
            } else if (const int octal = octalValue(ch); octal != -1) {
                escaped = char16_t(octal);
                goto octalEscape;
            } else if (ch == '\n' || ch == '\r') {
                if (i < size) {
                    const char next = str.at(i);
                    if ((next == '\n' || next == '\r') && next != ch)
                        ++i;
                }
            }
            // Any other escaped character is dropped.
            chopLimit = text.size();
            break;
        }
        case '"':
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                goto skipSpaces;
            break;
        case ',':
            if (!inQuotes) {
                if (!quoted)
                    chopTrailingBlanks(text, chopLimit);
                if (!isList) {
                    isList = true;
                    items.clear();
                }
                items.append(text);
                text.clear();
                quoted = false;
                ++i;
                goto skipSpaces;
            }
            Q_FALLTHROUGH();
        default: {
            qsizetype j = i + 1;
            while (j < size) {
                ch = str.at(j);
                if (ch == '\\' || ch == '"' || ch == ',')
                    break;
                ++j;
            }
            text += fromUtf8(str.sliced(i, j - i));
            i = j;
        }
        }
    }
    if (!quoted)
        chopTrailingBlanks(text, chopLimit);
    goto end;

hexEscape:
    while (i < size && hexDigit(str.at(i)) >= 0) {
        escaped = char16_t((escaped << 4) + hexDigit(str.at(i)));
        ++i;
    }
    text += QChar(escaped);
    if (i < size)
        goto normal;
    goto end;

octalEscape:
    while (i < size && octalValue(str.at(i)) >= 0) {
        escaped = char16_t((escaped << 3) + octalValue(str.at(i)));
        ++i;
    }
    text += QChar(escaped);
    if (i < size)
        goto normal;

end:
    if (isList)
        items.append(text);
    return isList;
}

// A string value as the settings class's stringToVariant would type it, without making the
// object: the text of "@String(…)", "@ByteArray(…)" and "@@…", the kind of everything else.
void classify(IniValue &value)
{
    QString &s = value.text;
    value.kind = IniValue::Text;
    if (!s.startsWith(u'@'))
        return;
    if (s.endsWith(u')')) {
        if (s.startsWith(QLatin1String("@ByteArray("))) {
            value.kind = IniValue::ByteArray;
            s = QString::fromUtf8(QStringView(s).sliced(11).chopped(1).toLatin1());
            return;
        }
        if (s.startsWith(QLatin1String("@String("))) {
            s = s.sliced(8).chopped(1);
            return;
        }
        static constexpr const char *types[] = { "@Variant(", "@DateTime(", "@KeySequence(",
                                                 "@Rect(",    "@Size(",     "@Point(" };
        for (const char *type : types) {
            if (s.startsWith(QLatin1String(type))) {
                value.kind = IniValue::Other;
                return;
            }
        }
        if (s == QLatin1String("@Invalid()")) {
            value.kind = IniValue::Other;
            return;
        }
    }
    if (s.startsWith(QLatin1String("@@")))
        s.remove(0, 1);
}

// A value that needs no unescaping: ASCII without quotes, escapes or commas. Its text is the bytes
// without the blanks at either end that the settings class drops.
bool isPlainValue(QByteArrayView value, QByteArrayView *text)
{
    const char *begin = value.data();
    const char *end = begin + value.size();
    for (const char *p = begin; p < end; ++p) {
        const char c = *p;
        if (c == '\\' || c == '"' || c == ',' || uchar(c) >= 0x80)
            return false;
    }
    while (begin < end && (*begin == ' ' || *begin == '\t'))
        ++begin;
    while (end > begin && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    if (begin < end && *begin == '@')
        return false;
    *text = QByteArrayView(begin, end - begin);
    return true;
}

IniValue readValue(QByteArrayView bytes)
{
    IniValue value;
    QByteArrayView plain;
    if (isPlainValue(bytes, &plain)) {
        value.kind = IniValue::Text;
        value.text = QString::fromLatin1(plain);
        return value;
    }
    if (unescapeValue(bytes, value.text, value.items)) {
        value.kind = IniValue::List;
        value.text.clear();
        // The settings class drops the first '@' of an item "@@…"; a list with any other item
        // that starts with '@' it would make a list of objects, which stays text here.
        const auto typed = [](const QString &item) {
            return item.startsWith(u'@') && !item.startsWith(QLatin1String("@@"));
        };
        if (std::none_of(value.items.cbegin(), value.items.cend(), typed)) {
            for (QString &item : value.items) {
                if (item.startsWith(u'@'))
                    item.remove(0, 1);
            }
        }
        return value;
    }
    classify(value);
    return value;
}

QString sectionName(QByteArrayView header)
{
    if (header.compare("general", Qt::CaseInsensitive) == 0)
        return {};
    QString name;
    if (header.compare("%general", Qt::CaseInsensitive) == 0)
        name = QString::fromLatin1(header.sliced(1));
    else
        appendUnescapedKey(header, name);
    name += u'/';
    return name;
}

// The sections of a text: names with a '/' at the end (empty for the keys outside any section),
// by index in the order first seen; a repeated section is one.
struct Sections
{
    QList<QString> names;
    QHash<QString, qint32> byName;

    qint32 add(const QString &name)
    {
        const auto found = byName.constFind(name);
        if (found != byName.cend())
            return *found;
        const auto index = qint32(names.size());
        names.append(name);
        byName.insert(name, index);
        return index;
    }

    // Each section's place in the order of their names, in which the settings class reads them.
    QList<qint32> ranks() const
    {
        QList<qint32> order(names.size());
        for (qint32 k = 0; k < qint32(order.size()); ++k)
            order[k] = k;
        std::sort(order.begin(), order.end(),
                  [this](qint32 a, qint32 b) { return names.at(a) < names.at(b); });
        QList<qint32> rank(names.size());
        for (qint32 k = 0; k < qint32(order.size()); ++k)
            rank[order.at(k)] = k;
        return rank;
    }
};

// One pass over the text, split into lines as the settings class splits it: take(section, key,
// value) for each key line in file order, the key trimmed and the value as it stands after the
// '='. The settings class first cuts the text into sections and then reads a section's lines
// from where its header line ends; that finds the very same lines, so one pass serves for both.
//
// quick(section, data, pos), asked before each line is read from pos, may take a line itself: it
// returns where that line ends, or -1 to leave the line to the scan.
template<typename Take, typename Quick>
Sections scanIni(QByteArrayView data, Take &&take, Quick &&quick)
{
    if (data.startsWith("\xef\xbb\xbf"))
        data = data.sliced(3);
    Sections sections;
    qint32 current = sections.add(QString());
    qsizetype dataPos = 0;
    qsizetype lineStart = 0;
    qsizetype lineLen = 0;
    qsizetype equalsPos = 0;
    while (true) {
        if (const qsizetype end = quick(current, data, dataPos); end >= 0) {
            dataPos = end;
            continue;
        }
        if (!readIniLine(data, dataPos, lineStart, lineLen, equalsPos))
            break;
        if (data.at(lineStart) == '[') {
            const QByteArrayView line = data.sliced(lineStart, lineLen);
            qsizetype close = line.indexOf(']');
            if (close < 0)
                close = lineLen;
            current = sections.add(sectionName(line.first(close).sliced(1).trimmed()));
            continue;
        }
        if (equalsPos < 0)
            continue;
        take(current, sections.names.at(current),
             trimmed(data.sliced(lineStart, equalsPos - lineStart)),
             data.sliced(equalsPos + 1, lineStart + lineLen - equalsPos - 1));
    }
    return sections;
}

template<typename Take>
Sections scanIni(QByteArrayView data, Take &&take)
{
    return scanIni(data, std::forward<Take>(take),
                   [](qint32, QByteArrayView, qsizetype) { return qsizetype(-1); });
}

// Strings looked up by the bytes they were read from where those are a simple key, and by their
// text otherwise: the same name written in two ways is one string.
class Interner
{
public:
    // The tables hold each id one up, so that a slot just made (0) tells a new string in the same
    // look-up that finds a known one.
    qint32 fromBytes(QByteArrayView bytes)
    {
        qint32 &slot = byBytes[bytes];
        if (slot == 0) {
            QString text;
            const bool written = appendSimpleKey(bytes, text);
            // New bytes in the writer's form are a new text, unless texts came in other forms too,
            // which only the table of texts tells.
            if (written && byText.isEmpty()) {
                strings.append(std::move(text));
                slot = qint32(strings.size());
            } else {
                slot = fromText(text) + 1;
            }
        }
        return slot - 1;
    }

    qint32 fromText(const QString &text)
    {
        if (byText.isEmpty()) {
            // Made when first needed: a file as the writer writes it never needs it.
            byText.reserve(strings.size() + 1);
            for (qint32 k = 0; k < qint32(strings.size()); ++k)
                byText.insert(strings.at(k), k + 1);
        }
        qint32 &slot = byText[text];
        if (slot == 0) {
            strings.append(text);
            slot = qint32(strings.size());
        }
        return slot - 1;
    }

    // Forgets the bytes the strings were read from, which fromBytes needs.
    void forgetBytes() { byBytes = {}; }
    const QString &at(qint32 id) const { return strings.at(id); }
    qsizetype size() const { return strings.size(); }

private:
    QHash<QByteArrayView, qint32> byBytes;
    // Every string by its text, once a text has come in a form other than the writer's.
    QHash<QString, qint32> byText;
    QList<QString> strings;
};

// The names of the sets by id, in the order first read. The toolkit's writer gives them in order:
// then a name after the last is new and any other is found by halving the list, and only a file
// whose sets come out of order needs a table of them all.
class SetNames
{
public:
    qint32 fromText(const QString &name)
    {
        if (ordered && (names.isEmpty() || names.constLast() < name)) {
            names.append(name);
            return qint32(names.size() - 1);
        }
        if (const qint32 found = find(name); found >= 0)
            return found;
        if (ordered) {
            ordered = false;
            for (qint32 k = 0; k < qint32(names.size()); ++k)
                byName.insert(names.at(k), k);
        }
        const auto id = qint32(names.size());
        names.append(name);
        byName.insert(name, id);
        return id;
    }

    qint32 find(const QString &name) const
    {
        if (!ordered)
            return byName.value(name, -1);
        const auto found = std::lower_bound(names.cbegin(), names.cend(), name);
        return found != names.cend() && *found == name ? qint32(found - names.cbegin()) : -1;
    }

    const QString &at(qint32 id) const { return names.at(id); }
    qsizetype size() const { return names.size(); }

private:
    QList<QString> names;
    bool ordered = true;
    QHash<QString, qint32> byName; // once they are not in order
};

// The bit a value names whatever the set's size: -1 for a number that is never in range, the
// number otherwise (0 for anything that is no decimal integer). Checked against the set's size
// once it is known, this is labelBitIndex's answer.
qint32 anyBit(qsizetype bit)
{
    return bit > std::numeric_limits<qint32>::max() ? -1 : qint32(bit);
}

constexpr qsizetype unbounded = std::numeric_limits<qsizetype>::max();

// The sets of a group as readLabelSets finds them through the settings class.
class LabelSetReader
{
public:
    LabelSetReader(const QString &group, bool keepValues)
        : prefix(group + u'/'), keepValues(keepValues)
    {
    }

    qsizetype setCount() const { return setNames.size(); }

    // Drops what points into the text read, which finish never looks at.
    void forgetText()
    {
        labels.forgetBytes();
        lastRawSet = {};
        lastSet = -1;
        currentRun = {};
        previousRun = {};
    }

    void read(QByteArrayView text)
    {
        // The settings class reads the group's own section to list its sub-groups; keys outside
        // any section and other sections are not read for that. Entering each set, it reads the
        // section of that set ("[group\\set]"), whose keys come after the group's.
        struct Deferred
        {
            qint32 section;
            QByteArrayView key;
            QByteArrayView value;
        };
        QList<Deferred> setSections;
        qint32 lastSection = -1;
        bool inGroup = false;
        bool inSetSection = false;
        const Sections sections = scanIni(
                text,
                [&](qint32 section, const QString &name, QByteArrayView key, QByteArrayView value) {
                    if (section != lastSection) {
                        lastSection = section;
                        inGroup = name == prefix;
                        inSetSection = !inGroup && name.startsWith(prefix)
                                && !QStringView(name)
                                            .sliced(prefix.size())
                                            .chopped(1)
                                            .contains(u'/');
                        lastSet = -1;
                    }
                    if (eachLine)
                        (*eachLine)(name, key, value);
                    if (inGroup)
                        takeLine(key, value);
                    else if (inSetSection)
                        setSections.append({ section, key, value });
                },
                [&](qint32 section, QByteArrayView data, qsizetype pos) {
                    return section == lastSection && inGroup ? quickLine(data, pos) : -1;
                });
        if (!sections.byName.contains(prefix))
            return;
        for (const Deferred &line : std::as_const(setSections)) {
            const QString &name = sections.names.at(line.section);
            takeSectionLine(QStringView(name).sliced(prefix.size()).chopped(1), line.key,
                            line.value);
        }
    }

    // A line of the group's section ("set\\label=value") and a line of a set's own section
    // ("[group\\set]", "label=value"), as read takes them: what the index of a file keeps of a set
    // is read again through these. A set's own section counts only for a set the group's lines
    // made.
    void takeGroupLine(QByteArrayView key, QByteArrayView value) { takeLine(key, value); }
    void takeSectionLine(QStringView setName, QByteArrayView key, QByteArrayView value)
    {
        const qint32 set = setNames.find(setName.toString());
        if (set < 0 || setNames.at(set).isEmpty())
            return;
        if (lines) {
            noteLine(set, key, value, true);
            return;
        }
        sectionLabel.clear();
        appendUnescapedKey(key, sectionLabel);
        if (!sectionLabel.contains(u'/'))
            addLabel(set, labels.fromText(sectionLabel), value);
    }

    // Every key line of the text goes to visit as well, as forEachIniLine hands it over, the
    // lines the quick path takes included: one pass serves a check of the lines and of the sets.
    void visitLines(const IniLineVisitor *visit) { eachLine = visit; }

    // The sets with a name, in name order, as finish visits them.
    QList<qint32> orderedSets() const
    {
        QList<qint32> order;
        order.reserve(setNames.size());
        for (qint32 k = 0; k < qint32(setNames.size()); ++k) {
            if (!setNames.at(k).isEmpty())
                order.append(k);
        }
        const auto byName = [this](qint32 a, qint32 b) { return setNames.at(a) < setNames.at(b); };
        // The toolkit's writer gives the sets in order already.
        if (!std::is_sorted(order.cbegin(), order.cend(), byName))
            std::sort(order.begin(), order.end(), byName);
        return order;
    }

    const QString &setName(qint32 set) const { return setNames.at(set); }

    // Where each line that concerns a set lies in the text, instead of its labels: an index of
    // the file, from which one set at a time is read again. text is what read is given.
    void indexInto(QList<IniSetLine> *setLines, const char *text)
    {
        lines = setLines;
        textBegin = text;
    }

    // The sets in name order, each with its labels' entries in key order, the last of a key, and
    // whether those have the same labels and bits as the set visited before.
    template<typename Visit>
    void finish(Visit &&visit)
    {
        const QList<qint32> order = orderedSets();

        // The runs of each set together, in the order they were read: as they stand when each
        // set's lines follow each other.
        QList<qsizetype> starts(setNames.size() + 1, 0);
        for (const Run &run : std::as_const(runs))
            ++starts[run.set + 1];
        for (qsizetype k = 1; k < starts.size(); ++k)
            starts[k] += starts[k - 1];
        const bool grouped =
                std::is_sorted(runs.cbegin(), runs.cend(),
                               [](const Run &a, const Run &b) { return a.set < b.set; });
        QList<qsizetype> bySet;
        if (!grouped) {
            bySet.resize(runs.size());
            QList<qsizetype> next(starts.cbegin(), starts.cend() - 1);
            for (qsizetype i = 0; i < runs.size(); ++i)
                bySet[next[runs.at(i).set]++] = i;
        }
        // The entries of the set as read, and of the set visited before it.
        QList<qsizetype> asRead;
        QList<qsizetype> asReadBefore;
        // Places in asRead, and the entries they are.
        QList<qsizetype> places;
        QList<qsizetype> chosen;
        bool first = true;
        for (const qint32 set : std::as_const(order)) {
            asRead.clear();
            for (qsizetype k = starts.at(set); k < starts.at(set + 1); ++k) {
                const Run &run = runs.at(grouped ? k : bySet.at(k));
                for (qsizetype i = run.first; i < run.first + run.count; ++i)
                    asRead.append(i);
            }
            // Register instances follow each other with the same labels and bits in the same
            // order, which choose the same places.
            bool same = !first && asRead.size() == asReadBefore.size();
            for (qsizetype k = 0; same && k < asRead.size(); ++k)
                same = entries.at(asRead.at(k)) == entries.at(asReadBefore.at(k));
            first = false;
            if (!same) {
                places.resize(asRead.size());
                for (qsizetype k = 0; k < places.size(); ++k)
                    places[k] = k;
                const auto labelAt = [&](qsizetype place) {
                    return entries.at(asRead.at(place)).label;
                };
                // Compared as strings set by set: most sets are in order already, and a file of
                // many different labels would spend more on ranking all of them at once.
                const auto byKey = [&](qsizetype a, qsizetype b) {
                    return labels.at(labelAt(a)) < labels.at(labelAt(b));
                };
                // Written by the toolkit, the labels are in order already and each is there once.
                if (std::adjacent_find(places.cbegin(), places.cend(),
                                       [&](qsizetype a, qsizetype b) { return !byKey(a, b); })
                    != places.cend()) {
                    std::stable_sort(places.begin(), places.end(), byKey);
                    // A later line of the same key wins.
                    qsizetype kept = 0;
                    for (qsizetype k = 0; k < places.size(); ++k) {
                        if (k + 1 < places.size()
                            && labelAt(places.at(k)) == labelAt(places.at(k + 1)))
                            continue;
                        places[kept++] = places.at(k);
                    }
                    places.resize(kept);
                }
            }
            chosen.resize(places.size());
            for (qsizetype k = 0; k < places.size(); ++k)
                chosen[k] = asRead.at(places.at(k));
            visit(setNames.at(set), chosen, same);
            asRead.swap(asReadBefore);
        }
    }

    struct Entry
    {
        qint32 label;
        qint32 bit; // anyBit of the value

        friend bool operator==(const Entry &a, const Entry &b)
        {
            return a.label == b.label && a.bit == b.bit;
        }
    };
    QList<Entry> entries;
    QList<IniValue> values; // beside entries, when kept
    Interner labels;

private:
    void takeLine(QByteArrayView key, QByteArrayView value)
    {
        // Most keys are simple "set\\label": the set of a run of lines is looked up once, and a
        // label is first looked for where it stood in the set before, as register instances
        // repeat their fields in the same order.
        qsizetype separator = 0;
        bool deeper = false;
        if (scanSimpleKey(key, &separator, &deeper)) {
            if (separator < 0)
                return; // a key of the group itself
            const QByteArrayView rawSet = key.first(separator);
            if (lastSet < 0 || rawSet != lastRawSet) {
                // Looked up by its text alone: a set's lines mostly follow each other, and a table
                // of every set's bytes would only cost memory.
                QString name;
                appendSimpleKey(rawSet, name);
                lastSet = setNames.fromText(name);
                lastRawSet = rawSet;
                quickSet = isQuickSetName(rawSet);
                previousRun.swap(currentRun);
                currentRun.clear();
            }
            if (lines) {
                noteLine(lastSet, key, value, false);
                return;
            }
            if (deeper)
                return;
            const QByteArrayView label = key.sliced(separator + 1);
            const std::size_t at = currentRun.size();
            qint32 id = -1;
            bool quick = false;
            if (at < previousRun.size()) {
                const RunLabel &before = previousRun[at];
                if (before.bytes.size() == label.size()
                    && std::memcmp(before.bytes.data(), label.data(), size_t(label.size())) == 0) {
                    id = before.id;
                    quick = before.quick;
                }
            }
            if (id < 0) {
                id = labels.fromBytes(label);
                quick = quickLabelEnd(label.data(), label.data() + label.size(), false)
                        == label.data() + label.size();
            }
            currentRun.push_back({ label, id, quick });
            addLabel(lastSet, id, value);
            return;
        }
        lastSet = -1;
        scratch.clear();
        appendUnescapedKey(key, scratch);
        const qsizetype slash = scratch.indexOf(u'/');
        if (slash < 0)
            return;
        const qint32 set = setNames.fromText(scratch.first(slash));
        if (lines) {
            noteLine(set, key, value, false);
            return;
        }
        const QStringView label = QStringView(scratch).sliced(slash + 1);
        if (!label.contains(u'/'))
            addLabel(set, labels.fromText(label.toString()), value);
    }

    // The common line, "set\\label=value" right after a line of the same set, read without the
    // general scan: its set's bytes are compared with those of the line before, and its label's
    // with the label at the same place in the set before, which register instances repeat. What
    // it accepts the scan would split in the same place (the set's bytes were a key's already,
    // the label's and the value's have nothing the scan treats specially), so the key and value
    // are the ones takeLine would get. The end of the line, or -1 for the scan to read it.
    qsizetype quickLine(QByteArrayView data, qsizetype pos)
    {
        const char *const text = data.data();
        const char *const end = text + data.size();
        if (lastSet < 0 || !quickSet || pos >= data.size() || text[pos] != '\n')
            return -1;
        const char *const start = text + pos + 1;
        const auto setSize = size_t(lastRawSet.size());
        if (size_t(end - start) <= setSize || start[setSize] != '\\'
            || std::memcmp(start, lastRawSet.data(), setSize) != 0)
            return -1;
        const char *const label = start + setSize + 1;
        const char *equals = nullptr;
        qint32 id = -1;
        const std::size_t at = currentRun.size();
        if (!lines && at < previousRun.size()) {
            const RunLabel &before = previousRun[at];
            const auto size = size_t(before.bytes.size());
            if (before.quick && size_t(end - label) > size && label[size] == '='
                && std::memcmp(label, before.bytes.data(), size) == 0) {
                equals = label + size;
                id = before.id;
            }
        }
        if (!equals)
            equals = quickLabelEnd(label, end, true);
        if (!equals)
            return -1;
        const char *const value = equals + 1;
        const char *lineEnd = value;
        while (lineEnd < end && !(charTraits[uchar(*lineEnd)] & Special))
            ++lineEnd;
        if (lineEnd < end && *lineEnd != '\n')
            return -1;
        if (eachLine)
            (*eachLine)(prefix, QByteArrayView(start, equals - start),
                        QByteArrayView(value, lineEnd - value));
        if (lines) {
            notePlainLine(lastSet, start, lineEnd);
            return lineEnd - text;
        }
        const QByteArrayView bytes(label, equals - label);
        if (id < 0)
            id = labels.fromBytes(bytes);
        currentRun.push_back({ bytes, id, true });
        addLabel(lastSet, id, QByteArrayView(value, lineEnd - value));
        return lineEnd - text;
    }

    void addLabel(qint32 set, qint32 label, QByteArrayView bytes)
    {
        qint32 bit = 0;
        QByteArrayView plain;
        // An empty key cannot be looked up: a label without a value.
        if (labels.at(label).isEmpty()) {
            if (keepValues)
                values.append(IniValue());
        } else if (!keepValues && bytes.size() <= 2 && !bytes.isEmpty() && isDigit(bytes.front())
                   && isDigit(bytes.back())) {
            // The bits of a set as the toolkit writes them.
            bit = bytes.front() - '0';
            if (bytes.size() == 2)
                bit = bit * 10 + (bytes.back() - '0');
        } else if (!keepValues && isPlainValue(bytes, &plain)) {
            bit = anyBit(labelBitIndex(QLatin1String(plain.data(), plain.size()), unbounded));
        } else {
            IniValue value = readValue(bytes);
            bit = anyBit(iniValueBitIndex(value, unbounded));
            if (keepValues)
                values.append(std::move(value));
        }
        appendEntry(set, { label, bit });
    }

    // The labels a set gets one after the other make a run. A run that repeats the labels and
    // bits of the run before it, as register instances do, keeps that run's entries instead of
    // copies: a file of many such sets holds few entries. Values, when kept, lie beside entries
    // of their own.
    void appendEntry(qint32 set, Entry entry)
    {
        if (runs.isEmpty() || runs.constLast().set != set) {
            sharing = !keepValues && !runs.isEmpty();
            if (sharing)
                model = runs.constLast();
            runs.append({ sharing ? model.first : entries.size(), 0, set });
        }
        Run &run = runs.last();
        if (sharing) {
            if (run.count < model.count && entries.at(run.first + run.count) == entry) {
                ++run.count;
                return;
            }
            // It differs from here: the run gets entries of its own.
            sharing = false;
            const qsizetype from = run.first;
            run.first = entries.size();
            for (qsizetype k = 0; k < run.count; ++k) {
                const Entry copy = entries.at(from + k);
                entries.append(copy);
            }
        }
        entries.append(entry);
        ++run.count;
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    struct Run
    {
        qsizetype first; // in entries
        qsizetype count;
        qint32 set;
    };
    QList<Run> runs;
    Run model {}; // the run before the last, while the last shares its entries
    bool sharing = false;

    QString prefix;
    bool keepValues;
    SetNames setNames;
    QByteArrayView lastRawSet;
    qint32 lastSet = -1;
    bool quickSet = false; // whether lastRawSet lets the lines that follow take the quick path
    // The labels of the set being read and of the one before, as read, with their strings.
    struct RunLabel
    {
        QByteArrayView bytes;
        qint32 id;
        bool quick; // as quickLabelEnd finds it
    };
    // Appended to line by line, their room kept from set to set.
    std::vector<RunLabel> currentRun;
    std::vector<RunLabel> previousRun;
    QString scratch;
    QString sectionLabel;
    const IniLineVisitor *eachLine = nullptr;
    // While indexing: where the lines go, and the text they are in.
    QList<IniSetLine> *lines = nullptr;
    const char *textBegin = nullptr;

    void noteLine(qint32 set, QByteArrayView key, QByteArrayView value, bool section)
    {
        const auto offset = [this](QByteArrayView bytes) {
            return bytes.isEmpty() ? 0 : qint32(bytes.data() - textBegin);
        };
        lines->append({ set, section ? IniSetLine::SectionLine : IniSetLine::GroupLine, offset(key),
                        qint32(key.size()), offset(value), qint32(value.size()) });
    }

    // A line the quick path took, from its first byte to its end: it extends the lines noted
    // just before when they are of the same set and end where it begins.
    void notePlainLine(qint32 set, const char *begin, const char *end)
    {
        const auto first = qint32(begin - textBegin);
        if (!lines->isEmpty()) {
            IniSetLine &last = lines->last();
            if (last.kind == IniSetLine::PlainLines && last.set == set
                && last.key + last.keyLength + 1 == first) {
                last.keyLength = qint32(end - textBegin) - last.key;
                return;
            }
        }
        lines->append({ set, IniSetLine::PlainLines, first, qint32(end - begin), 0, 0 });
    }
};

} // namespace

qsizetype iniValueBitIndex(const IniValue &value, qsizetype labelCount)
{
    return value.kind == IniValue::Text ? labelBitIndex(QStringView(value.text), labelCount) : 0;
}

QList<IniKey> readIniKeys(QByteArrayView text, QList<IniKey> *everyLine)
{
    struct Line
    {
        qint32 section;
        qint32 order;
        IniKey key;
    };
    QList<Line> lines;
    const Sections sections = scanIni(
            text,
            [&](qint32 section, const QString &name, QByteArrayView key, QByteArrayView value) {
                Line line { section, qint32(lines.size()), { name, {} } };
                appendUnescapedKey(key, line.key.key);
                if (!line.key.key.isEmpty())
                    line.key.value = readValue(value);
                lines.append(std::move(line));
            });
    if (everyLine) {
        everyLine->clear();
        for (const Line &line : std::as_const(lines))
            everyLine->append(line.key);
    }
    // Sections in name order, lines in file order: the last line of a key wins. The toolkit's
    // writer gives keys in order, once each, and that needs no sorting.
    const auto before = [](const Line &a, const Line &b) { return a.key.key < b.key.key; };
    if (std::adjacent_find(lines.cbegin(), lines.cend(),
                           [&](const Line &a, const Line &b) { return !before(a, b); })
        != lines.cend()) {
        const QList<qint32> rank = sections.ranks();
        std::sort(lines.begin(), lines.end(), [&](const Line &a, const Line &b) {
            if (const int c = a.key.key.compare(b.key.key); c != 0)
                return c < 0;
            if (a.section != b.section)
                return rank.at(a.section) < rank.at(b.section);
            return a.order < b.order;
        });
    }
    QList<IniKey> keys;
    keys.reserve(lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i + 1 < lines.size() && lines.at(i + 1).key.key == lines.at(i).key.key)
            continue;
        keys.append(std::move(lines[i].key));
    }
    return keys;
}

QList<IniKeyLine> readIniLines(QByteArrayView text)
{
    QList<IniKeyLine> lines;
    scanIni(text, [&](qint32, const QString &section, QByteArrayView key, QByteArrayView value) {
        lines.append({ section, key, value });
    });
    return lines;
}

void forEachIniLine(QByteArrayView text, const IniLineVisitor &take)
{
    scanIni(text, [&](qint32, const QString &section, QByteArrayView key, QByteArrayView value) {
        take(section, key, value);
    });
}

QString unescapedIniKey(QByteArrayView key)
{
    QString name;
    appendUnescapedKey(key, name);
    return name;
}

QString iniKeyName(const IniKeyLine &line)
{
    QString name = line.section;
    appendUnescapedKey(line.key, name);
    return name;
}

QList<IniLabelSet> readIniLabelSetKeys(QByteArrayView text, const QString &group)
{
    LabelSetReader reader(group, true);
    reader.read(text);
    QList<IniLabelSet> result;
    reader.finish([&](const QString &name, const QList<qsizetype> &chosen, bool) {
        IniLabelSet set;
        set.name = name;
        for (const qsizetype i : chosen) {
            set.keys.append(reader.labels.at(reader.entries.at(i).label));
            set.values.append(reader.values.at(i));
        }
        result.append(std::move(set));
    });
    return result;
}

namespace {

LabelSets decodeLabelSets(LabelSetReader &reader)
{
    LabelSets sets;
    sets.names.reserve(reader.setCount());
    sets.labels.reserve(reader.setCount());
    QList<qsizetype> bits;
    QList<qint32> shown;
    // Register instances decode to the same list: one list, shared, for all of them.
    QHash<QList<qint32>, QStringList> lists;
    reader.finish([&](const QString &name, const QList<qsizetype> &chosen, bool same) {
        sets.names.append(name);
        if (same) {
            sets.labels.append(sets.labels.constLast());
            return;
        }
        bits.clear();
        for (const qsizetype i : chosen) {
            const qint32 bit = reader.entries.at(i).bit;
            bits.append(bit < chosen.size() ? bit : -1);
        }
        shown.clear();
        for (const qsizetype k : labelPositions(bits, chosen.size()))
            shown.append(reader.entries.at(chosen.at(k)).label);
        // An empty key is left out of the table: Qt 6.4 compares empty lists with a null memcmp.
        if (shown.isEmpty()) {
            sets.labels.append(QStringList());
            return;
        }
        auto list = lists.constFind(shown);
        if (list == lists.cend()) {
            QStringList labels;
            labels.reserve(shown.size());
            for (const qint32 label : std::as_const(shown))
                labels.append(reader.labels.at(label));
            list = lists.insert(shown, labels);
        }
        sets.labels.append(*list);
    });
    return sets;
}

} // namespace

LabelSets readIniLabelSets(QByteArrayView text, const QString &group)
{
    LabelSetReader reader(group, false);
    reader.read(text);
    return decodeLabelSets(reader);
}

LabelSets readIniLabelSets(QByteArrayView text, const QString &group,
                           const IniLineVisitor &eachLine)
{
    LabelSetReader reader(group, false);
    reader.visitLines(&eachLine);
    reader.read(text);
    return decodeLabelSets(reader);
}

LabelSets readIniLabelSets(QByteArray &&text, const QString &group)
{
    LabelSetReader reader(group, false);
    reader.read(text);
    reader.forgetText();
    text = QByteArray();
    return decodeLabelSets(reader);
}

std::shared_ptr<const IniLabelSetIndex> indexIniLabelSets(const QByteArray &text,
                                                          const QString &group)
{
    auto index = std::make_shared<IniLabelSetIndex>();
    index->text = text;
    index->group = group;
    if (text.size() > std::numeric_limits<qint32>::max())
        return index;
    QList<IniSetLine> lines;
    LabelSetReader reader(group, false);
    reader.indexInto(&lines, index->text.constData());
    reader.read(index->text);
    // Each set's lines together, in the order they were taken; lines of a set without a name (no
    // set) are dropped.
    const QList<qint32> order = reader.orderedSets();
    QList<qint32> place(reader.setCount(), -1);
    index->names.reserve(order.size());
    for (qint32 k = 0; k < qint32(order.size()); ++k) {
        place[order.at(k)] = k;
        index->names.append(reader.setName(order.at(k)));
    }
    index->starts.fill(0, order.size() + 1);
    // Written by the toolkit, the sets' lines come in the sets' order already.
    const bool grouped = std::is_sorted(lines.cbegin(), lines.cend(),
                                        [&](const IniSetLine &a, const IniSetLine &b) {
                                            return place.at(a.set) < place.at(b.set);
                                        })
            && std::none_of(lines.cbegin(), lines.cend(),
                            [&](const IniSetLine &line) { return place.at(line.set) < 0; });
    for (const IniSetLine &line : std::as_const(lines)) {
        if (place.at(line.set) >= 0)
            ++index->starts[place.at(line.set) + 1];
    }
    for (qsizetype k = 1; k < index->starts.size(); ++k)
        index->starts[k] += index->starts.at(k - 1);
    if (grouped) {
        lines.squeeze();
        index->lines = std::move(lines);
        return index;
    }
    index->lines.resize(index->starts.constLast());
    QList<qint32> next(index->starts.cbegin(), index->starts.cend() - 1);
    for (const IniSetLine &line : std::as_const(lines)) {
        if (const qint32 k = place.at(line.set); k >= 0)
            index->lines[next[k]++] = line;
    }
    return index;
}

QStringList IniLabelSetIndex::labels(qsizetype k) const
{
    LabelSetReader reader(group, false);
    const QByteArrayView bytes(text);
    for (qint32 i = starts.at(k); i < starts.at(k + 1); ++i) {
        const IniSetLine &line = lines.at(i);
        const QByteArrayView key = bytes.sliced(line.key, line.keyLength);
        const QByteArrayView value = bytes.sliced(line.value, line.valueLength);
        switch (line.kind) {
        case IniSetLine::GroupLine:
            reader.takeGroupLine(key, value);
            break;
        case IniSetLine::SectionLine:
            reader.takeSectionLine(names.at(k), key, value);
            break;
        case IniSetLine::PlainLines:
            // "key=value" lines, each as the quick path took it: a key holds no '=', and a
            // value no line break.
            for (QByteArrayView rest = key; !rest.isEmpty();) {
                qsizetype end = rest.indexOf('\n');
                if (end < 0)
                    end = rest.size();
                const QByteArrayView plain = rest.first(end);
                const qsizetype equals = plain.indexOf('=');
                reader.takeGroupLine(plain.first(equals), plain.sliced(equals + 1));
                rest = rest.sliced(qMin(end + 1, rest.size()));
            }
            break;
        }
    }
    const LabelSets sets = decodeLabelSets(reader);
    return sets.labels.value(0);
}
