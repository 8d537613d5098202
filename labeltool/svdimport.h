// SPDX-License-Identifier: MIT
// Reading a CMSIS-SVD device description as label sets: one set per register, a label per bit.
#pragma once

#include "labelfile.h" // LabelSet { QString name; QStringList labels; } (labels[i] names bit i)

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct SvdImport
{
    QList<LabelSet> sets; // one per register with a field bit below 32, in file order, names unique
    qsizetype registers = 0; // register instances read
    QStringList skipped; // one line each: what was skipped or dropped, and why
    QString error; // empty when the description was read; otherwise what is wrong
    qint64 line = 0; // where it is wrong (1-based), with error
    qint64 column = 0;
};

// What a description may expand to, in the characters of the names and labels its registers and
// fields make (a label counting the name of its set too, which the file writes with it), each
// name or label counting svdInstanceCost more. The largest real descriptions make about 25 million
// (about 10 MB of label file); beyond it is an error, so that a few bytes of <dim> or of a long
// name cannot cost minutes and gigabytes.
inline constexpr qint64 maxSvdExpansion = qint64(64) * 1024 * 1024;
inline constexpr qint64 svdInstanceCost = 32;

// Reads a CMSIS-SVD device description and maps each register to a label set.
//
// A set is named PERIPHERAL.REGISTER (PERIPHERAL.CLUSTER.REGISTER, with more parts for nested
// clusters); arrays (<dim>, with <dimIndex> lists "A,B" or ranges "0-7" / "A-D") give one instance
// per index, with %s in the name replaced by it. A one-bit field labels its bit with its name, a
// wider one gives NAME[0] … NAME[w−1] from its least significant bit up; field arrays step by
// <dimIncrement> bits (by the field's width when it is missing). The set has as many labels as its
// highest labelled bit + 1, a bit that no field labels being "(bit N)". Where fields overlap, the
// first in the file keeps the bit; a label equal to one already in the set is dropped; bits from 32
// up are dropped. Labels and set names are compared without case, as the settings class compares
// them on some systems. derivedFrom (a name, or a dotted path from the peripheral) gives an element
// what it lacks: registers, fields, a bit position, an array. A set name produced twice keeps the
// first register. Everything left out is said in skipped, with the line of its element (the first
// 10,000 such lines, then how many more).
//
// Malformed XML, a root element other than <device>, a <device> without <peripherals> and a
// description that expands beyond maxSvdExpansion are errors: no set is returned.
SvdImport importSvd(const QByteArray &xml);

// The same description read for the values of registers: each register instance with its
// address, its properties as inherited and derived, and its fields with their enumerated values.
struct SvdEnumeratedValue
{
    QString name;
    QString description;
    quint64 value = 0;
    quint64 care = 0; // the bits the value names; a don't-care bit ('x' in "#1x0") is clear
    bool isDefault = false; // names every value no other entry of its container names
};

struct SvdEnumeration
{
    QString name;
    QString usage; // "read", "write" or "read-write"
    QList<SvdEnumeratedValue> values;
    // Which entry names the value: the first whose cared-for bits match, else the default one.
    const SvdEnumeratedValue *match(quint64 value) const;
};

struct SvdField
{
    QString name; // as importSvd names it (array instances with their index)
    QString description;
    int lsb = 0;
    int width = 1; // lsb + width ≤ 64
    QString access; // the field's own, derived or the register's
    QString modifiedWriteValues; // "oneToClear", …; empty for an ordinary write
    QString readAction; // "clear", …; empty when reading has no side effect
    QList<SvdEnumeration> enumerations;
    qint64 line = 0;

    quint64 mask() const;
    quint64 valueIn(quint64 registerValue) const { return (registerValue & mask()) >> lsb; }
    // The container for a value read back (usage read or read-write) or for one written; nullptr
    // when the field has none.
    const SvdEnumeration *enumeration(bool write) const;
};

struct SvdRegister
{
    QString name; // PERIPHERAL.REGISTER, PERIPHERAL.CLUSTER.REGISTER, as importSvd names sets
    QString description;
    quint64 address = 0;
    int size = 32; // 1 … 64 bits
    QString access = QStringLiteral("read-write");
    quint64 resetValue = 0;
    quint64 resetMask = 0;
    QString modifiedWriteValues;
    QString readAction;
    QList<SvdField> fields; // in file order; a register without fields has none here
    qint64 line = 0;

    quint64 valueMask() const { return size >= 64 ? ~quint64(0) : (quint64(1) << size) - 1; }
};

struct SvdRegisters
{
    QList<SvdRegister> registers; // every instance, in file order
    QStringList notes; // what was left out, and why, as SvdImport::skipped says it
    QString error; // as SvdImport's, for malformed input
    qint64 line = 0;
    qint64 column = 0;
};

// Which peripherals to read in full, by the name in the file ("GPIO%s"); an empty function reads
// every one. A peripheral left out is still read as XML; a peripheral that a wanted one derives
// from is read in full too, whatever the function says.
using SvdPeripheralFilter = bool (*)(const QString &name, const void *context);

// Reads the registers of a description. Names, arrays, derivedFrom and the limits are those of
// importSvd; size, access, resetValue and resetMask pass from the device down through peripheral
// and clusters to each register, derivedFrom giving each element what it lacks. A register
// without a size is 32 bits; without an access, read-write.
SvdRegisters readSvdRegisters(const QByteArray &xml, SvdPeripheralFilter wanted = nullptr,
                              const void *context = nullptr);

// An enumerated value as a description writes one: decimal, 0x hexadecimal, # or 0b binary; in
// binary 'x' marks a don't-care bit (clear in care). False for anything else or beyond 64 bits.
bool parseSvdValue(QStringView text, quint64 *value, quint64 *care = nullptr);
// Any other number of a description (an address, a size, a bit position …), by the same reader:
// decimal, 0x hexadecimal, # or 0b binary, with an optional scale k, m, g or t (× 1024, 1024², …:
// "1k" is 1024). False for anything else or beyond 64 bits.
bool parseSvdNumber(QStringView text, quint64 *value);
