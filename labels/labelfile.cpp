// SPDX-License-Identifier: MIT
// The label settings file: reading its sets, and adding a set without disturbing the rest of it.
#include "labelfile.h"

#include "guardedfile.h"
#include "inireader.h"
#include "inisplice.h"
#include "labeldecoding.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QtAlgorithms>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

#ifdef Q_OS_LINUX
#include <climits>
#include <unistd.h>
#endif

namespace {

// A key of the added sets: the set's place in the list, and the label's in the set.
struct AddedKey
{
    qint32 set; // within maxLabelSets
    qint32 label; // within maxLabelFileLines
};

// The order of a and b as the toolkit compares strings: negative, 0 or positive. Keys mostly differ
// early, in characters below the surrogates, which decide at once; anything else is left to the
// toolkit.
int compareKeys(QStringView a, QStringView b)
{
    const qsizetype common = qMin(a.size(), b.size());
    const char16_t *x = a.utf16();
    const char16_t *y = b.utf16();
    qsizetype i = 0;
    // Keys of a set share its name, and labels their field's: four units at a time up to the
    // first that differs.
    for (; i + 4 <= common; i += 4) {
        quint64 wordX = 0;
        quint64 wordY = 0;
        std::memcpy(&wordX, x + i, sizeof wordX);
        std::memcpy(&wordY, y + i, sizeof wordY);
        if (wordX != wordY) {
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
            i += qCountTrailingZeroBits(wordX ^ wordY) / 16;
#endif
            break;
        }
    }
    while (i < common && x[i] == y[i])
        ++i;
    if (i == common)
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    if (x[i] < 0xd800 && y[i] < 0xd800)
        return x[i] < y[i] ? -1 : 1;
    return a.compare(b);
}

bool unitsBefore(QStringView a, QStringView b)
{
    return compareKeys(a, b) < 0;
}

// Whether the key name/label comes before otherName/otherLabel in the order of the toolkit's
// writer, which sorts keys by their UTF-16 code units, without making either key.
bool keyBefore(const QString &name, const QString &label, const QString &otherName,
               const QString &otherLabel)
{
    const qsizetype common = qMin(name.size(), otherName.size());
    if (const int order =
                compareKeys(QStringView(name).first(common), QStringView(otherName).first(common));
        order != 0)
        return order < 0;
    if (name.size() == otherName.size())
        return unitsBefore(label, otherLabel);
    // One name begins the other: the '/' after it decides, unless the longer one has a '/' there.
    const QChar next = name.size() < otherName.size() ? otherName.at(common) : name.at(common);
    if (next != u'/')
        return (name.size() < otherName.size()) == (u'/' < next);
    return QString(name + u'/' + label) < QString(otherName + u'/' + otherLabel);
}

// The label lists of the sets, each once however many sets share it (a register's instances
// do): the order of its labels, whether that is strictly ascending, and each label escaped.
class LabelLists
{
public:
    explicit LabelLists(const QList<LabelSet> &sets)
    {
        listOf.reserve(sets.size());
        QHash<const QString *, qint32> byData;
        for (const LabelSet &set : sets) {
            const QStringList &labels = set.labels;
            // A list shares its data only with an equal one: an empty list has nothing to share.
            const QString *data = labels.isEmpty() ? nullptr : labels.constData();
            const auto found = byData.constFind(data);
            if (found != byData.cend()) {
                listOf.append(*found);
                continue;
            }
            const auto id = qint32(lists.size());
            byData.insert(data, id);
            listOf.append(id);
            List list;
            list.first = starts.size();
            list.order.resize(labels.size());
            std::iota(list.order.begin(), list.order.end(), 0);
            const auto labelBefore = [&labels](qint32 a, qint32 b) {
                return unitsBefore(labels.at(a), labels.at(b));
            };
            if (!std::is_sorted(list.order.cbegin(), list.order.cend(), labelBefore))
                std::sort(list.order.begin(), list.order.end(), labelBefore);
            list.strict = std::adjacent_find(
                                  list.order.cbegin(), list.order.cend(),
                                  [&labelBefore](qint32 a, qint32 b) { return !labelBefore(a, b); })
                    == list.order.cend();
            for (const QString &label : labels) {
                starts.append(escaped.size());
                escaped.resize(escaped.size() + iniEscapedKeySize(label));
                writeIniEscapedKey(escaped.data() + starts.constLast(), label);
            }
            starts.append(escaped.size());
            lists.append(std::move(list));
        }
    }

    // The labels of sets[set] in order, strict: whether each comes strictly after the one before.
    const QList<qint32> &order(qsizetype set, bool *strict) const
    {
        const List &list = lists.at(listOf.at(set));
        *strict = list.strict;
        return list.order;
    }

    // The label of the key escaped.
    QByteArrayView escapedLabel(const AddedKey &key) const
    {
        const qsizetype at = lists.at(listOf.at(key.set)).first + key.label;
        return QByteArrayView(escaped).sliced(starts.at(at), starts.at(at + 1) - starts.at(at));
    }

private:
    struct List
    {
        QList<qint32> order;
        bool strict = true;
        qsizetype first = 0; // in starts
    };
    QList<List> lists;
    QList<qint32> listOf; // by set
    QByteArray escaped;
    QList<qsizetype> starts; // each list's labels in escaped, and where its last one ends
};

// The added keys in the order of the toolkit's writer, or an empty list when one is there twice.
QList<AddedKey> sortedKeys(const QList<LabelSet> &sets, const LabelLists &lists)
{
    const auto before = [&sets](const AddedKey &a, const AddedKey &b) {
        const LabelSet &setA = sets.at(a.set);
        const LabelSet &setB = sets.at(b.set);
        if (a.set == b.set)
            return unitsBefore(setA.labels.at(a.label), setB.labels.at(b.label));
        return keyBefore(setA.name, setA.labels.at(a.label), setB.name, setB.labels.at(b.label));
    };
    // The sets by name and the labels of each in order give the order of the keys, unless set
    // names repeat or hold a '/': then the keys of different sets mix, and a sort of them all
    // finds that.
    // Each name with the '/' that follows it in its keys: their order is the order keyBefore
    // gives the names, found without its cases.
    QStringList slashed;
    slashed.reserve(sets.size());
    for (const LabelSet &set : sets)
        slashed.append(set.name + u'/');
    QList<qint32> bySetName(sets.size());
    std::iota(bySetName.begin(), bySetName.end(), 0);
    std::sort(bySetName.begin(), bySetName.end(),
              [&slashed](qint32 a, qint32 b) { return unitsBefore(slashed.at(a), slashed.at(b)); });
    slashed.clear();
    QList<AddedKey> keys;
    qsizetype keyCount = 0;
    for (const LabelSet &set : sets)
        keyCount += set.labels.size();
    keys.reserve(keyCount);
    // Strictly ascending, every key once, in all but the rarest case: within a set as its list
    // was found, and where one set's keys meet the next's.
    bool ascending = true;
    for (const qint32 set : std::as_const(bySetName)) {
        bool strict = true;
        const QList<qint32> &order = lists.order(set, &strict);
        if (order.isEmpty())
            continue;
        ascending = ascending && strict
                && (keys.isEmpty() || before(keys.constLast(), { set, order.constFirst() }));
        for (const qint32 label : order)
            keys.append({ set, label });
    }
    if (ascending)
        return keys;
    const auto notBefore = [&before](const AddedKey &a, const AddedKey &b) {
        return !before(a, b);
    };
    std::sort(keys.begin(), keys.end(), before);
    if (std::adjacent_find(keys.cbegin(), keys.cend(), notBefore) != keys.cend())
        return {};
    return keys;
}

// Whether the key lines of after are those of before with the added lines, in their order and in
// the group's section, at one place: then after reads as before plus exactly the added keys.
bool readsAsBeforePlus(const QList<IniKeyLine> &after, const QList<IniKeyLine> &before,
                       const QString &section, const QList<QByteArray> &added)
{
    if (after.size() != before.size() + added.size())
        return false;
    const auto same = [](const IniKeyLine &a, const IniKeyLine &b) {
        return a.section == b.section && a.key == b.key && a.value == b.value;
    };
    qsizetype at = 0;
    while (at < before.size() && same(after.at(at), before.at(at)))
        ++at;
    for (qsizetype k = 0; k < added.size(); ++k) {
        // An escaped key holds no '=': the line is the key, '=' and the value.
        const IniKeyLine &line = after.at(at + k);
        const QByteArrayView expected = added.at(k);
        if (line.section != section || line.key.size() + 1 + line.value.size() != expected.size()
            || !expected.startsWith(line.key) || expected.at(line.key.size()) != '='
            || !expected.endsWith(line.value))
            return false;
    }
    for (qsizetype k = at; k < before.size(); ++k) {
        if (!same(after.at(k + added.size()), before.at(k)))
            return false;
    }
    return true;
}

// Whether the window's reader shows each added set of text exactly as it was given. Key lines are
// not enough: a section [group\Set] left in the file adds its keys to a set of that name, and
// the window would show them in place of the added labels.
bool showsSets(const LabelSets &read, const QList<LabelSet> &sets)
{
    QHash<QString, qsizetype> index;
    index.reserve(read.names.size());
    for (qsizetype k = 0; k < read.names.size(); ++k)
        index.insert(read.names.at(k), k);
    // Lists that share their data are equal: the reader shares a list among the sets that show
    // the same labels, and an import among the sets made of the same labels, so a pair of lists
    // found equal once is known by where their data lies.
    QSet<std::pair<const QString *, const QString *>> equal;
    return std::all_of(sets.cbegin(), sets.cend(), [&](const LabelSet &set) {
        const auto found = index.constFind(set.name);
        if (found == index.cend())
            return false;
        const QStringList &shown = read.labels.at(*found);
        if (shown.isEmpty() || set.labels.isEmpty())
            return shown == set.labels;
        const std::pair<const QString *, const QString *> pair(shown.constData(),
                                                               set.labels.constData());
        if (equal.contains(pair))
            return shown.size() == set.labels.size();
        if (shown != set.labels)
            return false;
        equal.insert(pair);
        return true;
    });
}

bool showsAddedSets(QByteArrayView text, const QString &group, const QList<LabelSet> &sets)
{
    return showsSets(readIniLabelSets(text, group), sets);
}

// A Missing or Empty file given exactly the bytes the toolkit's writer would give it: the group's
// section, then every key in its order, each escaped once straight into the new text. Written only
// when the text's key lines are exactly those keys (checked by where the reader finds each key and
// value) and the window's reader shows every set as given.
bool writeNewLabelFile(const LabelFileText &file, const QString &group, const QList<LabelSet> &sets)
{
#ifdef Q_OS_WIN
    const QByteArrayView lineBreak("\r\n");
#else
    const QByteArrayView lineBreak("\n");
#endif
    qsizetype keyCount = 0;
    QStringList names;
    names.reserve(sets.size());
    for (const LabelSet &set : sets) {
        keyCount += set.labels.size();
        names.append(set.name);
    }
    // A file the program would not read again would hide every set added to it later.
    names.removeDuplicates();
    if (!isWithinLabelSetLimits(names))
        return false;
    // Only the added keys can be there twice.
    const LabelLists lists(sets);
    const QList<AddedKey> keys = sortedKeys(sets, lists);
    if (keys.size() != keyCount)
        return false;

    // Each set's name escaped once, and each label list's labels; each key's escaped size, and so
    // the text's, known before it is written. A label's value is its place in the set, in decimal.
    QList<QByteArray> escapedNames;
    escapedNames.reserve(sets.size());
    for (const LabelSet &set : sets)
        escapedNames.append(iniEscapedKey(set.name));
    const qsizetype headerSize = 1 + iniEscapedKeySize(group) + 1 + lineBreak.size();
    const auto valueSize = [](qsizetype label) {
        qsizetype digits = 1;
        for (; label >= 10; label /= 10)
            ++digits;
        return digits;
    };
    const auto keySize = [&](const AddedKey &key) {
        return escapedNames.at(key.set).size() + 1 + lists.escapedLabel(key).size();
    };
    qsizetype size = headerSize;
    for (const AddedKey &key : keys) {
        size += keySize(key) + 1 + valueSize(key.label) + lineBreak.size();
        if (size > maxLabelFileSize)
            return false;
    }
    QByteArray text(size, Qt::Uninitialized);
    adviseHugePages(&text);
    char *out = text.data();
    *out++ = '[';
    out = writeIniEscapedKey(out, group);
    *out++ = ']';
    out = std::copy(lineBreak.begin(), lineBreak.end(), out);
    for (const AddedKey &key : keys) {
        const QByteArray &name = escapedNames.at(key.set);
        out = std::copy(name.cbegin(), name.cend(), out);
        *out++ = '\\';
        const QByteArrayView label = lists.escapedLabel(key);
        out = std::copy(label.begin(), label.end(), out);
        *out++ = '=';
        const qsizetype digits = valueSize(key.label);
        for (qsizetype k = digits, value = key.label; k > 0; --k, value /= 10)
            out[k - 1] = char('0' + value % 10);
        out += digits;
        out = std::copy(lineBreak.begin(), lineBreak.end(), out);
    }
    if (out != text.data() + text.size() || !isWithinLabelFileLimits(text))
        return false;

    // Each key line where it was written: its key, '=', its value and the line break, in the
    // group's section. The settings class then reads exactly these keys with these values.
    const QString section = group + u'/';
    const char *at = text.constData() + headerSize;
    qsizetype k = 0;
    bool exact = true;
    // The section names the reader hands over live as long as it reads, each string unchanged:
    // one whose text was found right is known by where its text lies.
    const QChar *rightSection = nullptr;
    // The window's reader hands over the lines as it reads the sets: both checks in one pass.
    const LabelSets read = readIniLabelSets(
            text, group, [&](const QString &lineSection, QByteArrayView key, QByteArrayView value) {
                if (!exact || k == keys.size()) {
                    exact = false;
                    return;
                }
                const AddedKey &added = keys.at(k);
                const qsizetype expectedKey = keySize(added);
                const qsizetype digits = valueSize(added.label);
                exact = key.data() == at && key.size() == expectedKey
                        && value.data() == at + expectedKey + 1 && value.size() == digits
                        && (lineSection.constData() == rightSection || lineSection == section);
                rightSection = lineSection.constData();
                at += expectedKey + 1 + digits + lineBreak.size();
                ++k;
            });
    return exact && k == keys.size() && showsSets(read, sets) && writeGuarded(file, text);
}

} // namespace

bool isWithinLabelFileLimits(QByteArrayView text)
{
    if (text.size() > maxLabelFileSize)
        return false;
    if (text.isEmpty())
        return true;
    qsizetype lines = 0;
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '\n', end - p))); ++p)
        ++lines;
    // A carriage return ends a line too, unless a line feed follows it.
    for (const char *p = begin; (p = static_cast<const char *>(std::memchr(p, '\r', end - p)));
         ++p) {
        if (p + 1 == end || p[1] != '\n')
            ++lines;
    }
    if (!text.isEmpty() && text.back() != '\n' && text.back() != '\r')
        ++lines;
    return lines <= maxLabelFileLines;
}

bool isWithinLabelSetLimits(const QStringList &names)
{
    if (names.size() > maxLabelSets)
        return false;
    qsizetype length = 0;
    for (const QString &name : names)
        length += name.size();
    return length <= maxLabelSetNamesLength;
}

QString labelFileBesideExecutable(const QString &applicationName)
{
    const QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty() || QDir::isRelativePath(dir))
        return {};
#ifdef Q_OS_LINUX
    // A directory name that is not valid in the file name encoding comes back altered from the
    // toolkit: it would name another directory, or none (then "/K732-118.ini").
    QByteArray executable(PATH_MAX, '\0');
    const ssize_t size = ::readlink("/proc/self/exe", executable.data(), size_t(executable.size()));
    if (size > 0 && size < executable.size()) {
        executable.truncate(size);
        // The root directory keeps its slash.
        if (QFile::encodeName(dir)
            != executable.left(qMax<qsizetype>(executable.lastIndexOf('/'), 1)))
            return {};
    } else if (dir.contains(QChar::ReplacementCharacter)) {
        return {};
    }
#endif
    // One substitution, so that a "%2" in the directory's name is never replaced.
    return QStringLiteral("%1/%2.ini")
            .arg(dir,
                 applicationName.isEmpty() ? QCoreApplication::applicationName() : applicationName);
}

namespace {

// text is a view, or the file's bytes handed over for the reader to release once it has read them.
// textChecked: its size and lines are known to be within the limits.
template<typename Text>
LabelSets readWithinLimits(Text &&text, const QString &group, bool *overLimits,
                           bool textChecked = false)
{
    if (overLimits)
        *overLimits = false;
    if (!textChecked && !isWithinLabelFileLimits(text))
        return {};
    LabelSets sets = readIniLabelSets(std::forward<Text>(text), group);
    if (!isWithinLabelSetLimits(sets.names)) {
        if (overLimits)
            *overLimits = true;
        return {};
    }
    return sets;
}

} // namespace

LabelSets readLabelSetsFromFile(const QString &path, const QString &group, bool *overLimits)
{
    if (overLimits)
        *overLimits = false;
    LabelFileText file;
    QByteArray bytes;
    if (readGuarded(path, &file, &bytes) != GuardedRead::Read)
        return {};
    return readWithinLimits(std::move(bytes), group, overLimits);
}

LabelSetIndex indexLabelSetsFromFile(const QString &path, const QString &group, bool *overLimits)
{
    if (overLimits)
        *overLimits = false;
    LabelFileText file;
    QByteArray bytes;
    LabelSetIndex sets;
    if (readGuarded(path, &file, &bytes) != GuardedRead::Read || !isWithinLabelFileLimits(bytes))
        return sets;
    sets.index = indexIniLabelSets(bytes, group);
    if (!isWithinLabelSetLimits(sets.index->names)) {
        if (overLimits)
            *overLimits = true;
        sets.index.reset();
        return sets;
    }
    sets.names = sets.index->names;
    return sets;
}

QStringList LabelSetIndex::labels(qsizetype k) const
{
    return index->labels(k);
}

void IndexedLabelLists::append(const LabelSetIndex &sets, qsizetype k)
{
    entries.append({ {}, sets.index, k });
}

QStringList IndexedLabelLists::at(qsizetype k) const
{
    const Entry &entry = entries.at(k);
    return entry.index ? entry.index->labels(entry.set) : entry.labels;
}

LabelSets readLabelSetsFromText(const LabelFileText &file, const QString &group, bool *overLimits)
{
    if (file.state != LabelFileState::Text && file.state != LabelFileState::Binary) {
        if (overLimits)
            *overLimits = false;
        return {};
    }
    return readWithinLimits(QByteArrayView(file.bytes), group, overLimits, true);
}

LabelFileText readLabelFileText(const QString &path)
{
    LabelFileText file;
    QByteArray text;
    switch (readGuarded(path, &file, &text)) {
    case GuardedRead::Missing:
        file.state = LabelFileState::Missing;
        break;
    case GuardedRead::Read:
        if (isWithinLabelFileLimits(text)) {
            // Binary content is no text to add lines to, but it is read like any other.
            file.state = text.isEmpty()   ? LabelFileState::Empty
                    : text.contains('\0') ? LabelFileState::Binary
                                          : LabelFileState::Text;
            file.bytes = std::move(text);
        }
        break;
    case GuardedRead::Failed:
        break;
    }
    return file;
}

bool insertLabelSets(const LabelFileText &file, const QString &group, const QList<LabelSet> &sets)
{
    if (file.state == LabelFileState::Unusable || file.state == LabelFileState::Binary)
        return false;
    if (file.state != LabelFileState::Text)
        return writeNewLabelFile(file, group, sets);

    // Each key escaped once, a set's name for all its labels: its line, in the order of the sets.
    QList<QByteArray> lines;
    QList<QByteArray> values;
    QStringList names;
    names.reserve(sets.size());
    for (const LabelSet &set : sets) {
        names.append(set.name);
        const QByteArray name = iniEscapedKey(set.name);
        while (values.size() < set.labels.size())
            values.append(QByteArray::number(values.size()));
        for (qsizetype i = 0; i < set.labels.size(); ++i) {
            const QString &label = set.labels.at(i);
            QByteArray line;
            line.reserve(name.size() + 1 + iniEscapedKeySize(label) + 1 + values.at(i).size());
            line += name;
            line += '\\';
            appendIniEscapedKey(line, label);
            line += '=';
            line += values.at(i);
            lines.append(std::move(line));
        }
    }
    const QByteArray &text = file.bytes;
    // The file is replaced only when the new text reads as the old one, every old key keeping
    // its value, plus exactly the added keys: when its key lines are the old ones with the added
    // lines at one place in the group's section. A line continued by a trailing backslash or an
    // open quote can swallow the added lines in one place and not in the other.
    const QList<IniKeyLine> before = readIniLines(text);
    const QString prefix = group + u'/';
    QSet<QString> added;
    for (const LabelSet &set : sets) {
        for (const QString &label : set.labels) {
            const QString key = prefix + set.name + u'/' + label;
            if (added.contains(key))
                return false;
            added.insert(key);
        }
    }
    for (const IniKeyLine &line : before) {
        const QString key = iniKeyName(line);
        // An added key that is there already would not be added.
        if (added.contains(key))
            return false;
        // The sets of the whole file, as the settings class lists them once it has read it all.
        if (key.startsWith(prefix)) {
            const qsizetype slash = key.indexOf(u'/', prefix.size());
            if (slash > prefix.size())
                names.append(key.sliced(prefix.size(), slash - prefix.size()));
        }
    }
    // A file the program would not read again would hide every set added to it later.
    names.sort();
    names.removeDuplicates();
    if (!isWithinLabelSetLimits(names))
        return false;

    for (const IniPlacement placement :
         { IniPlacement::IntoLastSection, IniPlacement::NewSectionAtEnd }) {
        const QByteArray candidate = insertIniLines(text, group, lines, placement);
        if (!isWithinLabelFileLimits(candidate))
            return false;
        if (readsAsBeforePlus(readIniLines(candidate), before, prefix, lines)
            && showsAddedSets(candidate, group, sets))
            return writeGuarded(file, candidate);
    }
    return false;
}
