// SPDX-License-Identifier: MIT
// import-svd's mapping of a register description to label sets: one set per register instance
// that the resolution reaches, a label per bit.
#include "svdlabels.h"

#include "svdresolve.h"

#include <QHash>
#include <QMultiHash>
#include <QSet>

#include <algorithm>
#include <array>

using namespace svd;

namespace {

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// The text case-folded. Names are ASCII nearly always, and for ASCII folding is lowering, which the
// toolkit's folding for all of Unicode takes many times as long for.
QString caseFolded(const QString &text)
{
    if (!isAscii(text))
        return text.toCaseFolded();
    // A name without capitals is its own folding: shared, not copied.
    const auto capital = std::find_if(text.cbegin(), text.cend(),
                                      [](QChar c) { return c >= u'A' && c <= u'Z'; });
    if (capital == text.cend())
        return text;
    QString folded = text;
    for (auto c = folded.begin() + (capital - text.cbegin()); c != folded.end(); ++c) {
        if (*c >= u'A' && *c <= u'Z')
            *c = QChar(char16_t(c->unicode() + 0x20));
    }
    return folded;
}

// A hash of the text case-folded, made without a folded copy where the text is ASCII: the labels
// of a set are compared without case, and a copy of each label cost more than the rest of the
// mapping.
uint foldedHash(const QString &text)
{
    uint hash = 2166136261U;
    const auto add = [&hash](char16_t unit) { hash = (hash ^ unit) * 16777619U; };
    if (isAscii(text)) {
        for (const QChar c : text)
            add(c >= u'A' && c <= u'Z' ? char16_t(c.unicode() + 0x20) : c.unicode());
    } else {
        for (const QChar c : text.toCaseFolded())
            add(c.unicode());
    }
    return hash;
}

// Whether two texts are alike without case, as their case-folded forms compare.
bool sameFolded(const QString &a, const QString &b)
{
    if (isAscii(a) && isAscii(b))
        return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
    return caseFolded(a) == caseFolded(b);
}

// "[n]" of the labels of a wider field's bits, made once.
const QString &bitSuffix(qint64 bit)
{
    static const std::array<QString, 32> suffixes = [] {
        std::array<QString, 32> made;
        for (std::size_t k = 0; k < made.size(); ++k)
            made.at(k) = QStringLiteral("[%1]").arg(k);
        return made;
    }();
    return suffixes.at(std::size_t(bit));
}

// The label of a bit that no field names, made once and shared by every set that has one.
const QString &unlabelledBit(int bit)
{
    static const std::array<QString, 32> labels = [] {
        std::array<QString, 32> made;
        for (std::size_t k = 0; k < made.size(); ++k)
            made.at(k) = QStringLiteral("(bit %1)").arg(k);
        return made;
    }();
    return labels.at(std::size_t(bit));
}

// Makes a label set of each register instance, its set names unique without case.
class LabelMapper : public RegisterConsumer
{
public:
    explicit LabelMapper(SvdImport &import) : import(import) { }
    void registerInstance(Resolver &resolver, const QString &setName, const Node &reg,
                          const Scope &scope) override;

private:
    // The labels of a wider field's bits, made once for each name: the instances of a register,
    // and registers alike, repeat their fields' names.
    struct FieldLabels
    {
        QStringList labels; // NAME[k], each made when first needed
        QList<uint> hashes; // their foldedHash
    };
    FieldLabels &fieldLabels(const QString &name);

    SvdImport &import;
    QHash<QString, FieldLabels> labelsByName;
    QSet<QString> setNames; // case-folded
    // Every label list made, once, by a hash of a few units of each label: the instances of a
    // register, and registers alike in derived peripherals, share one list (nrf5340_application:
    // 9,729 sets of 486 different lists), which the write then sorts and escapes once. Hashing
    // every unit of every label cost more than the sharing saved.
    QMultiHash<uint, QStringList> lists;
};

constexpr int maxListsPerHash = 8;

uint listHash(const QStringList &labels)
{
    uint hash = 2166136261U;
    const auto add = [&hash](uint value) { hash = (hash ^ value) * 16777619U; };
    for (const QString &label : labels) {
        add(uint(label.size()));
        if (!label.isEmpty()) {
            add(label.front().unicode());
            add(label.back().unicode());
            add(label.at(label.size() / 2).unicode());
        }
    }
    return hash;
}

LabelMapper::FieldLabels &LabelMapper::fieldLabels(const QString &name)
{
    return labelsByName[name];
}

void LabelMapper::registerInstance(Resolver &resolver, const QString &setName, const Node &reg,
                                   const Scope &scope)
{
    Q_UNUSED(scope);
    ++import.registers;
    // Compared without case, as the settings class compares names on Windows and macOS: a file
    // written here must read alike there.
    const QString setKey = caseFolded(setName);
    if (setNames.contains(setKey)) {
        resolver.note(setName,
                      QStringLiteral("a set of this name came from an earlier register; skipped"),
                      reg);
        return;
    }
    std::array<QString, 32> labels;
    // The labels placed, by the hash of their folded text: at most 32, so looked through in turn.
    std::array<uint, 32> usedHashes {};
    std::array<int, 32> usedBits {};
    std::size_t used = 0;
    // A bit for each hash's low six bits: a label whose bit is clear is no repeat, as most are not.
    quint64 usedMask = 0;
    const auto isUsed = [&](const QString &label, uint hash) {
        if ((usedMask & (quint64(1) << (hash & 63U))) == 0)
            return false;
        for (std::size_t k = 0; k < used; ++k) {
            if (usedHashes.at(k) == hash
                && sameFolded(labels.at(std::size_t(usedBits.at(k))), label))
                return true;
        }
        return false;
    };
    const std::vector<Node> &fields = resolver.childrenOf(reg);
    for (const Node &field : fields) {
        Resolver::FieldInstances instances;
        if (!resolver.fieldInstances(field, setName, 32, &instances)) {
            if (resolver.stopped())
                return;
            continue;
        }
        const Node &position = *instances.position;
        const Indices &indices = instances.indices;
        const qint64 step = instances.step;
        const qint64 count = instances.count;
        for (qint64 k = 0; k < count; ++k) {
            const qint64 lsb = position.lsb + k * step;
            // The rest of an array that steps upwards lies from bit 32 up too.
            if (lsb >= 32 && step > 0 && indices.count - k > 1) {
                resolver.note(
                        setName,
                        QStringLiteral("field %1: instances %2 … %3 lie from bit 32 up; dropped")
                                .arg(quoted(field.name), indices.at(k),
                                     indices.at(indices.count - 1)),
                        field);
                break;
            }
            QString name = field.name;
            if (indices.array)
                name.replace(QLatin1String("%s"), indices.at(k));
            if (const QString bad = nameProblem(name); !bad.isEmpty()) {
                resolver.note(setName, QStringLiteral("field: %1; left out").arg(bad), field);
                continue;
            }
            if (name.startsWith(QLatin1String("(bit "))) {
                resolver.note(
                        setName,
                        QStringLiteral("field %1 is named like the label of a bit without a field; "
                                       "left out")
                                .arg(quoted(name)),
                        field);
                continue;
            }
            if (lsb + position.width > 32) {
                const qint64 from = qMax<qint64>(lsb, 32);
                const qint64 last = lsb + position.width - 1;
                const QString bits = from == last
                        ? QStringLiteral("bit %1").arg(from)
                        : QStringLiteral("bits %1–%2").arg(from).arg(last);
                resolver.note(setName,
                              QStringLiteral("field %1: %2 dropped (labels go up to bit 31)")
                                      .arg(quoted(name), bits),
                              field);
            }
            QStringList taken;
            QStringList repeated;
            const qint64 top = qMin<qint64>(lsb + position.width, 32);
            // A one-bit field's label is its name.
            FieldLabels *made = position.width == 1 ? nullptr : &fieldLabels(name);
            for (qint64 bit = lsb; bit < top; ++bit) {
                QString &slot = labels.at(std::size_t(bit));
                if (!slot.isEmpty()) {
                    taken.append(QString::number(bit));
                    continue;
                }
                QString label;
                uint hash = 0;
                if (!made) {
                    label = name;
                    hash = foldedHash(label);
                } else {
                    const auto k = qsizetype(bit - lsb);
                    if (made->labels.size() <= k) {
                        made->labels.resize(k + 1);
                        made->hashes.resize(k + 1);
                    }
                    QString &wide = made->labels[k];
                    if (wide.isEmpty()) {
                        // One allocation, where appending takes two.
                        const QString &suffix = bitSuffix(k);
                        wide = QString(name.size() + suffix.size(), Qt::Uninitialized);
                        std::copy(suffix.cbegin(), suffix.cend(),
                                  std::copy(name.cbegin(), name.cend(), wide.begin()));
                        made->hashes[k] = foldedHash(wide);
                    }
                    label = wide;
                    hash = made->hashes.at(k);
                }
                if (isUsed(label, hash)) {
                    repeated.append(label);
                    continue;
                }
                // The file writes the set's name with every label.
                if (!resolver.spend(svdInstanceCost + label.size() + setName.size(), field))
                    return;
                usedHashes.at(used) = hash;
                usedMask |= quint64(1) << (hash & 63U);
                usedBits.at(used) = int(bit);
                ++used;
                slot = std::move(label);
            }
            if (!taken.isEmpty())
                resolver.note(
                        setName,
                        QStringLiteral("field %1 overlaps an earlier field on bit %2, which keeps "
                                       "its label")
                                .arg(quoted(name), taken.join(QLatin1String(", "))),
                        field);
            if (!repeated.isEmpty())
                resolver.note(setName,
                              QStringLiteral("label %1 repeats one already in the set; dropped")
                                      .arg(repeated.join(QLatin1String(", "))),
                              field);
        }
    }
    int count = 32;
    while (count > 0 && labels.at(std::size_t(count - 1)).isEmpty())
        --count;
    if (count == 0) {
        resolver.note(setName,
                      fields.empty() ? QStringLiteral("no fields; skipped")
                                     : QStringLiteral("no field bit below 32 left; skipped"),
                      reg);
        return;
    }
    LabelSet set;
    set.name = setName;
    set.labels.reserve(count);
    for (int bit = 0; bit < count; ++bit) {
        const QString &label = labels.at(std::size_t(bit));
        set.labels.append(label.isEmpty() ? unlabelledBit(bit) : label);
    }
    // A few lists of one hash are compared, no more: lists made alike on purpose cost no square
    // of their number, they only go unshared.
    const uint hash = listHash(set.labels);
    int compared = 0;
    auto list = lists.constFind(hash);
    for (; list != lists.cend() && list.key() == hash && compared < maxListsPerHash;
         ++list, ++compared) {
        if (*list == set.labels) {
            set.labels = *list;
            break;
        }
    }
    if (compared < maxListsPerHash && (list == lists.cend() || list.key() != hash))
        lists.insert(hash, set.labels);
    setNames.insert(setKey);
    import.sets.append(std::move(set));
}

} // namespace

SvdImport importSvd(const QByteArray &bytes)
{
    SvdImport import;
    bool known = true;
    const QByteArray xml = asUtf8(bytes, &known);
    Diagnostics diagnostics;
    const std::vector<Node> peripherals =
            readTree(xml, false, nullptr, nullptr, diagnostics).peripherals;
    // A description the reader refuses keeps what it noted before; one the resolution stops
    // keeps nothing.
    const bool read = diagnostics.error.isEmpty();
    if (read) {
        LabelMapper mapper(import);
        Resolver(peripherals, diagnostics, false).run(mapper);
    }
    import.skipped = std::move(diagnostics.notes);
    import.error = diagnostics.error;
    import.line = diagnostics.line;
    import.column = diagnostics.column;
    if (read && !import.error.isEmpty()) {
        import.sets.clear();
        import.skipped.clear();
    }
    return import;
}
