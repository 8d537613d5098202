// SPDX-License-Identifier: MIT
// The registers of a device description as plain values: peripherals, registers with their
// address, size, access and reset, fields with their enumerated values; and reading them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct SvdEnumeratedValue
{
    QString name;
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
    QString name; // as import-svd names it (array instances with their index)
    QString description; // empty when read without descriptions
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
    QString name; // PERIPHERAL.REGISTER, PERIPHERAL.CLUSTER.REGISTER, as import-svd names sets
    QString description; // empty when read without descriptions
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

// A peripheral instance (an array's each) and where its registers lie in SvdRegisters::registers.
struct SvdPeripheral
{
    QString name;
    quint64 address = 0;
    qsizetype firstRegister = 0;
    qsizetype registerCount = 0;
    qint64 line = 0;
};

struct SvdRegisters
{
    QList<SvdRegister> registers; // every instance, in file order
    QList<SvdPeripheral> peripherals; // every instance read in full, in file order
    QStringList notes; // what was left out, and why, as import-svd's verbose lines say it
    QString error; // what is wrong with malformed input
    qint64 line = 0; // where it is wrong (1-based), with error
    qint64 column = 0;
};

// Which peripherals to read in full, by the name in the file ("GPIO%s"); an empty function reads
// every one. A peripheral left out is still read as XML; a peripheral that a wanted one derives
// from is read in full too, whatever the function says.
using SvdPeripheralFilter = bool (*)(const QString &name, const void *context);

// Whether the registers' and fields' descriptions are read: only a search of them needs them, and
// they are most of a description's text.
enum class SvdDescriptions { Read, Skip };

// Reads the registers of a description. Names, arrays, derivedFrom and the limits are those of
// import-svd; size, access, resetValue and resetMask pass from the device down through peripheral
// and clusters to each register, derivedFrom giving each element what it lacks. A register
// without a size is 32 bits; without an access, read-write.
SvdRegisters readSvdRegisters(const QByteArray &xml, SvdPeripheralFilter wanted = nullptr,
                              const void *context = nullptr,
                              SvdDescriptions descriptions = SvdDescriptions::Read);
