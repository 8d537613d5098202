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

// Bytes that a key may hold as they are: printable ASCII without the escape character.
bool isPlainKey(QByteArrayView key)
{
    for (const char c : key) {
        if (uchar(c) < 0x20 || uchar(c) >= 0x7f || c == '%')
            return false;
    }
    return true;
}

// The settings class's key unescaping, appended to result: the key is UTF-8, '\' is '/', and
// %XX and %UXXXX name a UTF-16 unit by whatever the toolkit's number conversion makes of the
// digits; a '%' that starts no such escape stays.
void appendUnescapedKey(QByteArrayView key, QString &result)
{
    if (isPlainKey(key)) {
        const qsizetype from = result.size();
        result.append(QLatin1String(key.data(), key.size()));
        QChar *out = result.data() + from;
        for (qsizetype i = 0; i < key.size(); ++i) {
            if (out[i] == u'\\')
                out[i] = u'/';
        }
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

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
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
                if (hexValue(str.at(i)) >= 0)
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
    while (i < size && hexValue(str.at(i)) >= 0) {
        escaped = char16_t((escaped << 4) + hexValue(str.at(i)));
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

// A section as the settings class keeps it before it is read: its name with a '/' at the end (or
// empty for the keys outside any section) and its parts in the text, in file order.
struct Section
{
    QString name;
    QList<QByteArrayView> parts;
};

struct Sections
{
    QList<Section> list; // in the order of their names
    QHash<QString, qsizetype> byName;
};

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

Sections splitSections(QByteArrayView data)
{
    if (data.startsWith("\xef\xbb\xbf"))
        data = data.sliced(3);
    Sections sections;
    QString current;
    qsizetype currentStart = 0;
    qsizetype dataPos = 0;
    qsizetype lineStart = 0;
    qsizetype lineLen = 0;
    qsizetype equalsPos = 0;
    const auto flush = [&](qsizetype end) {
        qsizetype index = sections.byName.value(current, -1);
        if (index < 0) {
            index = sections.list.size();
            sections.byName.insert(current, index);
            sections.list.append({ current, {} });
        }
        if (end > currentStart)
            sections.list[index].parts.append(data.sliced(currentStart, end - currentStart));
    };
    while (readIniLine(data, dataPos, lineStart, lineLen, equalsPos)) {
        if (data.at(lineStart) != '[')
            continue;
        flush(lineStart);
        const QByteArrayView line = data.sliced(lineStart, lineLen);
        qsizetype close = line.indexOf(']');
        if (close < 0)
            close = lineLen;
        current = sectionName(line.first(close).sliced(1).trimmed());
        currentStart = dataPos;
    }
    flush(data.size());
    std::sort(sections.list.begin(), sections.list.end(),
              [](const Section &a, const Section &b) { return a.name < b.name; });
    for (qsizetype k = 0; k < sections.list.size(); ++k)
        sections.byName[sections.list.at(k).name] = k;
    return sections;
}

// Calls take(key, value) for each key line of the section, in the settings class's order: the
// key trimmed, the value as it stands after the '='.
template<typename Take>
void forEachKeyLine(const Section &section, Take &&take)
{
    for (const QByteArrayView part : section.parts) {
        qsizetype dataPos = 0;
        qsizetype lineStart = 0;
        qsizetype lineLen = 0;
        qsizetype equalsPos = 0;
        while (readIniLine(part, dataPos, lineStart, lineLen, equalsPos)) {
            if (equalsPos < 0)
                continue;
            take(trimmed(part.sliced(lineStart, equalsPos - lineStart)),
                 part.sliced(equalsPos + 1, lineStart + lineLen - equalsPos - 1));
        }
    }
}

// Strings looked up by the bytes they were read from where those are plain, and by their text
// otherwise: the same name written in two ways is one string.
class Interner
{
public:
    qint32 fromBytes(QByteArrayView bytes)
    {
        const auto found = byBytes.constFind(bytes);
        if (found != byBytes.cend())
            return *found;
        const qint32 id = fromText(QString::fromLatin1(bytes));
        byBytes.insert(bytes, id);
        return id;
    }

    qint32 fromText(const QString &text)
    {
        const auto found = byText.constFind(text);
        if (found != byText.cend())
            return *found;
        const auto id = qint32(strings.size());
        strings.append(text);
        byText.insert(text, id);
        return id;
    }

    const QString &at(qint32 id) const { return strings.at(id); }
    qsizetype size() const { return strings.size(); }

    // Each string's place in UTF-16 code unit order.
    QList<qint32> ranks() const
    {
        QList<qint32> order(strings.size());
        for (qint32 k = 0; k < qint32(order.size()); ++k)
            order[k] = k;
        std::sort(order.begin(), order.end(),
                  [this](qint32 a, qint32 b) { return strings.at(a) < strings.at(b); });
        QList<qint32> rank(strings.size());
        for (qint32 k = 0; k < qint32(order.size()); ++k)
            rank[order.at(k)] = k;
        return rank;
    }

private:
    QHash<QByteArrayView, qint32> byBytes;
    QHash<QString, qint32> byText;
    QList<QString> strings;
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
    LabelSetReader(QByteArrayView text, const QString &group, bool keepValues)
        : sections(splitSections(text)), prefix(group + u'/'), keepValues(keepValues)
    {
    }

    void read()
    {
        // The settings class reads the group's own section to list its sub-groups; keys outside
        // any section and other sections are not read for that.
        const auto own = sections.byName.constFind(prefix);
        if (own == sections.byName.cend())
            return;
        forEachKeyLine(sections.list.at(*own),
                       [this](QByteArrayView key, QByteArrayView value) { takeLine(key, value); });
        // Then, entering each set, the section of that set, whose keys come after the group's.
        for (qint32 set = 0; set < qint32(sets.size()); ++set) {
            const QString &name = sets.at(set);
            if (name.isEmpty())
                continue;
            const auto found = sections.byName.constFind(prefix + name + u'/');
            if (found == sections.byName.cend())
                continue;
            forEachKeyLine(sections.list.at(*found),
                           [this, set](QByteArrayView key, QByteArrayView value) {
                               QString label;
                               appendUnescapedKey(key, label);
                               if (!label.contains(u'/'))
                                   addLabel(set, labels.fromText(label), value);
                           });
        }
    }

    // The sets in name order, each with its labels' entries in key order, the last of a key.
    template<typename Visit>
    void finish(Visit &&visit)
    {
        QList<qint32> order;
        order.reserve(sets.size());
        for (qint32 k = 0; k < qint32(sets.size()); ++k) {
            if (!sets.at(k).isEmpty())
                order.append(k);
        }
        std::sort(order.begin(), order.end(),
                  [this](qint32 a, qint32 b) { return sets.at(a) < sets.at(b); });

        // The entries of each set together, in the order they were read.
        QList<qsizetype> starts(sets.size() + 1, 0);
        for (const Entry &entry : std::as_const(entries))
            ++starts[entry.set + 1];
        for (qsizetype k = 1; k < starts.size(); ++k)
            starts[k] += starts[k - 1];
        QList<qsizetype> bySet(entries.size());
        {
            QList<qsizetype> next(starts.cbegin(), starts.cend() - 1);
            for (qsizetype i = 0; i < entries.size(); ++i)
                bySet[next[entries.at(i).set]++] = i;
        }
        const QList<qint32> rank = labels.ranks();
        QList<qsizetype> chosen;
        for (const qint32 set : std::as_const(order)) {
            chosen.clear();
            const auto begin = bySet.begin() + starts.at(set);
            const auto end = bySet.begin() + starts.at(set + 1);
            const auto byKey = [&](qsizetype a, qsizetype b) {
                return rank.at(entries.at(a).label) < rank.at(entries.at(b).label);
            };
            const auto sameKey = [&](qsizetype a, qsizetype b) {
                return entries.at(a).label == entries.at(b).label;
            };
            std::stable_sort(begin, end, byKey);
            for (auto it = begin; it != end; ++it) {
                if (it + 1 != end && sameKey(*it, *(it + 1)))
                    continue; // a later line of the same key wins
                chosen.append(*it);
            }
            visit(sets.at(set), chosen);
        }
    }

    struct Entry
    {
        qint32 set;
        qint32 label;
        qint32 bit; // anyBit of the value
    };
    QList<Entry> entries;
    QList<IniValue> values; // beside entries, when kept
    Interner labels;

private:
    void takeLine(QByteArrayView key, QByteArrayView value)
    {
        // Most keys are plain bytes "set\label": the set of a run of lines is looked up once.
        if (isPlainKey(key) && !key.contains('/')) {
            const qsizetype separator = key.indexOf('\\');
            if (separator < 0)
                return; // a key of the group itself
            const QByteArrayView rawSet = key.first(separator);
            if (lastSet < 0 || rawSet != lastRawSet) {
                lastSet = setNames.fromBytes(rawSet);
                if (lastSet == qint32(sets.size()))
                    sets.append(setNames.at(lastSet));
                lastRawSet = rawSet;
            }
            const QByteArrayView label = key.sliced(separator + 1);
            if (!label.contains('\\'))
                addLabel(lastSet, labels.fromBytes(label), value);
            return;
        }
        lastSet = -1;
        scratch.clear();
        appendUnescapedKey(key, scratch);
        const qsizetype slash = scratch.indexOf(u'/');
        if (slash < 0)
            return;
        const qint32 set = setNames.fromText(scratch.first(slash));
        if (set == qint32(sets.size()))
            sets.append(setNames.at(set));
        const QStringView label = QStringView(scratch).sliced(slash + 1);
        if (!label.contains(u'/'))
            addLabel(set, labels.fromText(label.toString()), value);
    }

    void addLabel(qint32 set, qint32 label, QByteArrayView bytes)
    {
        qint32 bit = 0;
        QByteArrayView plain;
        // An empty key cannot be looked up: a label without a value.
        if (labels.at(label).isEmpty()) {
            if (keepValues)
                values.append(IniValue());
        } else if (!keepValues && isPlainValue(bytes, &plain)) {
            bit = anyBit(labelBitIndex(QLatin1String(plain.data(), plain.size()), unbounded));
        } else {
            IniValue value = readValue(bytes);
            bit = anyBit(iniValueBitIndex(value, unbounded));
            if (keepValues)
                values.append(std::move(value));
        }
        entries.append({ set, label, bit });
    }

    Sections sections;
    QString prefix;
    bool keepValues;
    Interner setNames;
    QList<QString> sets; // by id, in the order first read
    QByteArrayView lastRawSet;
    qint32 lastSet = -1;
    QString scratch;
};

} // namespace

qsizetype iniValueBitIndex(const IniValue &value, qsizetype labelCount)
{
    return value.kind == IniValue::Text ? labelBitIndex(QStringView(value.text), labelCount) : 0;
}

QList<IniKey> readIniKeys(QByteArrayView text, QList<IniKey> *everyLine)
{
    const Sections sections = splitSections(text);
    QList<IniKey> keys;
    // Sections in name order, lines in file order: the last line of a key wins.
    for (const Section &section : sections.list) {
        forEachKeyLine(section, [&](QByteArrayView key, QByteArrayView value) {
            IniKey read;
            read.key = section.name;
            appendUnescapedKey(key, read.key);
            if (!read.key.isEmpty())
                read.value = readValue(value);
            keys.append(std::move(read));
        });
    }
    if (everyLine)
        *everyLine = keys;
    std::stable_sort(keys.begin(), keys.end(),
                     [](const IniKey &a, const IniKey &b) { return a.key < b.key; });
    QList<IniKey> unique;
    unique.reserve(keys.size());
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (i + 1 < keys.size() && keys.at(i + 1).key == keys.at(i).key)
            continue;
        unique.append(std::move(keys[i]));
    }
    return unique;
}

QList<IniLabelSet> readIniLabelSetKeys(QByteArrayView text, const QString &group)
{
    LabelSetReader reader(text, group, true);
    reader.read();
    QList<IniLabelSet> result;
    reader.finish([&](const QString &name, const QList<qsizetype> &chosen) {
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

LabelSets readIniLabelSets(QByteArrayView text, const QString &group)
{
    LabelSetReader reader(text, group, false);
    reader.read();
    LabelSets sets;
    QList<qsizetype> bits;
    reader.finish([&](const QString &name, const QList<qsizetype> &chosen) {
        QStringList keys;
        keys.reserve(chosen.size());
        bits.clear();
        for (const qsizetype i : chosen) {
            const auto &entry = reader.entries.at(i);
            keys.append(reader.labels.at(entry.label));
            bits.append(entry.bit < chosen.size() ? entry.bit : -1);
        }
        sets.names.append(name);
        sets.labels.append(placeLabels(keys, bits));
    });
    return sets;
}
