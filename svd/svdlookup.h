// SPDX-License-Identifier: MIT
// The registers of a description looked up by address, by name and by pattern, through indexes
// built once. Each points into the registers given, which must outlive it unchanged.
#pragma once

#include "svdmodel.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>

#include <vector>

// The registers by address, sorted once: what find ADDRESS, reg ADDRESS and dump look addresses
// up in.
class SvdAddressIndex
{
public:
    explicit SvdAddressIndex(const SvdRegisters &registers);
    // Every register in address order; those at one address in file order.
    const std::vector<const SvdRegister *> &inAddressOrder() const { return byAddress; }
    // The registers at this very address, aliases and alternate registers alike, in file order.
    QList<const SvdRegister *> at(quint64 address) const;
    // The registers whose bytes take address in (one byte at least, whatever the size), in file
    // order.
    QList<const SvdRegister *> holding(quint64 address) const;

private:
    std::vector<const SvdRegister *> byAddress;
};

// The registers by name (PERIPHERAL.REGISTER, PERIPHERAL.CLUSTER.REGISTER …), without case, as reg
// and dump take names.
class SvdNameIndex
{
public:
    explicit SvdNameIndex(const SvdRegisters &registers);
    // The first register of the name in file order, or nullptr.
    const SvdRegister *first(const QString &name) const;
    // Every register of the name, in file order.
    QList<const SvdRegister *> all(const QString &name) const;

private:
    QHash<QString, QList<const SvdRegister *>> byName; // case-folded
};

// A register, or one of its fields, that a pattern matches.
struct SvdPatternMatch
{
    const SvdRegister *reg = nullptr;
    const SvdField *field = nullptr; // nullptr: the register itself
};

// The registers and their fields, in file order (a register before its fields), whose full name
// (PERIPHERAL.REGISTER.FIELD) or own name whole matches, or whose description anywhere matches
// (when given): what find lists.
QList<SvdPatternMatch> svdRegistersMatching(const SvdRegisters &registers,
                                            const QRegularExpression &whole,
                                            const QRegularExpression *anywhere = nullptr);
// The same for a plain word: the registers and fields whose full or own name (or description,
// when asked) holds it, without case.
QList<SvdPatternMatch> svdRegistersHolding(const SvdRegisters &registers, const QString &word,
                                           bool descriptions);
