// SPDX-License-Identifier: MIT
// import-svd's mapping of a register description to label sets: one set per register, a label per
// bit.
#pragma once

#include "labelfile.h" // LabelSet { QString name; QStringList labels; } (labels[i] names bit i)
#include "svdlimits.h" // maxSvdExpansion, svdInstanceCost

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
