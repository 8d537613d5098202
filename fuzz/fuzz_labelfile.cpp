// SPDX-License-Identifier: MIT
// Fuzzes the label file: the input bytes become the file, which is read as the window reads it at
// start-up; where no set is found, the default set is added as the window adds it. The results
// are checked against what the settings class itself finds in the file, and the file against
// what it held before; the label tool's check and show must take the window's view of the file.
#include "fuzzcheck.h"
#include "inireader.h"
#include "labelfile.h"
#include "labeltool.h"
#include "qvmaskcalcwindow.h"
#include "settingsreference.h"

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>

#include <cstdint>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail("the label file cannot be read back");
    return file.readAll();
}

// The sets as the settings class lists them, with their keys, in its own order.
struct Listed
{
    QStringList names;
    QList<QStringList> keys;
};

Listed listSets(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    Listed listed;
    settings.beginGroup(bitLabelsGroup);
    listed.names = settings.childGroups();
    // A sub-group without a name cannot be entered, so it is no set.
    listed.names.removeAll(QString());
    for (const QString &name : std::as_const(listed.names)) {
        settings.beginGroup(name);
        listed.keys.append(settings.childKeys());
        settings.endGroup();
    }
    return listed;
}

void checkSets(const LabelSets &sets, const Listed &listed)
{
    if (sets.names != listed.names)
        fail("the sets are not the settings class's sets in its order");
    if (sets.labels.size() != sets.names.size())
        fail("not exactly one label list per set");
    for (qsizetype k = 0; k < sets.labels.size(); ++k) {
        const QStringList &keys = listed.keys.at(k);
        const QStringList &labels = sets.labels.at(k);
        if (labels.size() != keys.size())
            fail("a label list is not as long as its set's key list");
        const QSet<QString> keySet(keys.cbegin(), keys.cend());
        for (const QString &label : labels) {
            if (!keySet.contains(label))
                fail("a label that is not one of its set's keys");
        }
    }
}

// The new text must be the old one with lines added at one place: no byte removed or changed.
void checkOnlyAdded(const QByteArray &before, const QByteArray &after)
{
    if (after.size() <= before.size())
        fail("adding the default set did not make the file longer");
    qsizetype common = 0;
    while (common < before.size() && before.at(common) == after.at(common))
        ++common;
    if (!after.endsWith(before.mid(common)))
        fail("adding the default set changed the existing text");
}

// check, show and decode open the file as the label tool does; what they list, and what check
// reasons about, is what the window shows.
void checkToolView(const QString &path, const LabelSets &sets)
{
    const OpenedLabelFile opened = openLabelFile(path);
    if (!opened.error.isEmpty()) {
        if (!sets.names.isEmpty())
            fail("the label tool would not read a file whose sets the window shows");
        return;
    }
    if (opened.sets.names != sets.names || opened.sets.labels != sets.labels)
        fail("the label tool reads other sets than the window");
    const LabelFileCheck checked = checkLabelFile(opened);
    if (checked.shown.names != sets.names || checked.shown.labels != sets.labels)
        fail("check reasons about other sets than the window shows");
    const LabelSets listed = shownLabelSets(opened.sets);
    const bool fallback = sets.names.isEmpty();
    if (fallback ? listed.names != QStringList { defaultSetName } : listed.names != sets.names)
        fail("show lists other sets than the window");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("K732-118.ini"));
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    writeFile(path, input);

    const LabelSets sets = readLabelSetsFromFile(path, bitLabelsGroup);
    checkToolView(path, sets);
    // The settings class is the reference only where it makes no object of a value: the reader
    // keeps "@Variant(…)" and the like as text, and the settings class could be made to spend
    // any memory or stack on them.
    QList<IniKey> lines;
    readIniKeys(input, &lines);
    const bool typed = std::any_of(lines.cbegin(), lines.cend(), [](const IniKey &line) {
        return line.value.kind == IniValue::Other
                || std::any_of(line.value.items.cbegin(), line.value.items.cend(),
                               [](const QString &item) {
                                   return item.startsWith(u'@') && !item.startsWith(u"@@");
                               });
    });
    if (!typed) {
        checkSets(sets, listSets(path));
        QSettings settings(path, QSettings::IniFormat);
        const LabelSets viaSettings = settingsLabelSets(settings, bitLabelsGroup);
        if (sets.names != viaSettings.names || sets.labels != viaSettings.labels)
            fail("the file is read differently by the reader and the settings class");
    }

    if (sets.names.isEmpty()) {
        const LabelFileText file = readLabelFileText(path);
        if (file.state == LabelFileState::Text) {
            if (file.bytes != input)
                fail("the file text was not read as written");
            const bool replaced =
                    insertLabelSets(file, bitLabelsGroup, { { defaultSetName, defaultBitLabels } });
            const QByteArray after = readFile(path);
            if (!replaced) {
                if (after != input)
                    fail("the file changed although the default set was not added");
            } else {
                checkOnlyAdded(input, after);
                const LabelSets again = readLabelSetsFromFile(path, bitLabelsGroup);
                if (again.names != QStringList { defaultSetName }
                    || again.labels != QList<QStringList> { defaultBitLabels })
                    fail("after adding the default set the file does not hold it alone");
            }
        } else if (readFile(path) != input) {
            fail("reading the file changed it");
        }
    } else if (readFile(path) != input) {
        fail("reading the file changed it");
    }
    QFile::remove(path);
    return 0;
}
