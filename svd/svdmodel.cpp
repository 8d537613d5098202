// SPDX-License-Identifier: MIT
// The registers of a description as values: each register instance that the resolution reaches,
// with its address, inherited properties and fields.
#include "svdmodel.h"

#include "svdresolve.h"

#include <QHash>
#include <QSet>

#include <vector>

using namespace svd;

const SvdEnumeratedValue *SvdEnumeration::match(quint64 value) const
{
    const SvdEnumeratedValue *fallback = nullptr;
    for (const SvdEnumeratedValue &entry : values) {
        if (entry.isDefault) {
            if (!fallback)
                fallback = &entry;
        } else if ((value & entry.care) == (entry.value & entry.care)) {
            return &entry;
        }
    }
    return fallback;
}

quint64 SvdField::mask() const
{
    const quint64 ones = width >= 64 ? ~quint64(0) : (quint64(1) << width) - 1;
    return ones << lsb;
}

const SvdEnumeration *SvdField::enumeration(bool write) const
{
    const QLatin1String side = write ? QLatin1String("write") : QLatin1String("read");
    for (const SvdEnumeration &e : enumerations) {
        if (e.usage == side || e.usage == QLatin1String("read-write"))
            return &e;
    }
    return nullptr;
}

namespace {

// Makes the model of each register instance, and notes the peripherals it lies in.
class ModelBuilder : public RegisterConsumer
{
public:
    ModelBuilder(SvdRegisters *model, bool descriptions) : model(model), descriptions(descriptions)
    {
    }
    void registerInstance(Resolver &resolver, const QString &name, const Node &reg,
                          const Scope &scope) override;
    void peripheralStart(const QString &name, const Node &peripheral, const Scope &scope) override
    {
        SvdPeripheral &out = model->peripherals.emplace_back();
        out.name = name;
        out.address = scope.address;
        out.line = peripheral.line;
        out.firstRegister = model->registers.size();
    }
    void peripheralEnd() override
    {
        SvdPeripheral &out = model->peripherals.last();
        out.registerCount = model->registers.size() - out.firstRegister;
    }

private:
    SvdRegisters *model;
    bool descriptions;
};

void ModelBuilder::registerInstance(Resolver &resolver, const QString &name, const Node &reg,
                                    const Scope &scope)
{
    SvdRegister out;
    out.name = name;
    out.address = scope.address;
    out.line = reg.line;
    const Properties &properties = scope.properties;
    if (const std::optional<quint64> size =
                resolver.modelNumber(properties.size, QStringLiteral("size"), name, reg)) {
        if (*size < 1 || *size > 64) {
            resolver.note(name,
                          QStringLiteral("a size of %1 bits is none a value can have; left out")
                                  .arg(*size),
                          reg);
            return;
        }
        out.size = int(*size);
    }
    if (!properties.access.isEmpty())
        out.access = properties.access;
    out.resetValue =
            resolver.modelNumber(properties.resetValue, QStringLiteral("resetValue"), name, reg)
                    .value_or(0)
            & out.valueMask();
    out.resetMask =
            resolver.modelNumber(properties.resetMask, QStringLiteral("resetMask"), name, reg)
                    .value_or(out.valueMask())
            & out.valueMask();
    if (descriptions)
        out.description = resolver.derivedText(reg, [](const Detail &d) { return d.description; });
    out.modifiedWriteValues =
            resolver.derivedText(reg, [](const Detail &d) { return d.modifiedWriteValues; });
    out.readAction = resolver.derivedText(reg, [](const Detail &d) { return d.readAction; });

    for (const Node &field : resolver.childrenOf(reg)) {
        Resolver::FieldInstances instances;
        if (!resolver.fieldInstances(field, name, out.size, &instances)) {
            if (resolver.stopped())
                return;
            continue;
        }
        const Node &position = *instances.position;
        const Indices &indices = instances.indices;
        const qint64 step = instances.step;
        const qint64 count = instances.count;
        SvdField common;
        if (descriptions)
            common.description =
                    resolver.derivedText(field, [](const Detail &d) { return d.description; });
        common.access =
                resolver.derivedText(field, [](const Detail &d) { return d.properties.access; });
        if (common.access.isEmpty())
            common.access = out.access;
        common.modifiedWriteValues =
                resolver.derivedText(field, [](const Detail &d) { return d.modifiedWriteValues; });
        if (common.modifiedWriteValues.isEmpty())
            common.modifiedWriteValues = out.modifiedWriteValues;
        common.readAction =
                resolver.derivedText(field, [](const Detail &d) { return d.readAction; });
        if (common.readAction.isEmpty())
            common.readAction = out.readAction;
        // A field without containers, its own or derived, has none to resolve: no name made
        // for the notes of a resolution.
        if (!field.derivedFrom.isEmpty() || (field.detail && !field.detail->enumerations.empty())) {
            QString subject;
            subject.reserve(name.size() + 1 + field.name.size());
            subject += name;
            subject += u'.';
            subject += field.name;
            common.enumerations = resolver.enumerationsOf(field, subject, int(position.width));
        }
        common.width = int(position.width);
        common.line = field.line;
        for (qint64 k = 0; k < count; ++k) {
            const qint64 lsb = position.lsb + k * step;
            SvdField instance = common;
            instance.name = field.name;
            if (indices.array)
                instance.name.replace(QLatin1String("%s"), indices.at(k));
            if (k > 0 && lsb >= out.size) {
                resolver.note(
                        name,
                        QStringLiteral("field %1: instances %2 … %3 lie beyond the register's %4 "
                                       "bits; left out")
                                .arg(quoted(field.name), indices.at(k),
                                     indices.at(indices.count - 1))
                                .arg(out.size),
                        field);
                break;
            }
            // A value holds the register's bits only: a field past them could be neither read
            // nor written there.
            if (lsb >= out.size) {
                resolver.note(
                        name,
                        QStringLiteral("field %1 lies beyond the register's %2 bits; left out")
                                .arg(quoted(instance.name))
                                .arg(out.size),
                        field);
                continue;
            }
            if (lsb + position.width > out.size) {
                instance.width = int(out.size - lsb);
                resolver.note(name,
                              QStringLiteral("field %1 reaches beyond the register's %2 bits; cut "
                                             "to [%3:%4]")
                                      .arg(quoted(instance.name))
                                      .arg(out.size)
                                      .arg(out.size - 1)
                                      .arg(lsb),
                              field);
            }
            instance.lsb = int(lsb);
            out.fields.append(std::move(instance));
        }
    }
    model->registers.append(std::move(out));
}

// The first part of a dotted derivedFrom, or all of a peripheral's: the peripherals an element
// of a wanted one needs read.
void collectNeeded(const Node &node, QSet<QString> *needed)
{
    if (node.kind == Kind::Peripheral && !node.derivedFrom.isEmpty())
        needed->insert(node.derivedFrom);
    const auto dotted = [needed](const QString &derivedFrom) {
        const qsizetype dot = derivedFrom.indexOf(u'.');
        if (dot > 0)
            needed->insert(derivedFrom.left(dot));
    };
    if (node.kind != Kind::Peripheral)
        dotted(node.derivedFrom);
    if (node.detail) {
        for (const EnumerationNode &e : node.detail->enumerations)
            dotted(e.derivedFrom);
    }
    for (const Node &child : node.children)
        collectNeeded(child, needed);
}

} // namespace

SvdRegisters readSvdRegisters(const QByteArray &bytes, SvdPeripheralFilter wanted,
                              const void *context, SvdDescriptions descriptions)
{
    const bool described = descriptions == SvdDescriptions::Read;
    SvdRegisters registers;
    Diagnostics diagnostics;
    bool known = true;
    const QByteArray xml = asUtf8(bytes, &known);
    std::vector<Node> peripherals;
    Properties device;
    bool alone = known;
    {
        Tree tree = readTree(xml, true, wanted, context, diagnostics, described);
        peripherals = std::move(tree.peripherals);
        device = tree.device;
        // Entities declared in the DTD would be missing from a part read alone.
        alone = alone && !tree.sawDtd;
    }
    if (diagnostics.error.isEmpty() && wanted) {
        // A wanted peripheral may derive from one whose registers were passed by: those are read
        // from their own bytes, or else in a second pass over the whole file that reads every
        // peripheral. What a peripheral needs is found once for each, through the index of names.
        QHash<QString, std::vector<std::size_t>> byName;
        for (std::size_t k = 0; k < peripherals.size(); ++k)
            byName[peripherals.at(k).name].push_back(k);
        QSet<QString> needed;
        std::vector<std::size_t> pending; // to be looked at for what it needs
        std::vector<std::size_t> toRead; // needed, perhaps not read yet
        for (std::size_t k = 0; k < peripherals.size(); ++k) {
            // Not wanted by the name it had at <registers>, but by the one it ends with.
            if (!peripherals.at(k).unwanted) {
                pending.push_back(k);
                toRead.push_back(k);
            }
        }
        Utf8Offsets offsets(xml);
        bool whole = false;
        while (!whole && (!pending.empty() || !toRead.empty())) {
            while (!pending.empty()) {
                const std::size_t k = pending.back();
                pending.pop_back();
                QSet<QString> names;
                collectNeeded(peripherals.at(k), &names);
                for (const QString &name : std::as_const(names)) {
                    if (needed.contains(name))
                        continue;
                    needed.insert(name);
                    for (const std::size_t base : byName.value(name)) {
                        pending.push_back(base);
                        toRead.push_back(base);
                    }
                }
            }
            while (!whole && !toRead.empty()) {
                const std::size_t k = toRead.back();
                toRead.pop_back();
                Node &peripheral = peripherals.at(k);
                if (!peripheral.registersSkipped)
                    continue;
                if (!alone || !readSkippedRegisters(xml, offsets, peripheral, described)) {
                    whole = true;
                    break;
                }
                setParents(peripheral.children, &peripheral);
                peripheral.unwanted = false;
                pending.push_back(k);
            }
        }
        if (whole) {
            diagnostics = Diagnostics();
            peripherals = readTree(xml, true, nullptr, nullptr, diagnostics, described).peripherals;
        }
    }
    if (diagnostics.error.isEmpty()) {
        ModelBuilder builder(&registers, described);
        Resolver(peripherals, diagnostics, true).run(builder, device);
    }
    if (!diagnostics.error.isEmpty()) {
        registers.registers.clear();
        registers.peripherals.clear();
        registers.error = diagnostics.error;
        registers.line = diagnostics.line;
        registers.column = diagnostics.column;
        return registers;
    }
    registers.notes = diagnostics.notes;
    return registers;
}
