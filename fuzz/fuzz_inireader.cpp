// SPDX-License-Identifier: MIT
// Fuzzes the label file's reader against the settings class: the input bytes become a file that
// both read. The sets of the group, their keys, values and decoded labels, and every key of the
// whole file with its value must be the same. A value that the settings class would make into an
// object ("@Variant(…)" and the like) is never given to it: the reader keeps those as text.
#include "fuzzcheck.h"
#include "inireader.h"
#include "settingsreference.h"

#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>

namespace {

const QString group = QStringLiteral("bitlabels");

bool isTyped(const IniValue &value)
{
    if (value.kind == IniValue::Other)
        return true;
    return value.kind == IniValue::List
            && std::any_of(value.items.cbegin(), value.items.cend(), [](const QString &item) {
                   return item.startsWith(u'@') && !item.startsWith(QLatin1String("@@"));
               });
}

// Keys that QSettings::value would look up under another name (it drops repeated, leading and
// trailing '/'): only their presence can be compared.
bool isLookedUpAsIs(const QString &key)
{
    return !key.isEmpty() && !key.startsWith(u'/') && !key.endsWith(u'/')
            && !key.contains(QLatin1String("//"));
}

void compareSets(const QString &path, const QByteArray &input)
{
    const QList<IniLabelSet> read = readIniLabelSetKeys(input, group);
    QSettings settings(path, QSettings::IniFormat);
    QList<QList<QVariant>> variants;
    const QList<IniLabelSet> expected = settingsLabelSetKeys(settings, group, &variants);
    if (read.size() != expected.size())
        fail("not the settings class's number of sets");
    for (qsizetype k = 0; k < read.size(); ++k) {
        const IniLabelSet &set = read.at(k);
        if (set.name != expected.at(k).name)
            fail("a set name or the order of the sets differs");
        if (set.keys != expected.at(k).keys)
            fail("a set's labels differ");
        if (set.values.size() != set.keys.size())
            fail("not one value per label");
        for (qsizetype i = 0; i < set.keys.size(); ++i) {
            IniValue value;
            if (!toIniValue(variants.at(k).at(i), &value))
                fail("the settings class made an object of a value");
            if (value != set.values.at(i))
                fail("a label's value differs");
        }
    }
    const LabelSets decoded = readIniLabelSets(input, group);
    QStringList names;
    QList<QStringList> labels;
    for (const IniLabelSet &set : read) {
        names.append(set.name);
        QList<qsizetype> bits;
        for (const IniValue &value : set.values)
            bits.append(iniValueBitIndex(value, set.keys.size()));
        labels.append(placeLabels(set.keys, bits));
    }
    if (decoded.names != names || decoded.labels != labels)
        fail("the window's reader decodes the sets differently");
    const std::shared_ptr<const IniLabelSetIndex> index = indexIniLabelSets(input, group);
    if (index->names != names)
        fail("the index of the sets names them differently");
    for (qsizetype k = 0; k < names.size(); ++k) {
        if (index->labels(k) != labels.at(k))
            fail("a set read again from the index decodes differently");
    }
    for (qsizetype k = 0; k < read.size(); ++k) {
        if (labels.at(k) != decodeLabelSet(expected.at(k).keys, variants.at(k)))
            fail("a set decodes differently from the settings class's values");
    }
}

void compareKeys(const QString &path, const QList<IniKey> &keys)
{
    QSettings settings(path, QSettings::IniFormat);
    const QStringList expected = settings.allKeys();
    if (expected.size() != keys.size())
        fail("not the settings class's number of keys");
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const IniKey &key = keys.at(i);
        if (key.key != expected.at(i))
            fail("a key or the order of the keys differs");
        if (!isLookedUpAsIs(key.key))
            continue;
        IniValue value;
        if (!toIniValue(settings.value(key.key), &value))
            fail("the settings class made an object of a value");
        if (value != key.value)
            fail("a key's value differs");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
    // Qt 6.4 leaves a leading byte order mark in the first line of the keys outside any section,
    // where it keeps blanks after it from being trimmed (" w=" reads as " w"); Qt 6.8 skips the
    // mark before anything else, as the reader does. Such files are compared on a later Qt.
    if (input.startsWith("\xef\xbb\xbf"))
        return 0;
#endif
    // The settings class makes a value of every line of a key, also of those a later line
    // overrides.
    QList<IniKey> lines;
    const QList<IniKey> keys = readIniKeys(input, &lines);
    if (std::any_of(lines.cbegin(), lines.cend(),
                    [](const IniKey &line) { return isTyped(line.value); }))
        return 0;
    // Each its own file: the settings class keeps what it has read of a file, and reads its
    // sections only as they are asked for, so the sets come from a file it has not read whole.
    const QString setsPath = dir.filePath(QStringLiteral("sets.ini"));
    writeFile(setsPath, input);
    compareSets(setsPath, input);
    const QString keysPath = dir.filePath(QStringLiteral("keys.ini"));
    writeFile(keysPath, input);
    compareKeys(keysPath, keys);
    return 0;
}
