// SPDX-License-Identifier: MIT
// What import-svd, reg and find share: the description read for its registers, names near a
// wrong one, and how values, bit ranges and access read.
#include "svdregisters.h"

#include "labeltool.h"

#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

// Real descriptions run to a few MiB; this leaves room for the largest and keeps a wrong file
// from costing the memory.
constexpr qint64 maxSvdFileSize = qint64(512) * 1024 * 1024;

// Beyond this many characters a name is no mistyped one, and its distances cost too much.
constexpr qsizetype maxComparedLength = 200;

qsizetype editDistance(const QString &a, const QString &b)
{
    std::vector<qsizetype> row(std::size_t(b.size() + 1));
    for (qsizetype j = 0; j <= b.size(); ++j)
        row.at(std::size_t(j)) = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row.at(0);
        row.at(0) = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row.at(std::size_t(j));
            const qsizetype cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            row.at(std::size_t(j)) =
                    std::min({ above + 1, row.at(std::size_t(j - 1)) + 1, diagonal + cost });
            diagonal = above;
        }
    }
    return row.at(std::size_t(b.size()));
}

} // namespace

bool readSvdFile(const QString &path, QByteArray *bytes, QString *error)
{
    // Standard input aside, a description is a regular file: a pipe or a device would be read up
    // to the whole limit before its size were known.
    if (!path.isEmpty() && !isStandardStream(path)) {
        const QFileInfo info(path);
        if (info.exists() && !info.isDir() && !info.isFile()) {
            *error = QStringLiteral("is not a regular file");
            return false;
        }
    }
    return readInputFile(path, maxSvdFileSize, bytes, error);
}

bool loadSvdRegisters(const QString &path, const QByteArray &xml, SvdPeripheralFilter wanted,
                      const void *context, SvdRegisters *registers, SvdDescriptions descriptions)
{
    *registers = readSvdRegisters(xml, wanted, context, descriptions);
    if (!registers->error.isEmpty()) {
        printErr(QStringLiteral("%1:%2:%3: error: %4\n")
                         .arg(shownPath(path), QString::number(registers->line),
                              QString::number(registers->column), registers->error));
        return false;
    }
    return true;
}

QStringList nearestNames(const QStringList &names, const QString &wanted)
{
    const QString key = wanted.toCaseFolded().left(maxComparedLength);
    // The distance that still looks like a slip: a third of the name, at least two.
    const qsizetype limit = std::max<qsizetype>(2, key.size() / 3);
    struct Candidate
    {
        qsizetype rank;
        qsizetype index;
    };
    std::vector<Candidate> candidates;
    for (qsizetype k = 0; k < names.size(); ++k) {
        const QString name = names.at(k).toCaseFolded().left(maxComparedLength);
        const qsizetype distance = editDistance(key, name);
        const bool related = !key.isEmpty()
                && (name.startsWith(key) || name.contains(key) || key.startsWith(name));
        if (distance <= limit || related)
            candidates.push_back({ distance <= limit ? distance : limit + 1 + distance, k });
    }
    // Nothing near: those that share the longest beginning, if it is more than a letter.
    if (candidates.empty()) {
        qsizetype longest = 1;
        for (qsizetype k = 0; k < names.size(); ++k) {
            const QString name = names.at(k).toCaseFolded();
            qsizetype shared = 0;
            while (shared < qMin(name.size(), key.size()) && name.at(shared) == key.at(shared))
                ++shared;
            if (shared > longest) {
                longest = shared;
                candidates.clear();
            }
            if (shared == longest && shared > 1)
                candidates.push_back({ 0, k });
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate &a, const Candidate &b) { return a.rank < b.rank; });
    QStringList nearest;
    for (const Candidate &candidate : candidates) {
        const QString &name = names.at(candidate.index);
        if (!nearest.contains(name))
            nearest.append(name);
        if (nearest.size() == 5)
            break;
    }
    return nearest;
}

QString didYouMean(const QStringList &names, const QString &wanted)
{
    const QStringList nearest = nearestNames(names, wanted);
    return nearest.isEmpty()
            ? QString()
            : QStringLiteral("; did you mean %1?").arg(nearest.join(QLatin1String(", ")));
}

QString hexDigits(quint64 value, int bits)
{
    return QStringLiteral("0x")
            + QString::number(value, 16).toUpper().rightJustified(std::max(1, (bits + 3) / 4),
                                                                  u'0');
}

QString binaryDigits(quint64 value, int bits)
{
    QString text;
    for (int bit = bits - 1; bit >= 0; --bit) {
        text += (value >> bit) & 1 ? u'1' : u'0';
        if (bit % 4 == 0 && bit > 0)
            text += u' ';
    }
    return text;
}

QString bitRange(int lsb, int width)
{
    return width == 1 ? QStringLiteral("[%1]").arg(lsb)
                      : QStringLiteral("[%1:%2]").arg(lsb + width - 1).arg(lsb);
}

QString accessText(const QString &access, const QString &modifiedWriteValues,
                   const QString &readAction)
{
    static const QHash<QString, QString> writes = {
        { QStringLiteral("oneToClear"), QStringLiteral("writing 1 clears a bit") },
        { QStringLiteral("oneToSet"), QStringLiteral("writing 1 sets a bit") },
        { QStringLiteral("oneToToggle"), QStringLiteral("writing 1 toggles a bit") },
        { QStringLiteral("zeroToClear"), QStringLiteral("writing 0 clears a bit") },
        { QStringLiteral("zeroToSet"), QStringLiteral("writing 0 sets a bit") },
        { QStringLiteral("zeroToToggle"), QStringLiteral("writing 0 toggles a bit") },
        { QStringLiteral("clear"), QStringLiteral("a write clears it") },
        { QStringLiteral("set"), QStringLiteral("a write sets it") },
        { QStringLiteral("modify"), QStringLiteral("a write modifies it") },
    };
    static const QHash<QString, QString> reads = {
        { QStringLiteral("clear"), QStringLiteral("reading clears it") },
        { QStringLiteral("set"), QStringLiteral("reading sets it") },
        { QStringLiteral("modify"), QStringLiteral("reading modifies it") },
        { QStringLiteral("modifyExternal"), QStringLiteral("reading has effects elsewhere") },
    };
    QString text = access;
    if (!modifiedWriteValues.isEmpty())
        text += QLatin1String(", ")
                + writes.value(modifiedWriteValues,
                               QStringLiteral("modifiedWriteValues %1").arg(modifiedWriteValues));
    if (!readAction.isEmpty())
        text += QLatin1String(", ")
                + reads.value(readAction, QStringLiteral("readAction %1").arg(readAction));
    return text;
}

namespace {

// The register as the one field of a register without fields.
SvdField wholeRegister(const SvdRegister &reg)
{
    SvdField whole;
    whole.name = reg.name.mid(reg.name.lastIndexOf(u'.') + 1);
    whole.description = reg.description;
    whole.lsb = 0;
    whole.width = reg.size;
    whole.access = reg.access;
    whole.modifiedWriteValues = reg.modifiedWriteValues;
    whole.readAction = reg.readAction;
    whole.line = reg.line;
    return whole;
}

// Most significant first: by the bit above the field, then by its lsb.
bool higherField(const SvdField &a, const SvdField &b)
{
    return a.lsb + a.width > b.lsb + b.width
            || (a.lsb + a.width == b.lsb + b.width && a.lsb > b.lsb);
}

} // namespace

QList<SvdField> fieldsOf(const SvdRegister &reg)
{
    SvdField whole;
    FieldOrder order;
    orderFields(reg, &whole, &order);
    QList<SvdField> fields;
    fields.reserve(order.size());
    for (const SvdField *field : std::as_const(order))
        fields.append(*field);
    return fields;
}

void orderFields(const SvdRegister &reg, SvdField *whole, FieldOrder *order)
{
    order->clear();
    if (reg.fields.isEmpty()) {
        *whole = wholeRegister(reg);
        order->append(whole);
        return;
    }
    order->reserve(reg.fields.size());
    for (const SvdField &field : reg.fields)
        order->append(&field);
    std::stable_sort(order->begin(), order->end(),
                     [](const SvdField *a, const SvdField *b) { return higherField(*a, *b); });
}
