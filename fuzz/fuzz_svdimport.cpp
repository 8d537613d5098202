// Fuzzes the register-description reader: the input bytes are the description. What it returns
// must hold together, and every set it emits, written into a label file as the tool writes it,
// must read back through the window's reader with exactly its labels.
#include "fuzzcheck.h"
#include "inisplice.h"
#include "labelfile.h"
#include "qvmaskcalcwindow.h"
#include "svdimport.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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
    const SvdImport import = importSvd(
            QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
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
