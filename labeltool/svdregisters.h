// SPDX-License-Identifier: MIT
// What import-svd, reg and find share: the description read for its registers, names near a
// wrong one, and how values, bit ranges and access read.
#pragma once

#include "svdimport.h"

#include <QString>
#include <QStringList>

// The description at path read whole, - for standard input; false with the reason.
bool readSvdFile(const QString &path, QByteArray *bytes, QString *error);
// The registers of xml, read from path (only the peripherals that wanted takes, see
// readSvdRegisters); false after printing where it is malformed, as import-svd says it.
bool loadSvdRegisters(const QString &path, const QByteArray &xml, SvdPeripheralFilter wanted,
                      const void *context, SvdRegisters *registers);

// Up to five of names nearest to wanted, without case: the fewest edits first, then those that
// share its beginning or hold it.
QStringList nearestNames(const QStringList &names, const QString &wanted);
// ": did you mean A, B?" or nothing.
QString didYouMean(const QStringList &names, const QString &wanted);

// "0x" and as many upper-case hexadecimal digits as bits take.
QString hexDigits(quint64 value, int bits);
// Binary digits, most significant first, grouped by 4.
QString binaryDigits(quint64 value, int bits);
// "[n]" or "[msb:lsb]".
QString bitRange(int lsb, int width);
// The access and what reading and writing do besides: "read-write, writing 1 clears a bit".
QString accessText(const QString &access, const QString &modifiedWriteValues,
                   const QString &readAction);
// The register's fields, most significant first; a register without fields as one field of its
// own name.
QList<SvdField> fieldsOf(const SvdRegister &reg);

// As reg prints a register's value: its header line (name, address, size, access, reset, and the
// fields that differ from reset), then a row per field, most significant first, and a "(no field)"
// row per run of uncovered bits that holds a set bit. changedOnly keeps the fields, and the runs,
// that differ from reset. (Defined in reg.cpp.)
QString decodedRegister(const SvdRegister &reg, quint64 value, bool write, bool changedOnly);
// As reg --diff prints two values: the header line, old → new, then the fields and uncovered runs
// that differ.
QString comparedRegister(const SvdRegister &reg, quint64 before, quint64 after, bool write);
