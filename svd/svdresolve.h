// SPDX-License-Identifier: MIT
// The resolution of a description's elements: derivedFrom at every level (by name or dotted path,
// looked up through indexes), dim arrays, nested clusters, the register properties inherited from
// the device down, and enumerated values with their derivedFrom. It walks every register instance
// once, handing each to a consumer.
#pragma once

#include "svdlimits.h"
#include "svdmodel.h"
#include "svdreader.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace svd {

// The indices of an array: a list, a decimal range or a range of capital letters; or 0 … dim−1.
struct Indices
{
    QStringList list;
    qint64 first = 0;
    qint64 count = 1;
    bool letters = false;
    bool array = false; // whether the element is an array at all

    QString at(qint64 k) const;
    // The characters an index takes at most.
    qsizetype longest() const;
};

// Why a name cannot be part of a register's name or be a label, or an empty text. The settings
// class takes '/' and '\' for group separators, so such a label would come back as another one.
QString nameProblem(const QString &name);
// Whether the element is a field named "reserved" (in any case), which a description leaves out
// of its register's meaning: its bits are no field's.
bool isReserved(const Node &field);

// Where the registers of an element instance lie and what they inherit (when placed).
struct Scope
{
    quint64 address = 0;
    Properties properties;
    bool placed = true; // false when its address cannot be read: the element is left out
};

class Resolver;

// What is made of each register instance the walk reaches.
class RegisterConsumer
{
public:
    virtual ~RegisterConsumer() = default;
    // A register instance, named PERIPHERAL.REGISTER (with clusters between), in file order.
    virtual void registerInstance(Resolver &resolver, const QString &name, const Node &reg,
                                  const Scope &scope) = 0;
    // Around the registers of each peripheral instance.
    virtual void peripheralStart(const QString &name, const Node &peripheral, const Scope &scope)
    {
        Q_UNUSED(name);
        Q_UNUSED(peripheral);
        Q_UNUSED(scope);
    }
    virtual void peripheralEnd() { }
};

// Walks the element tree. A placed walk reads the address and the inherited properties of every
// instance (the tree read with detail), leaving out what cannot be placed; an unplaced one names
// the instances only.
class Resolver
{
public:
    Resolver(const std::vector<Node> &peripherals, Diagnostics &diagnostics, bool placed);
    void run(RegisterConsumer &consumer, const Properties &device = {});

    // Where a field's instances lie: its position, its array indices and their step. An array
    // that steps upwards ends where it reaches bit `bits`.
    struct FieldInstances
    {
        const Node *position = nullptr;
        Indices indices;
        qint64 step = 0;
        qint64 count = 0;
    };
    // False when the field is left out of the register owner (reserved, or said), or when its
    // instances pass the expansion budget (then stopped()).
    bool fieldInstances(const Node &field, const QString &owner, int bits, FieldInstances *out);
    // The children of node, or those of what it derives from when it has none.
    const std::vector<Node> &childrenOf(const Node &node);
    // Counts what an expansion costs against maxSvdExpansion; false past it (the error is set).
    bool spend(qint64 cost, const Node &at);
    bool stopped() const { return halted; }
    void note(const QString &subject, const QString &why, const Node &at)
    {
        note(subject, why, at.line);
    }
    void note(const QString &subject, const QString &why, qint64 line);

    // The first text that get gives along the element's derivation.
    template<typename Get>
    QString derivedText(const Node &node, Get get)
    {
        const Node *from = &node;
        for (int k = 0; from && k <= maxDerivation; ++k) {
            if (from->detail) {
                QString text = get(*from->detail);
                if (!text.isEmpty())
                    return text;
            }
            from = base(*from);
        }
        return {};
    }
    // A number of the register's properties, or nothing when missing or unreadable (said).
    std::optional<quint64> modelNumber(const QString &text, const QString &what,
                                       const QString &subject, const Node &at);
    // The field's enumerated-value containers with their derivedFrom resolved; made once for
    // each field element, however many register instances share it.
    QList<SvdEnumeration> enumerationsOf(const Node &field, const QString &subject, int width);

private:
    // The first two children of each kind that bear a name, in file order.
    struct Named
    {
        std::array<const Node *, 8> first {};
    };
    const QHash<QString, Named> &childIndex(const Node &parent);
    const QHash<QString, const EnumerationNode *> &enumerationIndex(const Node &scope);
    const Node *base(const Node &node);
    const Node *lookUpBase(const Node &node);
    const Node *find(const Node &parent, const QString &name, Kind kind, const Node *except);
    const Node *findPath(const Node *from, const QList<QStringView> &path, Kind kind);
    const Node &positionOf(const Node &field);
    bool indicesOf(const Node &node, const QString &subject, Indices *indices);
    // The same without the note: what is wrong with the node's indices, or nothing.
    QString indicesProblem(const Node &node, Indices *indices);
    void expand(const std::vector<Node> &nodes, const QString &prefix, int depth,
                const Scope &scope);
    Properties propertiesOf(const Node &node);
    Scope instanceScope(const Node &node, const Scope &outer, qint64 k, const QString &subject);
    const EnumerationNode *findEnumeration(const Node &owner, const QString &derivedFrom);

    const std::vector<Node> &peripherals;
    Diagnostics &diagnostics;
    const bool placed;
    RegisterConsumer *consumer = nullptr;
    QHash<QString, const Node *> peripheralByName;
    QSet<const Node *> unresolved; // said once each
    QSet<const Node *> unplaced; // elements whose address cannot be read, said once each
    qint64 spent = 0;
    qint64 unsaid = 0; // lines beyond maxSkippedLines
    bool halted = false;
    // Each field element's containers, resolved once however many register instances it has.
    QHash<const Node *, QList<SvdEnumeration>> enumerationCache;
    // Names looked up through indexes made once each, so that no lookup walks a list.
    QHash<const Node *, QHash<QString, Named>> childIndexes;
    QHash<const Node *, QHash<QString, const EnumerationNode *>> enumerationIndexes;
    QHash<const Node *, const Node *> bases;
};

} // namespace svd
