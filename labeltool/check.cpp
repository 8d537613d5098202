// SPDX-License-Identifier: MIT
// check: every line of a label file that makes the window show something other than it seems to
// say.
//
// What the window shows comes from its own reader; the pass over the lines here only finds out
// which line is behind each key, so that a finding can point at it.
#include "inireader.h"
#include "labeldecoding.h"
#include "labeltool.h"

#include <QCommandLineParser>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>

namespace {

// A label line of a set. Most lines are read where they are: the label and the value are decoded
// only when a finding needs them. Lines of any other form are decoded at once. A file within its
// size limit has fewer lines and bytes than 32 bits count, which keeps the many lines small.
struct LabelLine
{
    LabelLine(qint64 line, qsizetype set, qsizetype labelBegin, qsizetype labelEnd,
              qsizetype valueBegin, qsizetype valueEnd, qsizetype decoded)
        : line(qint32(line)), set(qint32(set)), labelBegin(qint32(labelBegin)),
          labelEnd(qint32(labelEnd)), valueBegin(qint32(valueBegin)), valueEnd(qint32(valueEnd)),
          decoded(qint32(decoded))
    {
    }

    qint32 line;
    qint32 set;
    qint32 labelBegin; // the label's bytes in the file
    qint32 labelEnd;
    qint32 valueBegin; // the value's bytes in the file
    qint32 valueEnd;
    qint32 decoded; // index into the decoded lines, or -1
};
static_assert(maxLabelFileSize < std::numeric_limits<qint32>::max());

struct DecodedLine
{
    QString label;
    IniValue value;
};

struct HeaderLine
{
    qint64 line = 0;
    QString name;
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

QByteArrayView trimmed(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

enum : uchar {
    LineBreak = 1,
    Equals = 2,
    Backslash = 4,
    Slash = 8,
    Percent = 16,
    Unusual = 32, // ';', '"', ',' and '@': a line that holds one is looked at closely
    HighByte = 64,
};

constexpr std::array<uchar, 256> lineTraits = [] {
    std::array<uchar, 256> traits {};
    traits[uchar('\n')] = LineBreak;
    traits[uchar('\r')] = LineBreak;
    traits[uchar('=')] = Equals;
    traits[uchar('\\')] = Backslash;
    traits[uchar('/')] = Slash;
    traits[uchar('%')] = Percent;
    for (const char c : { ';', '"', ',', '@' })
        traits[uchar(c)] = Unusual;
    for (int c = 0x80; c < 0x100; ++c)
        traits[c] = HighByte;
    return traits;
}();

// What one pass over a line's bytes tells: enough to take a plain "set\label=value" line without
// looking at it again, and to leave every other line to the close look.
struct LineScan
{
    const char *end = nullptr; // the line break, or the end of the text
    uchar seen = 0; // the traits of all bytes
    uchar afterEquals = 0; // the traits of the bytes after the first '='
    const char *equals = nullptr; // the first '='
    const char *separator = nullptr; // the first '\' or '/' before it
    bool deeper = false; // another '\' or '/' before it
    bool escapedSlash = false; // "%2F" or "%2f" between the separator and the '='

    // Whether the line is plain without a closer look. content is the line trimmed.
    bool isPlain(QByteArrayView content) const
    {
        return equals && separator && separator != content.data() && !deeper && !escapedSlash
                && !(seen & Unusual) && !(afterEquals & Backslash) && !content.startsWith('#');
    }

    // For a line that isPlain: the parts isPlainLine finds, or false for an empty label.
    bool plainParts(QByteArrayView content, QByteArrayView *key, qsizetype *at,
                    QByteArrayView *value) const
    {
        const char *keyEnd = equals;
        while (isBlank(keyEnd[-1]))
            --keyEnd;
        *key = QByteArrayView(content.data(), keyEnd);
        *at = separator - content.data();
        if (key->size() == *at + 1)
            return false;
        const char *valueBegin = equals + 1;
        const char *const valueEnd = content.data() + content.size();
        while (valueBegin < valueEnd && isBlank(*valueBegin))
            ++valueBegin;
        *value = QByteArrayView(valueBegin, valueEnd);
        return true;
    }
};

LineScan scanLine(const char *p, const char *end)
{
    LineScan scan;
    for (; p < end; ++p) {
        const uchar traits = lineTraits[uchar(*p)];
        if (traits == 0)
            continue;
        if (traits & LineBreak)
            break;
        scan.seen |= traits;
        if (scan.equals) {
            scan.afterEquals |= traits;
        } else if (traits & Equals) {
            scan.equals = p;
        } else if (traits & (Backslash | Slash)) {
            if (scan.separator)
                scan.deeper = true;
            else
                scan.separator = p;
        } else if ((traits & Percent) && scan.separator && end - p > 2 && p[1] == '2'
                   && (p[2] | 0x20) == 'f') {
            scan.escapedSlash = true;
        }
    }
    scan.end = p;
    return scan;
}

// Whether the size bytes at a and b are the same: the short names of a line are compared a word
// at a time, where a call would cost more than the comparison.
Q_ALWAYS_INLINE bool sameBytes(const char *a, const char *b, size_t size)
{
    const auto word = [](const char *p) {
        quint64 w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    const auto halfWord = [](const char *p) {
        quint32 w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    if (size >= 8) {
        for (size_t i = 0; i + 8 < size; i += 8) {
            if (word(a + i) != word(b + i))
                return false;
        }
        return word(a + size - 8) == word(b + size - 8);
    }
    if (size >= 4)
        return halfWord(a) == halfWord(b) && halfWord(a + size - 4) == halfWord(b + size - 4);
    for (size_t i = 0; i < size; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

QStringList keyParts(const QString &section, const QString &key)
{
    QStringList parts = section.split(u'/', Qt::SkipEmptyParts);
    parts += key.split(u'/', Qt::SkipEmptyParts);
    return parts;
}

int editDistance(const QString &a, const QString &b)
{
    QList<int> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1,
                                diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Escaped like a field of the tool's rows: a warning stays one line whatever a label holds.
QString quoted(const QString &text)
{
    return u'"' + escapedField(text) + u'"';
}

// The label lines of one set, in file order.
struct SetLines
{
    const LabelLine *first;
    const LabelLine *last;
    const LabelLine *begin() const { return first; }
    const LabelLine *end() const { return last; }
    qsizetype size() const { return last - first; }
};

// Where the label lines of a set are in the text, and which of the window's sets it is.
struct SetInfo
{
    qint64 firstLine;
    qsizetype shown; // index in the sets the window shows, or -1
};

class Checker
{
public:
    // Sets are checked one by one as the lines of each end (ByRun), which holds while the lines
    // of a set follow each other with no line of another set among them, as they do in files
    // that a program wrote; otherwise every line is kept and the sets are checked at the end
    // (Whole).
    enum Mode { ByRun, Whole };

    Checker(const QByteArray &text, const LabelSets &sets, Mode mode)
        : text(text), sets(sets), mode(mode)
    {
    }

    // The findings about the sets the window's reader gave for the text, in result; false
    // (result untouched) when ByRun meets a set whose lines it has checked already.
    bool run(LabelFileCheck *result)
    {
        readLines();
        if (revisited)
            return false;
        if (mode == ByRun)
            endRun();
        else
            checkAllSets();
        if (sets.names.isEmpty() && !hasLabelGroup)
            checkSectionNames();
        std::stable_sort(
                warnings.begin(), warnings.end(),
                [](const CheckWarning &a, const CheckWarning &b) { return a.line < b.line; });
        result->shown = sets;
        result->warnings = warnings;
        return true;
    }

private:
    void warn(qint64 line, const QString &message) { warnings.append({ line, message }); }

    QByteArrayView bytes(qsizetype begin, qsizetype end) const
    {
        return QByteArrayView(text).sliced(begin, end - begin);
    }

    QString labelOf(const LabelLine &line) const
    {
        return line.decoded >= 0 ? decoded.at(line.decoded).label
                                 : unescapedIniKey(bytes(line.labelBegin, line.labelEnd));
    }

    IniValue valueOf(const LabelLine &line) const
    {
        if (line.decoded >= 0)
            return decoded.at(line.decoded).value;
        IniValue value;
        value.kind = IniValue::Text;
        value.text = QString::fromUtf8(bytes(line.valueBegin, line.valueEnd));
        return value;
    }

    // The bit of a value as the toolkit writes bits, one or two digits; -1 for any other value.
    static int writtenBit(const char *value, qsizetype size)
    {
        if ((size != 1 && size != 2) || !isDigit(value[0]) || !isDigit(value[size - 1]))
            return -1;
        return size == 1 ? value[0] - '0' : (value[0] - '0') * 10 + value[1] - '0';
    }

    // A plain line of the set being read has the bit of its value, as the toolkit writes it.
    void noteWrittenBit(int bit)
    {
        if (bit >= 0 && bit < 32) {
            runBits |= quint32(1) << bit;
            ++runBitLines;
        }
    }

    // The bit the line's value names in a set of count labels, without decoding a plain value:
    // its bytes outside ASCII are neither blanks nor digits, whatever they decode to. decimal
    // tells whether the value is a decimal integer at all.
    qsizetype bitOf(const LabelLine &line, qsizetype count, bool *decimal) const
    {
        if (line.decoded >= 0) {
            const IniValue &value = decoded.at(line.decoded).value;
            // With no labels to fit, every decimal integer is out of range and anything else is 0.
            *decimal = iniValueBitIndex(value, 0) != 0;
            return iniValueBitIndex(value, count);
        }
        const char *const value = text.constData() + line.valueBegin;
        const qsizetype size = line.valueEnd - line.valueBegin;
        if (const int bit = writtenBit(value, size); bit >= 0) {
            *decimal = true;
            return bit < count ? bit : -1;
        }
        const QLatin1String bytes(value, size);
        *decimal = labelBitIndex(bytes, 0) != 0;
        return labelBitIndex(bytes, count);
    }

    // A value as a message quotes it: an "@" value, which may run to megabytes, only begins.
    static QString valueText(const IniValue &value)
    {
        const QString text =
                value.kind == IniValue::List ? value.items.join(QStringLiteral(", ")) : value.text;
        constexpr qsizetype longest = 100;
        return text.size() > longest ? text.first(longest) + u'…' : text;
    }

    // The value the window's reader gives the key group/set/label; a key it does not read as a
    // label (outside the sections it reads) has the value that the whole file gives it.
    IniValue readValue(const QStringList &parts)
    {
        if (!values) {
            values = std::make_unique<QHash<QString, IniValue>>();
            for (const IniLabelSet &set : readIniLabelSetKeys(text, labelGroup())) {
                for (qsizetype i = 0; i < set.keys.size(); ++i)
                    values->insert(set.name + u'/' + set.keys.at(i), set.values.at(i));
            }
            for (const IniKey &key : readIniKeys(text)) {
                if (key.key.startsWith(labelGroup() + u'/'))
                    allValues.insert(key.key, key.value);
            }
        }
        const QString key = parts.mid(1).join(u'/');
        const auto found = values->constFind(key);
        if (found != values->cend())
            return *found;
        return allValues.value(parts.join(u'/'));
    }

    // The set of the line lineNumber, numbered as first seen. ByRun checks the set before when
    // this line is of another.
    qsizetype setIndex(const QString &name, qint64 lineNumber)
    {
        const qsizetype known = knownSet(name);
        const qsizetype id = known >= 0 ? known : setInfos.size();
        if (known < 0) {
            setNames.append(name);
            if (!namesInOrder)
                setIds.insert(name, id);
            setInfos.append({ lineNumber, shownIndex(name) });
        }
        if (mode == ByRun && id != runSet) {
            endRun();
            revisited = known >= 0;
            runSet = id;
        }
        return id;
    }

    // The index of a set seen before, or -1. Most files give their sets in the order of their
    // names: then a name after the last is new, and only a file whose sets come out of order
    // needs a table of their names.
    qsizetype knownSet(const QString &name)
    {
        if (namesInOrder) {
            if (setNames.isEmpty() || setNames.constLast() < name)
                return -1;
            if (setNames.constLast() == name)
                return setNames.size() - 1;
            namesInOrder = false;
            for (qsizetype k = 0; k < setNames.size(); ++k)
                setIds.insert(setNames.at(k), k);
        }
        return setIds.value(name, -1);
    }

    // The window's sets are in the order of their names, and so are the sets of most files.
    qsizetype shownIndex(const QString &name)
    {
        const qsizetype guess = lastShown + 1;
        if (guess < sets.names.size() && sets.names.at(guess) == name)
            return lastShown = guess;
        const qsizetype at = shownByName().value(name, -1);
        if (at >= 0)
            lastShown = at;
        return at;
    }

    const QHash<QString, qsizetype> &shownByName()
    {
        if (shownNames.isEmpty()) {
            for (qsizetype k = 0; k < sets.names.size(); ++k)
                shownNames.insert(sets.names.at(k), k);
        }
        return shownNames;
    }

    void checkShownSet(qsizetype id, SetLines lines)
    {
        const SetInfo &info = setInfos.at(id);
        if (info.shown < 0)
            return;
        const QString &name = sets.names.at(info.shown);
        const QStringList &captions = sets.labels.at(info.shown);
        // A set written as the toolkit writes one, each of its bits named by one label and
        // each label shown, gives nothing to reason about line by line.
        const bool written = mode == ByRun && lines.size() > 0 && lines.size() == runBitLines
                && lines.size() == captions.size() && runBits == (quint64(1) << lines.size()) - 1
                && !hasLongCaption(captions);
        if (!written)
            checkSet(info.firstLine, name, captions, lines);
        checkControlCharacters(info.firstLine, name, captions, lines);
    }

    // The lines of the set read last are all there: check it and drop them.
    void endRun()
    {
        if (runSet >= 0)
            checkShownSet(runSet, { lines.data(), lines.data() + lines.size() });
        lines.clear();
        decoded.clear();
        runBits = 0;
        runBitLines = 0;
    }

    // Every line kept: each set's lines together, in file order, then each set checked.
    void checkAllSets()
    {
        // Sets are numbered as first seen: the lines of sets that follow each other are in order
        // already.
        const auto bySet = [](const LabelLine &a, const LabelLine &b) { return a.set < b.set; };
        if (!std::is_sorted(lines.cbegin(), lines.cend(), bySet))
            std::stable_sort(lines.begin(), lines.end(), bySet);
        const LabelLine *from = lines.data();
        const LabelLine *const end = from + lines.size();
        for (qsizetype id = 0; id < setInfos.size(); ++id) {
            const LabelLine *to = from;
            while (to < end && to->set == id)
                ++to;
            checkShownSet(id, { from, to });
            from = to;
        }
    }

    // The close look: whether content is a plain "set\label=value" line; then key gets the key
    // (trimmed), separator the set's end in it and value the value (trimmed, out of its quotes).
    static bool isPlainLine(QByteArrayView content, QByteArrayView *key, qsizetype *separator,
                            QByteArrayView *value)
    {
        if (content.startsWith('#') || content.contains(';'))
            return false;
        const qsizetype equals = content.indexOf('=');
        if (equals < 0)
            return false;
        *key = trimmed(content.first(equals));
        *value = trimmed(content.sliced(equals + 1));
        // A value in quotes is the text between them, as long as it holds no escape or list.
        if (value->size() >= 2 && value->front() == '"' && value->back() == '"')
            *value = value->sliced(1, value->size() - 2);
        qsizetype at = 0;
        while (at < key->size() && key->at(at) != '\\' && key->at(at) != '/')
            ++at;
        *separator = at;
        const QByteArrayView label = at < key->size() ? key->sliced(at + 1) : *key;
        return at != 0 && at != key->size() && !label.isEmpty() && !label.contains('\\')
                && !label.contains('/') && !label.contains("%2F") && !label.contains("%2f")
                && !value->startsWith('@') && !value->contains('"') && !value->contains(',')
                && !value->contains('\\');
    }

    // A plain line in the group's own section: the set is looked up once for a run of its lines,
    // and nothing else is decoded. False for a set name that holds a '/'.
    bool takePlainLine(qint64 lineNumber, QByteArrayView key, qsizetype separator,
                       QByteArrayView value)
    {
        const QByteArrayView set = key.first(separator);
        if (set.size() != lastSetBytes.size()
            || std::memcmp(set.data(), lastSetBytes.data(), size_t(set.size())) != 0) {
            const QString name = unescapedIniKey(set);
            if (name.contains(u'/'))
                return false;
            lastSetBytes = set;
            lastSet = setIndex(name, lineNumber);
            previousLabels.swap(currentLabels);
            currentLabels.clear();
        }
        const qsizetype keyBegin = key.data() - text.constData();
        const qsizetype valueBegin = value.data() - text.constData();
        lines.emplace_back(lineNumber, lastSet, keyBegin + separator + 1, keyBegin + key.size(),
                           valueBegin, valueBegin + value.size(), -1);
        noteWrittenBit(writtenBit(value.data(), value.size()));
        // Only a label that quickLines would take is compared there.
        const QByteArrayView label = key.sliced(separator + 1);
        const char *const labelEnd = label.data() + label.size();
        currentLabels.emplace_back(
                quickLabelEnd(label.data(), labelEnd) == labelEnd ? label : QByteArrayView());
        return true;
    }

    // Where the label at p stops, if it has nothing but bytes of no trait and '%' escapes that
    // make no '/': at the first other byte, or at end.
    static const char *quickLabelEnd(const char *p, const char *end)
    {
        for (; p < end; ++p) {
            const uchar traits = lineTraits[uchar(*p)];
            if (traits == 0)
                continue;
            if (traits == Percent && !(end - p > 2 && p[1] == '2' && (p[2] | 0x20) == 'f'))
                continue;
            break;
        }
        return p;
    }

    // The common lines, "set\\label=value" right after a plain line of the same set, taken
    // without the general scan: what it accepts is a line that scanLine would find plain, with
    // the same parts. Where the first line it leaves to the scan starts (lineNumber is its
    // number), or the end of the text.
    const char *quickLines(qint64 &lineNumber, const char *p, const char *textEnd)
    {
        const auto setSize = size_t(lastSetBytes.size());
        const char *const base = text.constData();
        while (true) {
            if (setSize == 0 || size_t(textEnd - p) <= setSize + 1 || p[setSize] != '\\'
                || !sameBytes(p, lastSetBytes.data(), setSize))
                return p;
            const char *const labelBegin = p + setSize + 1;
            const char *labelEnd = nullptr;
            // Register instances repeat the labels of the set before in the same order; a label
            // taken here has no blank at its end.
            if (const size_t at = currentLabels.size(); at < previousLabels.size()) {
                const QByteArrayView before = previousLabels[at];
                const auto size = size_t(before.size());
                if (size > 0 && size_t(textEnd - labelBegin) > size && labelBegin[size] == '='
                    && sameBytes(labelBegin, before.data(), size))
                    labelEnd = labelBegin + size;
            }
            const char *equals = labelEnd;
            if (!equals) {
                equals = quickLabelEnd(labelBegin, textEnd);
                if (equals == textEnd || *equals != '=')
                    return p;
                labelEnd = equals;
                while (labelEnd > labelBegin && isBlank(labelEnd[-1]))
                    --labelEnd;
                if (labelEnd == labelBegin)
                    return p;
            }
            const char *valueBegin = equals + 1;
            const char *valueEnd = valueBegin;
            const char *lineEnd = valueEnd;
            // The bits as the toolkit writes them, then any other value.
            if (textEnd - valueBegin > 2 && isDigit(valueBegin[0])
                && (valueBegin[1] == '\n' || (isDigit(valueBegin[1]) && valueBegin[2] == '\n'))) {
                valueEnd += valueBegin[1] == '\n' ? 1 : 2;
                lineEnd = valueEnd;
                noteWrittenBit(writtenBit(valueBegin, valueEnd - valueBegin));
            } else {
                while (valueEnd < textEnd
                       && !(lineTraits[uchar(*valueEnd)]
                            & (LineBreak | Backslash | Unusual | HighByte)))
                    ++valueEnd;
                if (valueEnd < textEnd && !(lineTraits[uchar(*valueEnd)] & LineBreak))
                    return p;
                lineEnd = valueEnd;
                while (valueBegin < valueEnd && isBlank(*valueBegin))
                    ++valueBegin;
                while (valueEnd > valueBegin && isBlank(valueEnd[-1]))
                    --valueEnd;
            }
            lines.emplace_back(lineNumber, lastSet, labelBegin - base, labelEnd - base,
                               valueBegin - base, valueEnd - base, -1);
            currentLabels.emplace_back(labelBegin, labelEnd);
            p = afterLineBreak(lineEnd, textEnd);
            ++lineNumber;
            if (p == textEnd)
                return p;
        }
    }

    // Past the line break at p (CR LF, or one byte), if any.
    static const char *afterLineBreak(const char *p, const char *textEnd)
    {
        if (p == textEnd)
            return p;
        return p + (*p == '\r' && p + 1 < textEnd && p[1] == '\n' ? 2 : 1);
    }

    void readLines()
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString group = labelGroup();
        QString section;
        bool inGroup = false;
        // A key line that ends in '\' continues on the next line, and so on while each does.
        bool continues = false;
        const char *const textEnd = text.constData() + text.size();
        const char *next = text.constData() + (text.startsWith("\xef\xbb\xbf") ? 3 : 0);
        // A label line takes at least "s\\l=" and a line break: room for as many as there may be
        // (the pages are touched only as lines come).
        if (mode == Whole)
            lines.reserve(size_t(text.size() / 5));
        for (qint64 lineNumber = 1; next < textEnd && !revisited; ++lineNumber) {
            if (!continues && sectionIsGroup) {
                next = quickLines(lineNumber, next, textEnd);
                if (next == textEnd)
                    break;
            }
            const LineScan scan = scanLine(next, textEnd);
            const QByteArrayView raw(next, scan.end - next);
            next = afterLineBreak(scan.end, textEnd);
            if (continues) {
                continues = raw.endsWith('\\');
                continue;
            }
            if (scan.seen & HighByte) {
                const QString text = utf8.decode(raw); // decoding is lazy until assigned
                if (utf8.hasError()) {
                    warn(lineNumber,
                         QStringLiteral("bytes that are not valid UTF-8: the window shows each "
                                        "as U+FFFD"));
                    utf8.resetState();
                }
            }
            const QByteArrayView content = trimmed(raw);
            if (content.isEmpty() || content.startsWith(';'))
                continue;
            if (sectionIsGroup) {
                QByteArrayView key;
                qsizetype separator = 0;
                QByteArrayView value;
                const bool plain = scan.isPlain(content)
                        ? scan.plainParts(content, &key, &separator, &value)
                        : isPlainLine(content, &key, &separator, &value);
                if (plain && takePlainLine(lineNumber, key, separator, value))
                    continue;
            }
            lastSetBytes = {};
            if (content.startsWith('[')) {
                qsizetype close = content.indexOf(']');
                if (close < 0)
                    close = content.size();
                section = unescapedIniKey(trimmed(content.sliced(1, close - 1)));
                headers.append({ lineNumber, section });
                if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
                    section.clear();
                else if (section.compare(QLatin1String("%general"), Qt::CaseInsensitive) == 0)
                    section = section.mid(1);
                const QStringList parts = section.split(u'/', Qt::SkipEmptyParts);
                inGroup = parts.value(0) == group;
                sectionIsGroup = parts.size() == 1 && inGroup;
                hasLabelGroup = hasLabelGroup || inGroup;
                continue;
            }
            // A ';' outside quotes ends the line; a '\' at its end continues it on the next.
            const qsizetype semicolon = content.indexOf(';');
            const qsizetype equals = content.indexOf('=');
            if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
                if (inGroup)
                    warn(lineNumber,
                         QStringLiteral("the line has no '=' (or a ';' before it): it is ignored"));
                continue;
            }
            continues = raw.endsWith('\\');
            readKeyLine(lineNumber, section, content, equals, content.endsWith('\\'));
        }
    }

    // Any other key line, decoded whole, its value read by the window's reader where it is more
    // than plain text (quotes, lists, escapes, "@" types, continued lines).
    void readKeyLine(qint64 lineNumber, const QString &section, QByteArrayView content,
                     qsizetype equals, bool continued)
    {
        const QString group = labelGroup();
        const QString key = unescapedIniKey(trimmed(content.first(equals)));
        const QStringList parts = keyParts(section, key);
        if (parts.value(0) != group || parts.size() < 2)
            return;
        hasLabelGroup = true;
        QByteArrayView raw = content.sliced(equals + 1);
        if (!raw.contains('"') && raw.indexOf(';') >= 0)
            raw = raw.first(raw.indexOf(';'));
        raw = trimmed(raw);
        const bool hashLine = content.startsWith('#');
        if (parts.size() == 2) {
            warn(lineNumber,
                 hashLine ? QStringLiteral("'#' starts no comment here: the line is the key %1 "
                                           "directly under [%2], which is ignored")
                                    .arg(quoted(parts.at(1)), group)
                          : QStringLiteral("the key %1 directly under [%2] is ignored: a label is "
                                           "written as set\\label=bit")
                                    .arg(quoted(parts.at(1)), group));
            return;
        }
        const qsizetype set = setIndex(parts.at(1), lineNumber);
        if (parts.size() > 3) {
            warn(lineNumber,
                 QStringLiteral("%1 holds '/' or '\\', which separate groups: it is no label of "
                                "set %2")
                         .arg(quoted(parts.mid(2).join(u'/')), quoted(parts.at(1))));
            return;
        }
        if (hashLine)
            warn(lineNumber,
                 QStringLiteral("'#' starts no comment here: the line is the label %1 of set %2")
                         .arg(quoted(parts.at(2)), quoted(parts.at(1))));
        IniValue value;
        if (!continued && !raw.startsWith('@') && !raw.contains('"') && !raw.contains(',')
            && !raw.contains('\\')) {
            value.kind = IniValue::Text;
            value.text = QString::fromUtf8(raw);
        } else {
            value = readValue(parts);
        }
        lines.emplace_back(lineNumber, set, 0, 0, 0, 0, decoded.size());
        decoded.append({ parts.at(2), value });
    }

    void checkSet(qint64 firstLine, const QString &name, const QStringList &captions,
                  SetLines lines)
    {
        const qsizetype count = captions.size();
        effective.resize(size_t(lines.size()));
        for (qsizetype i = 0; i < lines.size(); ++i)
            effective[size_t(i)] = lines.begin() + i;
        // More lines than labels: a label given again, whose last line gives its value.
        if (lines.size() > count) {
            QHash<QString, const LabelLine *> last;
            for (const LabelLine &line : lines)
                last.insert(labelOf(line), &line);
            effective.clear();
            for (const LabelLine &line : lines) {
                const QString label = labelOf(line);
                const LabelLine *winner = last.value(label);
                if (winner == &line)
                    effective.push_back(&line);
                else
                    warn(line.line,
                         QStringLiteral("label %1 of set %2 is given again on line %3, whose "
                                        "value wins")
                                 .arg(quoted(label), quoted(name))
                                 .arg(winner->line));
            }
        }
        // Only a set read here exactly as the window read it is reasoned about line by line.
        if (qsizetype(effective.size()) != count)
            return;
        if (count == 0) {
            warn(firstLine,
                 QStringLiteral("set %1 has no labels: every box shows \"Unused\"")
                         .arg(quoted(name)));
            return;
        }

        bits.assign(size_t(count), -1);
        namers.assign(size_t(count), 0);
        // Where each caption first shows, built only for a set with a label that names no bit:
        // looked up, never searched for, however many such labels the set has.
        QHash<QString, qsizetype> firstShown;
        qsizetype namedBits = 0;
        for (size_t i = 0; i < effective.size(); ++i) {
            const LabelLine &line = *effective[i];
            bool decimal = false;
            const qsizetype bit = bitOf(line, count, &decimal);
            if (!decimal)
                warn(line.line,
                     QStringLiteral("the value %1 of label %2 is no decimal integer: it counts as "
                                    "bit 0")
                             .arg(quoted(valueText(valueOf(line))), quoted(labelOf(line))));
            bits[i] = bit;
            if (bit >= 0) {
                if (namers[size_t(bit)]++ == 0)
                    ++namedBits;
                continue;
            }
            const IniValue value = valueOf(line);
            const QString label = labelOf(line);
            if (firstShown.isEmpty()) {
                firstShown.reserve(count);
                for (qsizetype k = count - 1; k >= 0; --k)
                    firstShown.insert(captions.at(k), k);
            }
            const qsizetype shownAt = firstShown.value(label, -1);
            QString where = QStringLiteral("it names no bit");
            if (shownAt >= 0)
                where += QStringLiteral(" (it shows on bit %1 only because no label names that "
                                        "bit)")
                                 .arg(shownAt);
            warn(line.line,
                 QStringLiteral("the value %1 of label %2 is outside 0 … %3 for set %4 of %5 "
                                "labels: %6")
                         .arg(quoted(valueText(value)), quoted(label))
                         .arg(count - 1)
                         .arg(quoted(name))
                         .arg(count)
                         .arg(where));
        }
        // Each bit named by one label, none too long: nothing to say of the bits.
        const bool clean = namedBits == count && !hasLongCaption(captions);
        // The lines naming each bit, in line order, one after the other (a counting sort): each
        // bit's lines are gone through once, not every line for every bit.
        if (!clean) {
            byBitStart.assign(size_t(count) + 1, 0);
            for (size_t i = 0; i < effective.size(); ++i) {
                if (bits[i] >= 0)
                    ++byBitStart[size_t(bits[i]) + 1];
            }
            for (size_t b = 0; b < size_t(count); ++b)
                byBitStart[b + 1] += byBitStart[b];
            byBit.resize(size_t(byBitStart[size_t(count)]));
            std::vector<qsizetype> next(byBitStart.cbegin(), byBitStart.cend() - 1);
            for (size_t i = 0; i < effective.size(); ++i) {
                if (bits[i] >= 0)
                    byBit[size_t(next[size_t(bits[i])]++)] = i;
            }
        }
        for (qsizetype bit = 0; bit < count && !clean; ++bit) {
            const int named = namers[size_t(bit)];
            if (named == 0) {
                warn(firstLine,
                     QStringLiteral("bit %1 of set %2 is named by no label: it shows %3 instead")
                             .arg(bit)
                             .arg(quoted(name), quoted(captions.at(bit))));
                continue;
            }
            const bool tooLong = bit < 32 && isLongCaption(captions.at(bit));
            if (named == 1 && !tooLong)
                continue;
            const LabelLine *shown = nullptr;
            for (qsizetype at = byBitStart[size_t(bit)]; at < byBitStart[size_t(bit) + 1]; ++at) {
                const size_t i = byBit[size_t(at)];
                const QString label = labelOf(*effective[i]);
                if (label == captions.at(bit))
                    shown = effective[i];
                else
                    warn(effective[i]->line,
                         QStringLiteral("label %1 names bit %2 of set %3, as other labels do: "
                                        "the bit shows %4")
                                 .arg(quoted(label))
                                 .arg(bit)
                                 .arg(quoted(name), quoted(captions.at(bit))));
            }
            if (tooLong && shown && isCutCaption(captions.at(bit)))
                warn(shown->line,
                     QStringLiteral("label %1 of set %2 is %3 characters long: the window shows "
                                    "it cut after %4 characters, followed by \u2026 (at most %5 "
                                    "characters in %6 lines are shown whole)")
                             .arg(quoted(captions.at(bit)), quoted(name))
                             .arg(captions.at(bit).size())
                             .arg(shownCaptionLength(captions.at(bit)))
                             .arg(maxShownCaptionLength)
                             .arg(maxShownCaptionLines));
            else if (tooLong && shown)
                warn(shown->line,
                     QStringLiteral("label %1 of set %2 is %3 characters long: above %4 the "
                                    "window may be wider than a 1024-pixel screen")
                             .arg(quoted(captions.at(bit)), quoted(name))
                             .arg(captions.at(bit).size())
                             .arg(longLabelLength));
        }
        if (count > 32) {
            QStringList hidden;
            for (qsizetype bit = 32; bit < std::min<qsizetype>(count, 35); ++bit)
                hidden.append(quoted(captions.at(bit)));
            if (count > 35)
                hidden.append(QStringLiteral("…"));
            warn(firstLine,
                 QStringLiteral("set %1 has %2 labels but the window has 32 bits: bits 32 … %3 "
                                "(%4) are shown nowhere")
                         .arg(quoted(name))
                         .arg(count)
                         .arg(count - 1)
                         .arg(hidden.join(QStringLiteral(", "))));
        }
    }

    static bool isCutCaption(const QString &caption)
    {
        return shownCaptionLength(caption) < caption.size();
    }

    static bool isLongCaption(const QString &caption)
    {
        return caption.size() > longLabelLength || isCutCaption(caption);
    }

    // Register instances share one list of captions, which is looked at once.
    bool hasLongCaption(const QStringList &captions)
    {
        if (captions.constData() == shortCaptions)
            return false;
        const auto shown = captions.cbegin() + std::min<qsizetype>(captions.size(), 32);
        if (std::any_of(captions.cbegin(), shown, isLongCaption))
            return true;
        shortCaptions = captions.constData();
        return false;
    }

    // A control character in a caption shows as nothing readable on its box, and in the tool's
    // rows it is escaped: almost always an escape in the file that was meant otherwise.
    void checkControlCharacters(qint64 firstLine, const QString &name, const QStringList &captions,
                                SetLines lines)
    {
        if (hasControlCharacter(name))
            warn(firstLine,
                 QStringLiteral("the name of set %1 holds a control character").arg(quoted(name)));
        if (isCutCaption(name))
            warn(firstLine,
                 QStringLiteral("the name of set %1 is %2 characters long: the drop-down shows it "
                                "cut after %3 characters, followed by \u2026 (at most %4 "
                                "characters in %5 lines are shown whole)")
                         .arg(quoted(name))
                         .arg(name.size())
                         .arg(shownCaptionLength(name))
                         .arg(maxShownCaptionLength)
                         .arg(maxShownCaptionLines));
        // The captions are decoded already; the lines are decoded again only for a set that
        // shows such a label, so that plain files cost no more than before. Register instances
        // share one list of captions, which is looked at once.
        if (captions.constData() == cleanCaptions)
            return;
        if (std::none_of(captions.cbegin(), captions.cend(), hasControlCharacter)) {
            cleanCaptions = captions.constData();
            return;
        }
        for (const LabelLine &line : lines) {
            const QString label = labelOf(line);
            if (hasControlCharacter(label))
                warn(line.line,
                     QStringLiteral("label %1 of set %2 holds a control character")
                             .arg(quoted(label), quoted(name)));
        }
    }

    // Without its own section the file shows no set, and the window adds its default set to it.
    void checkSectionNames()
    {
        const QString group = labelGroup();
        for (const HeaderLine &header : std::as_const(headers)) {
            const QString name = header.name.split(u'/', Qt::SkipEmptyParts).value(0);
            QString how;
            if (name.compare(group, Qt::CaseInsensitive) == 0)
                how = QStringLiteral("differs from [%1] only in case").arg(group);
            else if (editDistance(name.toLower(), group) <= 2)
                how = QStringLiteral("is not [%1]").arg(group);
            else
                continue;
            warn(header.line,
                 QStringLiteral("section [%1] %2: the window reads no set from it and adds its "
                                "default set in a new [%3] section")
                         .arg(header.name, how, group));
        }
    }

    const QByteArray text;
    const LabelSets &sets;
    const Mode mode;
    std::unique_ptr<QHash<QString, IniValue>> values; // set/label, as the window reads them
    QHash<QString, IniValue> allValues;
    bool hasLabelGroup = false;
    bool sectionIsGroup = false;
    std::vector<LabelLine> lines; // ByRun: the lines of the set read last
    QList<DecodedLine> decoded;
    QList<QString> setNames; // by set index
    bool namesInOrder = true;
    QHash<QString, qsizetype> setIds; // once the names are not in order
    QList<SetInfo> setInfos; // by set index
    qsizetype runSet = -1; // ByRun: the set read last
    // ByRun: the bits of its plain lines written as the toolkit writes bits (0 … 31), and the
    // number of those lines.
    quint32 runBits = 0;
    qsizetype runBitLines = 0;
    bool revisited = false; // ByRun: a line of a set checked already
    qsizetype lastShown = -1;
    QHash<QString, qsizetype> shownNames; // filled when the order of the sets does not tell
    QByteArrayView lastSetBytes; // the set part of the last plain line, and its set
    qsizetype lastSet = 0;
    // The labels of that set's plain lines so far, and of the set before.
    std::vector<QByteArrayView> currentLabels;
    std::vector<QByteArrayView> previousLabels;
    QList<HeaderLine> headers;
    QList<CheckWarning> warnings;
    // Scratch space of checkSet, kept from one set to the next.
    std::vector<const LabelLine *> effective;
    std::vector<qsizetype> bits;
    std::vector<int> namers;
    std::vector<qsizetype> byBitStart; // byBit[byBitStart[b] … byBitStart[b + 1]) name bit b
    std::vector<size_t> byBit;
    const QString *cleanCaptions = nullptr; // the last list of captions without a control character
    const QString *shortCaptions = nullptr; // the last list of captions without a long one
};

} // namespace

LabelFileCheck checkLabelFile(const OpenedLabelFile &file)
{
    LabelFileCheck result;
    if (!Checker(file.text.bytes, file.sets, Checker::ByRun).run(&result))
        Checker(file.text.bytes, file.sets, Checker::Whole).run(&result);
    return result;
}

int runCheck(const QStringList &arguments)
{
    const QString command = QStringLiteral("check");
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Reports each line of a label file that makes the window show something "
                           "other than the line seems to say, as FILE:LINE: warning: MESSAGE on "
                           "standard error (FILE is <stdin> for -; a backslash, tab, newline or "
                           "carriage return in a label is written \\\\, \\t, \\n or \\r), then the "
                           "number of sets and warnings on standard output.\nExit status: 0 "
                           "clean, 1 warnings, 2 a file the window would not read, or output "
                           "that cannot be written.\n\n"
                           "Example: the lines of a label file that read otherwise:\n"
                           "  K732-118-labels check my-labels.ini"));
    parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("The label file (default: K732-118.ini beside this program; - reads "
                           "standard input)."),
            QStringLiteral("[FILE]"));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(command, QStringLiteral("one FILE at most"));
    const QString path = positional.isEmpty() ? defaultLabelFile() : positional.first();
    const OpenedLabelFile file = openLabelFile(path);
    if (!file.error.isEmpty())
        return fileError(path, file.error);

    const LabelFileCheck result = checkLabelFile(file);
    for (const CheckWarning &warning : result.warnings)
        printErr(QStringLiteral("%1:%2: warning: %3\n")
                         .arg(shownPath(path))
                         .arg(warning.line)
                         .arg(warning.message));
    const qsizetype sets = result.shown.names.size();
    const qsizetype count = result.warnings.size();
    printOut(QStringLiteral("%1 %2, %3 %4\n")
                     .arg(sets)
                     .arg(sets == 1 ? QStringLiteral("set") : QStringLiteral("sets"))
                     .arg(count)
                     .arg(count == 1 ? QStringLiteral("warning") : QStringLiteral("warnings")));
    return result.warnings.isEmpty() ? ExitClean : ExitFindings;
}
