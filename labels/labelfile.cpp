// The label settings file: reading its sets, and adding a set without disturbing the rest of it.
#include "labelfile.h"

#include "inisplice.h"
#include "labeldecoding.h"
#include "plainlabelfile.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

namespace {

using KeyValues = QMap<QString, QVariant>;

bool isReadableAsSettings(const QFileInfo &info)
{
    // A pipe or a device would block or never end; the toolkit would read either without asking.
    return !info.exists() || (info.isFile() && info.size() <= maxLabelFileSize);
}

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

bool replaceFile(const QString &path, const QByteArray &bytes)
{
    // QSaveFile writes beside the target and renames over it, so a crash leaves the old file;
    // it follows a symbolic link to its target and refuses a target it may not write.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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

LabelSets readLabelSetsFromFile(const QString &path, const QString &group)
{
    if (!isReadableAsSettings(QFileInfo(path)))
        return {};
    // A file of thousands of sets is read in one pass when it is plain enough for that; the
    // settings class takes the rest, and gives the same sets for a plain file, only slower.
    const LabelFileText file = readLabelFileText(path);
    LabelSets sets;
    if (file.state == LabelFileState::Text && readPlainLabelSets(file.bytes, group, &sets))
        return sets;
    QSettings settings(path, QSettings::IniFormat);
    return readLabelSets(settings, group);
}

LabelFileText readLabelFileText(const QString &path)
{
    LabelFileText file;
    file.path = path;
    const QFileInfo info(path);
    // A dangling link does not exist, yet writing there would create a file somewhere else.
    if (info.isSymLink() && !info.exists())
        return file;
    if (!info.exists()) {
        file.state = LabelFileState::Missing;
        return file;
    }
    if (!info.isFile() || info.size() > maxLabelFileSize)
        return file;

    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return file;
    QByteArray text = in.readAll();
    if (in.error() != QFileDevice::NoError || text.size() != info.size() || text.contains('\0'))
        return file;
    file.state = text.isEmpty() ? LabelFileState::Empty : LabelFileState::Text;
    file.bytes = std::move(text);
    return file;
}

bool insertLabelSets(const LabelFileText &file, const QString &group, const QList<LabelSet> &sets)
{
    switch (file.state) {
    case LabelFileState::Unusable:
        return false;
    case LabelFileState::Missing:
    case LabelFileState::Empty: {
        // Nothing in the file can be lost, so the toolkit's own writer does.
        QSettings settings(file.path, QSettings::IniFormat);
        settings.beginGroup(group);
        for (const LabelSet &set : sets) {
            settings.beginGroup(set.name);
            for (qsizetype i = 0; i < set.labels.size(); ++i)
                settings.setValue(set.labels.at(i), int(i));
            settings.endGroup();
        }
        settings.endGroup();
        settings.sync();
        return settings.status() == QSettings::NoError;
    }
    case LabelFileState::Text:
        break;
    }

    QList<QByteArray> lines;
    KeyValues added;
    for (const LabelSet &set : sets) {
        for (qsizetype i = 0; i < set.labels.size(); ++i) {
            const QString key = set.name + u'/' + set.labels.at(i);
            lines.append(iniEscapedKey(key) + '=' + QByteArray::number(i));
            added.insert(group + u'/' + key, QString::number(i));
        }
    }
    const QString &path = file.path;
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

    for (const IniPlacement placement :
         { IniPlacement::IntoLastSection, IniPlacement::NewSectionAtEnd }) {
        const QByteArray candidate = insertIniLines(text, group, lines, placement);
        const QString after = scratch.filePath(placement == IniPlacement::IntoLastSection
                                                       ? QStringLiteral("into.ini")
                                                       : QStringLiteral("end.ini"));
        if (writeScratchFile(after, candidate) && readKeyValues(after) == expected)
            return replaceFile(path, candidate);
    }
    return false;
}
