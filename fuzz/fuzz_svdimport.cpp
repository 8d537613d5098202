// SPDX-License-Identifier: MIT
// Fuzzes the register-description reader: the input bytes are the description. What it returns
// must hold together, and every set it emits, written into a label file as the tool writes it,
// must read back through the window's reader with exactly its labels. The same bytes read for
// register values must fail alike, give registers and fields that fit their sizes, decode
// without fault, and give a peripheral's registers alike whether it alone is read or all.
#include "fuzzcheck.h"
#include "inisplice.h"
#include "labelfile.h"
#include "qvmaskcalcwindow.h"
#include "svdlabels.h"
#include "svdmodel.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>

namespace {

// Reading back thousands of sets that a few bytes of arrays made would only slow the search.
constexpr qsizetype maxSetsReadBack = 256;

void checkSets(const SvdImport &import)
{
    QSet<QString> names;
    for (const LabelSet &set : import.sets) {
        // Without case, as the settings class compares names on some systems.
        const QString name = set.name.toCaseFolded();
        if (name.isEmpty() || names.contains(name))
            fail("a set without a name, or a name given twice");
        names.insert(name);
        if (set.labels.isEmpty() || set.labels.size() > 32)
            fail("a set without labels or with more than 32");
        QSet<QString> unique;
        for (const QString &label : set.labels)
            unique.insert(label.toCaseFolded());
        if (unique.size() != set.labels.size() || unique.contains(QString()))
            fail("a label given twice, or an empty label");
        if (set.labels.constLast() == QStringLiteral("(bit %1)").arg(set.labels.size() - 1))
            fail("the highest label of a set is no field's");
    }
    if (import.registers < import.sets.size())
        fail("more sets than registers");
}

// As reg asks: the peripherals whose names begin the register's.
bool mayHold(const QString &name, const void *context)
{
    // An array's name ("P%s") cannot be told from its instances without expanding it.
    return name.contains(QLatin1String("%s"))
            || static_cast<const QString *>(context)->startsWith(name.toCaseFolded() + u'.');
}

// Built by hand: names from the input may hold "%1".
QString flatRegister(const SvdRegister &reg)
{
    const auto number = [](quint64 n) { return QString::number(n); };
    QString text = reg.name + u'@' + number(reg.address) + u':' + number(quint64(reg.size)) + u':'
            + reg.access + u':' + number(reg.resetValue) + u'/' + number(reg.resetMask);
    for (const SvdField &field : reg.fields)
        text += u'|' + field.name + u':' + number(quint64(field.lsb)) + u':'
                + number(quint64(field.width)) + u':' + field.access + u':'
                + number(quint64(field.enumerations.size()));
    return text;
}

void checkRegisters(const QByteArray &xml, const SvdImport &import)
{
    const SvdRegisters model = readSvdRegisters(xml);
    // Fields up to bit 63 and no labels: the expansion limit may fall otherwise, nothing else.
    const QLatin1String limit("the arrays make more");
    const bool limited = model.error.contains(limit) || import.error.contains(limit);
    if (!limited
        && (model.error != import.error || model.line != import.line
            || model.column != import.column))
        fail("the register values read fails otherwise than the import");
    if (!model.error.isEmpty() || !import.error.isEmpty())
        return;
    if (model.registers.size() > import.registers)
        fail("more registers with values than register instances");
    for (const SvdRegister &reg : model.registers) {
        if (reg.size < 1 || reg.size > 64 || (reg.resetValue & ~reg.valueMask())
            || (reg.resetMask & ~reg.valueMask()))
            fail("a register's size, reset value or mask out of bounds");
        for (const SvdField &field : reg.fields) {
            if (field.width < 1 || field.lsb < 0 || field.lsb + field.width > 64)
                fail("a field beyond 64 bits");
            // Every value the field can hold decodes, in both directions.
            const quint64 value = field.valueIn(reg.resetValue ^ ~quint64(0));
            for (const bool write : { false, true }) {
                if (const SvdEnumeration *enumeration = field.enumeration(write))
                    enumeration->match(value);
            }
        }
    }
    if (model.registers.isEmpty())
        return;
    // The last register, which reg may have to find past every peripheral it passes by.
    const SvdRegister &last = model.registers.constLast();
    const QString folded = last.name.toCaseFolded();
    const SvdRegisters wanted = readSvdRegisters(xml, mayHold, &folded);
    if (!wanted.error.isEmpty())
        return; // the whole read stayed within the limits, so this one fails only on them
    const auto found = std::find_if(
            wanted.registers.cbegin(), wanted.registers.cend(), [&](const SvdRegister &reg) {
                return reg.name.compare(last.name, Qt::CaseInsensitive) == 0;
            });
    const auto first = std::find_if(
            model.registers.cbegin(), model.registers.cend(), [&](const SvdRegister &reg) {
                return reg.name.compare(last.name, Qt::CaseInsensitive) == 0;
            });
    if (found == wanted.registers.cend() || flatRegister(*found) != flatRegister(*first))
        fail("a register read with its peripheral alone differs from the whole read's");
}

void checkReadBack(const SvdImport &import)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("K732-118.ini"));
    QList<QByteArray> lines;
    QMap<QString, QStringList> expected;
    for (const LabelSet &set : import.sets.first(qMin(import.sets.size(), maxSetsReadBack))) {
        for (qsizetype bit = 0; bit < set.labels.size(); ++bit)
            lines.append(iniEscapedKey(set.name + u'/' + set.labels.at(bit)) + '='
                         + QByteArray::number(bit));
        expected.insert(set.name, set.labels);
    }
    writeFile(path,
              insertIniLines(QByteArray(), bitLabelsGroup, lines, IniPlacement::NewSectionAtEnd));
    const LabelSets read = readLabelSetsFromFile(path, bitLabelsGroup);
    if (read.names.size() != expected.size())
        fail("the label file does not hold as many sets as were written");
    for (qsizetype k = 0; k < read.names.size(); ++k) {
        if (expected.value(read.names.at(k)) != read.labels.at(k))
            fail("a set reads back with other labels");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray xml =
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const SvdImport import = importSvd(xml);
    checkRegisters(xml, import);
    if (!import.error.isEmpty()) {
        if (!import.sets.isEmpty() || import.line < 1 || import.column < 1)
            fail("an error with sets, or without its place");
        return 0;
    }
    checkSets(import);
    if (!import.sets.isEmpty())
        checkReadBack(import);
    return 0;
}
