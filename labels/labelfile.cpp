// The label settings file: reading its sets, and adding a set without disturbing the rest of it.
#include "labelfile.h"

#include "guardedfile.h"
#include "inisplice.h"
#include "labeldecoding.h"
#include "plainlabelfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#ifdef Q_OS_LINUX
#include <climits>
#include <unistd.h>
#endif

namespace {

using KeyValues = QMap<QString, QVariant>;

KeyValues readKeyValues(const QString &path)
{
    const QSettings settings(path, QSettings::IniFormat);
    KeyValues all;
    const QStringList keys = settings.allKeys();
    // An empty key (a line "=5" before any section) cannot be looked up: the settings class
    // would print a warning. Its presence is compared all the same.
    for (const QString &key : keys)
        all.insert(key, key.isEmpty() ? QVariant() : settings.value(key));
    return all;
}

bool writeScratchFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

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

// The sets that the keys (group/set/label) make, as the settings class lists sub-groups.
QStringList setNames(const KeyValues &keys, const QString &group)
{
    const QString prefix = group + u'/';
    QStringList names;
    // Keys of one set share a prefix, so they follow each other in the sorted map.
    for (auto it = keys.lowerBound(prefix); it != keys.cend() && it.key().startsWith(prefix);
         ++it) {
        const QStringView rest = QStringView(it.key()).sliced(prefix.size());
        const qsizetype slash = rest.indexOf(u'/');
        if (slash > 0 && (names.isEmpty() || names.constLast() != rest.first(slash)))
            names.append(rest.first(slash).toString());
    }
    return names;
}

} // namespace

LabelSets readLabelSets(QSettings &settings, const QString &group)
{
    LabelSets sets;
    settings.beginGroup(group);
    sets.names = settings.childGroups();
    // A line such as "\Set\A=0" makes a sub-group without a name, which cannot be entered:
    // beginGroup("") stays in the group, whose own keys would pass for that set's labels.
    sets.names.removeAll(QString());
    for (const QString &name : std::as_const(sets.names)) {
        settings.beginGroup(name);
        const QStringList keys = settings.childKeys();
        QList<QVariant> values;
        values.reserve(keys.size());
        // An empty label (from a line such as "Set\ =1") cannot be looked up: the settings
        // class would print a warning and give nothing. It counts as a label without a value.
        for (const QString &key : keys)
            values.append(key.isEmpty() ? QVariant() : settings.value(key, QVariant()));
        sets.labels.append(decodeLabelSet(keys, values));
        settings.endGroup();
    }
    settings.endGroup();
    return sets;
}

bool isWithinLabelFileLimits(QByteArrayView text)
{
    if (text.size() > maxLabelFileSize)
        return false;
    qsizetype lines = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '\n'
            || (text.at(i) == '\r' && (i + 1 == text.size() || text.at(i + 1) != '\n')))
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

LabelSets readLabelSetsFromFile(const QString &path, const QString &group, bool *overLimits)
{
    if (overLimits)
        *overLimits = false;
    LabelFileText file;
    QByteArray bytes;
    if (readGuarded(path, &file, &bytes) != GuardedRead::Read || !isWithinLabelFileLimits(bytes))
        return {};
    // A file of thousands of sets is read in one pass when it is plain enough for that; the
    // settings class takes the rest, and gives the same sets for a plain file, only slower.
    LabelSets sets;
    if (bytes.contains('\0') || !readPlainLabelSets(bytes, group, &sets)) {
        // The settings class reads from disk only: it gets a copy of the text that was checked
        // against the limits, not what another program may have put at the path by now.
        const QTemporaryDir scratch;
        const QString copy = scratch.filePath(QStringLiteral("read.ini"));
        const bool copied = scratch.isValid() && writeScratchFile(copy, bytes);
        bytes.clear();
        QSettings settings(copied ? copy : file.target, QSettings::IniFormat);
        sets = readLabelSets(settings, group);
    }
    if (!isWithinLabelSetLimits(sets.names)) {
        if (overLimits)
            *overLimits = true;
        return {};
    }
    return sets;
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
    KeyValues added;
    QMap<QString, QByteArray> keys;
    for (const LabelSet &set : sets) {
        for (qsizetype i = 0; i < set.labels.size(); ++i) {
            const QString key = set.name + u'/' + set.labels.at(i);
            lines.append(iniEscapedKey(key) + '=' + QByteArray::number(i));
            added.insert(group + u'/' + key, QString::number(i));
            keys.insert(key, QByteArray::number(i));
        }
    }
    const QByteArray &text = file.bytes;
    // The toolkit reads INI files from disk only, so the old and the new text are read back from
    // scratch copies: the file is replaced only when every old key keeps its value and the set is
    // there in full. A line continued by a trailing backslash or an open quote can swallow the
    // added lines in one place and not in the other.
    const QTemporaryDir scratch;
    const QString before = scratch.filePath(QStringLiteral("before.ini"));
    if (!scratch.isValid() || !writeScratchFile(before, text))
        return false;
    KeyValues expected = readKeyValues(before);
    for (auto it = added.cbegin(); it != added.cend(); ++it) {
        if (expected.contains(it.key()))
            return false;
        expected.insert(it.key(), it.value());
    }
    // A file the program would not read again would hide every set added to it later.
    if (!isWithinLabelSetLimits(setNames(expected, group)))
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
    for (qsizetype k = 0; k < candidates.size(); ++k) {
        const QByteArray &candidate = candidates.at(k);
        if (!isWithinLabelFileLimits(candidate))
            return false;
        // A name of its own: the settings class keeps what it read of a name while size and time
        // stay the same.
        const QString after = scratch.filePath(QStringLiteral("after%1.ini").arg(k));
        if (writeScratchFile(after, candidate) && readKeyValues(after) == expected)
            return writeGuarded(file, candidate);
    }
    return false;
}
