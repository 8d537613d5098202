// SPDX-License-Identifier: MIT
// What import-svd, reg and find share: the description read for its registers, names near a
// wrong one, and how values, bit ranges and access read.
#pragma once

#include "rows.h"
#include "svdlookup.h"
#include "svdmodel.h"
#include "svdnumber.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>

#include <vector>

// The description at path read whole, - for standard input; false with the reason.
bool readSvdFile(const QString &path, QByteArray *bytes, QString *error);
// The registers of xml, read from path (only the peripherals that wanted takes, see
// readSvdRegisters); false after printing where it is malformed, as import-svd says it.
bool loadSvdRegisters(const QString &path, const QByteArray &xml, SvdPeripheralFilter wanted,
                      const void *context, SvdRegisters *registers,
                      SvdDescriptions descriptions = SvdDescriptions::Read);

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

// The same order without a copy of the fields: pointers into reg's fields, or to whole, made the
// register's one field when it has none.
using FieldOrder = QVarLengthArray<const SvdField *, 32>;
void orderFields(const SvdRegister &reg, SvdField *whole, FieldOrder *order);

// As reg prints a register's value: its header line (name, address, size, access, reset, and the
// fields that differ from reset), then a row per field, most significant first, and a "(no field)"
// row per run of uncovered bits that holds a set bit. changedOnly keeps the fields, and the runs,
// that differ from reset. (Defined in reg.cpp, as are the others below.)
void decodedRegister(const SvdRegister &reg, quint64 value, bool write, bool changedOnly,
                     Rows *rows);
// The same rows as text, tab-separated.
QString decodedRegister(const SvdRegister &reg, quint64 value, bool write, bool changedOnly);
// The value reg composes from FIELD=VALUE assignments, start being the reset value or --from's:
// each field named without case, VALUE a number or an enumerated name as reg's --help says, the
// result within the register's size. False, with the line reg prints in error, when an
// assignment names no field, a read-only one, or a value the field cannot take.
bool composedValue(const SvdRegister &reg, quint64 start, const QStringList &assignments,
                   quint64 *value, QString *error);
// As reg --diff prints two values: the header line, old → new, then the fields and uncovered runs
// that differ.
void comparedRegister(const SvdRegister &reg, quint64 before, quint64 after, bool write,
                      Rows *rows);
// The same as one JSON object on a line (with its newline): register, address, size, access,
// reset, resetMask, value, fields (the fields decodedRegister shows, each name, msb, lsb, value,
// enum, access) and uncovered (the set bits that no field covers, or null).
QString decodedRegisterJson(const SvdRegister &reg, quint64 value, bool write, bool changedOnly);
// The fields that differ; value, uncovered and each field's value and enum as {"old", "new"}.
QString comparedRegisterJson(const SvdRegister &reg, quint64 before, quint64 after, bool write);
// The members that every register's object begins with: register, address, size, access, reset
// and resetMask.
JsonObject registerJson(const SvdRegister &reg);
// A field's object: name, msb, lsb, access, with its value and enum given as JSON text.
QString fieldJson(const SvdField &field, const QString &value, const QString &enumName);
// The set bits of value that no field covers, as a JSON string, or null when there are none.
QString uncoveredJson(const SvdRegister &reg, quint64 value);
// "0x…" of as many digits as bits take, as a JSON string.
QString jsonHex(quint64 value, int bits);
