// SPDX-License-Identifier: MIT
// The registers of a description looked up by address, by name and by pattern.
#include "svdlookup.h"

#include <algorithm>
#include <functional>

SvdAddressIndex::SvdAddressIndex(const SvdRegisters &registers)
{
    byAddress.reserve(std::size_t(registers.registers.size()));
    for (const SvdRegister &reg : registers.registers)
        byAddress.push_back(&reg);
    std::stable_sort(
            byAddress.begin(), byAddress.end(),
            [](const SvdRegister *a, const SvdRegister *b) { return a->address < b->address; });
}

QList<const SvdRegister *> SvdAddressIndex::at(quint64 address) const
{
    const auto first = std::lower_bound(
            byAddress.cbegin(), byAddress.cend(), address,
            [](const SvdRegister *reg, quint64 wanted) { return reg->address < wanted; });
    QList<const SvdRegister *> found;
    for (auto it = first; it != byAddress.cend() && (*it)->address == address; ++it)
        found.append(*it);
    return found;
}

QList<const SvdRegister *> SvdAddressIndex::holding(quint64 address) const
{
    // A register takes at most 8 bytes in: only those from 7 bytes below can reach address.
    const quint64 lowest = address >= 7 ? address - 7 : 0;
    const auto first = std::lower_bound(
            byAddress.cbegin(), byAddress.cend(), lowest,
            [](const SvdRegister *reg, quint64 wanted) { return reg->address < wanted; });
    QList<const SvdRegister *> found;
    for (auto it = first; it != byAddress.cend() && (*it)->address <= address; ++it) {
        const quint64 bytes = quint64(std::max(1, ((*it)->size + 7) / 8));
        if (address - (*it)->address < bytes)
            found.append(*it);
    }
    // The registers are held in one list, in file order: their places there give that order back.
    std::sort(found.begin(), found.end(), std::less<const SvdRegister *>());
    return found;
}

SvdNameIndex::SvdNameIndex(const SvdRegisters &registers)
{
    byName.reserve(registers.registers.size());
    for (const SvdRegister &reg : registers.registers)
        byName[reg.name.toCaseFolded()].append(&reg);
}

const SvdRegister *SvdNameIndex::first(const QString &name) const
{
    const auto found = byName.constFind(name.toCaseFolded());
    return found == byName.cend() ? nullptr : found->constFirst();
}

QList<const SvdRegister *> SvdNameIndex::all(const QString &name) const
{
    return byName.value(name.toCaseFolded());
}

namespace {

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// The registers, then each one's fields, that matches takes.
template<typename Matches>
QList<SvdPatternMatch> registersMatching(const SvdRegisters &registers, Matches matches)
{
    QList<SvdPatternMatch> found;
    for (const SvdRegister &reg : registers.registers) {
        if (matches(reg.name, reg.name.mid(reg.name.lastIndexOf(u'.') + 1), reg.description))
            found.append({ &reg, nullptr });
        for (const SvdField &field : reg.fields) {
            if (matches(reg.name + u'.' + field.name, field.name, field.description))
                found.append({ &reg, &field });
        }
    }
    return found;
}

} // namespace

QList<SvdPatternMatch> svdRegistersMatching(const SvdRegisters &registers,
                                            const QRegularExpression &whole,
                                            const QRegularExpression *anywhere)
{
    return registersMatching(
            registers, [&](const QString &full, const QString &own, const QString &description) {
                return whole.match(full).hasMatch() || whole.match(own).hasMatch()
                        || (anywhere && anywhere->match(description).hasMatch());
            });
}

QList<SvdPatternMatch> svdRegistersHolding(const SvdRegisters &registers, const QString &word,
                                           bool descriptions)
{
    // Between ASCII texts a search without case is the pattern's; beyond ASCII the pattern's
    // Unicode rules decide.
    const QRegularExpression pattern(QRegularExpression::escape(word),
                                     QRegularExpression::CaseInsensitiveOption);
    const bool asciiWord = isAscii(word);
    const auto holds = [&](const QString &text) {
        return asciiWord && isAscii(text) ? text.contains(word, Qt::CaseInsensitive)
                                          : pattern.match(text).hasMatch();
    };
    return registersMatching(
            registers, [&](const QString &full, const QString &own, const QString &description) {
                return holds(full) || holds(own) || (descriptions && holds(description));
            });
}
