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
#include <QMap>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <utility>

#ifdef Q_OS_LINUX
#include <climits>
#include <unistd.h>
#endif

namespace {

// The bytes the toolkit's writer gives a file that holds only these keys of one group: the
// section, then its keys in the order of their names, each line ended by the platform's break.
QByteArray writtenByToolkit(const QString &group, const QMap<QString, QByteArray> &keys)
{
#ifdef Q_OS_WIN
    const QByteArray lineBreak("\r\n");
#else
    const QByteArray lineBreak("\n");
#endif
    QByteArray text = '[' + iniEscapedKey(group) + ']' + lineBreak;
    for (auto it = keys.cbegin(); it != keys.cend(); ++it)
        text += iniEscapedKey(it.key()) + '=' + it.value() + lineBreak;
    return text;
}

// Whether the key lines of after are those of before with the added lines, in the group's
// section, at one place: then after reads as before plus exactly the added keys.
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
    // The added lines in any order: the toolkit's writer sorts them by key.
    QList<QByteArray> block;
    block.reserve(added.size());
    for (qsizetype k = 0; k < added.size(); ++k) {
        const IniKeyLine &line = after.at(at + k);
        if (line.section != section)
            return false;
        block.append(line.key.toByteArray() + '=' + line.value.toByteArray());
    }
    QList<QByteArray> expected = added;
    std::sort(block.begin(), block.end());
    std::sort(expected.begin(), expected.end());
    if (block != expected)
        return false;
    for (qsizetype k = at; k < before.size(); ++k) {
        if (!same(after.at(k + added.size()), before.at(k)))
            return false;
    }
    return true;
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
template<typename Text>
LabelSets readWithinLimits(Text &&text, const QString &group, bool *overLimits)
{
    if (overLimits)
        *overLimits = false;
    if (!isWithinLabelFileLimits(text))
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

LabelSets readLabelSetsFromText(QByteArrayView bytes, const QString &group, bool *overLimits)
{
    return readWithinLimits(bytes, group, overLimits);
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
        // Binary content is no text to add lines to.
        if (!text.contains('\0') && isWithinLabelFileLimits(text)) {
            file.state = text.isEmpty() ? LabelFileState::Empty : LabelFileState::Text;
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
    if (file.state == LabelFileState::Unusable)
        return false;

    QList<QByteArray> lines;
    QSet<QString> added;
    QMap<QString, QByteArray> keys;
    QStringList names;
    for (const LabelSet &set : sets) {
        names.append(set.name);
        for (qsizetype i = 0; i < set.labels.size(); ++i) {
            const QString key = set.name + u'/' + set.labels.at(i);
            lines.append(iniEscapedKey(key) + '=' + QByteArray::number(i));
            if (added.contains(group + u'/' + key))
                return false;
            added.insert(group + u'/' + key);
            keys.insert(key, QByteArray::number(i));
        }
    }
    const QByteArray &text = file.bytes;
    // The file is replaced only when the new text reads as the old one, every old key keeping
    // its value, plus exactly the added keys: when its key lines are the old ones with the added
    // lines at one place in the group's section. A line continued by a trailing backslash or an
    // open quote can swallow the added lines in one place and not in the other.
    const QList<IniKeyLine> before = readIniLines(text);
    const QString prefix = group + u'/';
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

    QList<QByteArray> candidates;
    if (file.state == LabelFileState::Text) {
        for (const IniPlacement placement :
             { IniPlacement::IntoLastSection, IniPlacement::NewSectionAtEnd })
            candidates.append(insertIniLines(text, group, lines, placement));
    } else {
        // What the toolkit's writer would write, without its writer: it would wait on its lock
        // file for ever when another user's or a broken one is in the way.
        candidates.append(writtenByToolkit(group, keys));
    }
    for (const QByteArray &candidate : std::as_const(candidates)) {
        if (!isWithinLabelFileLimits(candidate))
            return false;
        if (readsAsBeforePlus(readIniLines(candidate), before, prefix, lines))
            return writeGuarded(file, candidate);
    }
    return false;
}
