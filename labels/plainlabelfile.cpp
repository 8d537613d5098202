// Reading the label sets of a plainly written label file in one pass, without the settings class.
//
// The settings class parses every key of the file into one sorted map and sorts the keys of the
// group again to list its sub-groups; with thousands of sets that is most of the program's
// start-up. Here each line is looked at once. Only what this reader understands completely is
// read here, so a hand-written file with anything unusual in it still goes through the settings
// class and reads exactly as before.
#include "plainlabelfile.h"

#include "labeldecoding.h"

#include <QHash>
#include <QList>
#include <QVariant>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

struct PlainSet
{
    QString name;
    // Label text and value text, in file order.
    QList<std::pair<QString, QString>> labels;
};

bool isPlainNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'
            || c == '-' || c == '.';
}

bool isPlainName(QByteArrayView name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), isPlainNameChar);
}

// Characters that stand for themselves in a key. Those that mean something to the settings
// class's reader or writer ('%', '\\', '/', '=', '"', ';', ',', '#', '[', ']', '@') are not here.
bool isRawKeyChar(char c)
{
    static constexpr char others[] = " _-.()+:&*!?<>|~^$'{}";
    return isPlainNameChar(c) || (c != '\0' && std::strchr(others, c) != nullptr);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// One part of a key between separators, unescaped as the settings class does: %XX and %UXXXX
// name a UTF-16 unit, other bytes are UTF-8. False for an escape that would make a separator or
// a control character, for invalid UTF-8, and for blanks at either end.
bool unescapeKeyPart(QByteArrayView part, QString *out)
{
    if (part.isEmpty() || part.front() == ' ' || part.back() == ' ')
        return false;
    // Escapes and UTF-8 only ever shorten the text: written in place, then cut to length.
    const qsizetype size = part.size();
    out->resize(size);
    QChar *const result = out->data();
    qsizetype length = 0;
    qsizetype i = 0;
    while (i < size) {
        const char c = part.at(i);
        if (isRawKeyChar(c)) {
            result[length++] = QLatin1Char(c);
            ++i;
        } else if (c == '%') {
            qsizetype from = i + 1;
            int digits = 2;
            if (from < size && part.at(from) == 'U') {
                digits = 4;
                ++from;
            }
            if (from + digits > size)
                return false;
            char16_t code = 0;
            for (int k = 0; k < digits; ++k) {
                const int value = hexValue(part.at(from + k));
                if (value < 0)
                    return false;
                code = char16_t(code * 16 + value);
            }
            if (code < 0x20 || code == 0x7f || code == u'/' || code == u'\\'
                || (code >= 0xd800 && code <= 0xdfff))
                return false;
            result[length++] = QChar(code);
            i = from + digits;
        } else if (uchar(c) >= 0x80) {
            qsizetype end = i;
            while (end < size && uchar(part.at(end)) >= 0x80)
                ++end;
            const QByteArrayView run = part.sliced(i, end - i);
            const QString decoded = QString::fromUtf8(run);
            // Invalid UTF-8 does not survive the round trip.
            if (QByteArrayView(decoded.toUtf8()) != run)
                return false;
            std::copy(decoded.cbegin(), decoded.cend(), result + length);
            length += decoded.size();
            i = end;
        } else {
            return false;
        }
    }
    out->truncate(length);
    return true;
}

bool isPlainInteger(QByteArrayView value)
{
    qsizetype i = 0;
    if (!value.isEmpty() && (value.front() == '+' || value.front() == '-'))
        ++i;
    if (i == value.size())
        return false;
    for (; i < value.size(); ++i) {
        if (value.at(i) < '0' || value.at(i) > '9')
            return false;
    }
    return true;
}

bool hasControlChar(QByteArrayView line)
{
    return std::any_of(line.begin(), line.end(),
                       [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

// Where the settings class may compare names without case (it does on Windows), names that
// differ only in case would be one there and two here, so they are left to it. On Linux it
// compares exactly, and only a name repeated exactly must be caught.
bool hasRepeatedName(const QStringList &sortedNames)
{
#ifdef Q_OS_LINUX
    return std::adjacent_find(sortedNames.begin(), sortedNames.end()) != sortedNames.end();
#else
    QStringList lowered = sortedNames;
    for (QString &name : lowered)
        name = name.toLower();
    std::sort(lowered.begin(), lowered.end());
    return std::adjacent_find(lowered.begin(), lowered.end()) != lowered.end();
#endif
}

// Bit numbers repeat on every set: the common ones are shared rather than made each time.
QString valueText(QByteArrayView value, QString (&small)[100])
{
    if (value.size() > 2 || (value.size() == 2 && value.front() == '0')
        || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return QString::fromLatin1(value);
    const int number =
            value.size() == 1 ? value.at(0) - '0' : (value.at(0) - '0') * 10 + (value.at(1) - '0');
    if (small[number].isNull())
        small[number] = QString::fromLatin1(value);
    return small[number];
}

} // namespace

bool readPlainLabelSets(QByteArrayView text, const QString &group, LabelSets *sets)
{
    const QByteArray groupName = group.toUtf8();
    if (!isPlainName(groupName))
        return false;
    if (text.startsWith("\xef\xbb\xbf"))
        text = text.sliced(3);

    enum class Section { None, Group, Other };
    Section section = Section::None;
    bool groupSeen = false;
    QHash<QString, qsizetype> setIndex;
    QList<PlainSet> found;
    QString setName;
    QString label;
    QString deeper;
    QString smallValues[100];
    // The lines of one set usually follow each other: its name is looked up once.
    QByteArrayView lastRawSet;
    qsizetype lastSet = -1;

    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype end = text.indexOf('\n', pos);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(pos, end - pos);
        pos = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        // Tabs, stray carriage returns and other control characters have rules of their own.
        if (hasControlChar(line))
            return false;

        const char first = line.front();
        if (first == ';')
            continue;
        if (first == ' ')
            return false;
        if (first == '[') {
            if (line.back() != ']')
                return false;
            const QByteArrayView name = line.sliced(1, line.size() - 2);
            if (!isPlainName(name))
                return false;
            if (name == QByteArrayView(groupName)) {
                // A repeated section is merged with the first one by the settings class.
                if (groupSeen)
                    return false;
                groupSeen = true;
                section = Section::Group;
                continue;
            }
            // "General" holds the keys outside any group, which may name the group's sets.
            if (name.compare(groupName, Qt::CaseInsensitive) == 0
                || name.compare("general", Qt::CaseInsensitive) == 0)
                return false;
            section = Section::Other;
            continue;
        }
        if (section == Section::None)
            return false;
        if (section == Section::Other) {
            // A quote or a backslash could carry this line on into the next ones.
            if (line.contains('"') || line.contains('\\'))
                return false;
            continue;
        }

        const qsizetype equals = line.indexOf('=');
        if (equals <= 0 || !isPlainInteger(line.sliced(equals + 1)))
            return false;
        const QByteArrayView key = line.first(equals);
        const qsizetype separator = key.indexOf('\\');
        if (separator < 0) {
            // A key of the group itself, not a set: checked, then ignored.
            if (!unescapeKeyPart(key, &setName))
                return false;
            continue;
        }
        const QByteArrayView rawSet = key.first(separator);
        const QByteArrayView rest = key.sliced(separator + 1);
        const qsizetype nextSeparator = rest.indexOf('\\');
        if (lastSet < 0 || rawSet != lastRawSet) {
            if (!unescapeKeyPart(rawSet, &setName))
                return false;
            auto it = setIndex.constFind(setName);
            if (it == setIndex.constEnd()) {
                it = setIndex.insert(setName, found.size());
                // No room reserved for labels: a file of many one-label sets would need 32
                // times the memory its labels take.
                found.append({ setName, {} });
            }
            lastSet = it.value();
            lastRawSet = rawSet;
        }
        if (!unescapeKeyPart(nextSeparator < 0 ? rest : rest.first(nextSeparator), &label))
            return false;
        if (nextSeparator >= 0) {
            // A key in a deeper group makes its set exist but gives it no label.
            QByteArrayView parts = rest.sliced(nextSeparator + 1);
            while (true) {
                const qsizetype next = parts.indexOf('\\');
                if (!unescapeKeyPart(next < 0 ? parts : parts.first(next), &deeper))
                    return false;
                if (next < 0)
                    break;
                parts = parts.sliced(next + 1);
            }
        }

        if (nextSeparator < 0)
            found[lastSet].labels.append(
                    { label, valueText(line.sliced(equals + 1), smallValues) });
    }

    // The settings class lists sub-groups and keys sorted by UTF-16 code units.
    std::sort(found.begin(), found.end(),
              [](const PlainSet &a, const PlainSet &b) { return a.name < b.name; });
    QStringList names;
    names.reserve(found.size());
    for (const PlainSet &set : std::as_const(found))
        names.append(set.name);
    if (hasRepeatedName(names))
        return false;
    LabelSets result;
    result.names.reserve(found.size());
    result.labels.reserve(found.size());
    for (PlainSet &set : found) {
        std::sort(set.labels.begin(), set.labels.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        QStringList keys;
        QList<QVariant> values;
        keys.reserve(set.labels.size());
        values.reserve(set.labels.size());
        for (const auto &[labelText, value] : std::as_const(set.labels)) {
            keys.append(labelText);
            values.append(value);
        }
        // A repeated key: the settings class keeps its last value.
        if (hasRepeatedName(keys))
            return false;
        result.names.append(set.name);
        result.labels.append(decodeLabelSet(keys, values));
    }
    *sets = std::move(result);
    return true;
}
