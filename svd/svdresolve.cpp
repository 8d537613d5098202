// SPDX-License-Identifier: MIT
// The resolution of a description's elements: derivations, arrays, clusters and inheritance.
#include "svdresolve.h"

#include "svdnumber.h"

#include <algorithm>

namespace {

using namespace svd;

// Why the indices cannot be used, or an empty text.
QString readIndices(const Node &node, Indices *indices)
{
    if (node.dim < 0 && node.dimIndex.isEmpty())
        return {};
    indices->array = true;
    if (node.dimIndex.isEmpty()) {
        indices->count = node.dim;
        return node.dim == 0 ? QStringLiteral("dim 0 gives no instance") : QString();
    }
    const QString text = node.dimIndex.trimmed();
    const qsizetype dash = text.indexOf(u'-');
    if (dash > 0 && !text.contains(u',')) {
        const QStringView low = QStringView(text).left(dash).trimmed();
        const QStringView high = QStringView(text).mid(dash + 1).trimmed();
        const auto isLetter = [](QStringView s) {
            return s.size() == 1 && s.front() >= u'A' && s.front() <= u'Z';
        };
        if (isLetter(low) && isLetter(high)) {
            indices->letters = true;
            indices->first = low.front().unicode();
            indices->count = high.front().unicode() - indices->first + 1;
        } else {
            bool lowOk = false;
            bool highOk = false;
            indices->first = low.toLongLong(&lowOk);
            const qint64 last = high.toLongLong(&highOk);
            if (!lowOk || !highOk || indices->first < 0 || last > maxNumber)
                return QStringLiteral("dimIndex %1 is no range").arg(quoted(node.dimIndex));
            indices->count = last - indices->first + 1;
        }
        if (indices->count < 1)
            return QStringLiteral("dimIndex %1 runs backwards").arg(quoted(node.dimIndex));
        return {};
    }
    for (const QStringView index : QStringView(text).split(u',')) {
        const QStringView trimmed = index.trimmed();
        if (trimmed.isEmpty())
            return QStringLiteral("dimIndex %1 has an empty index").arg(quoted(node.dimIndex));
        indices->list.append(trimmed.toString());
    }
    indices->count = indices->list.size();
    return {};
}

} // namespace

namespace svd {

QString Indices::at(qint64 k) const
{
    if (!list.isEmpty())
        return list.at(k);
    if (letters)
        return QString(QChar(char16_t(first + k)));
    return QString::number(first + k);
}

qsizetype Indices::longest() const
{
    if (!array)
        return 0;
    if (list.isEmpty())
        return letters ? 1 : QString::number(first + count - 1).size();
    qsizetype most = 0;
    for (const QString &index : list)
        most = qMax(most, index.size());
    return most;
}

QString nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("no name");
    if (name.contains(u'/') || name.contains(u'\\'))
        return QStringLiteral("the name %1 holds '/' or '\\', which a label file reads as a group")
                .arg(quoted(name));
    return {};
}

bool isReserved(const Node &field)
{
    return field.kind == Kind::Field
            && field.name.compare(QLatin1String("reserved"), Qt::CaseInsensitive) == 0;
}

Resolver::Resolver(const std::vector<Node> &peripherals, Diagnostics &diagnostics, bool placed)
    : peripherals(peripherals), diagnostics(diagnostics), placed(placed)
{
    for (const Node &peripheral : peripherals) {
        if (!peripheralByName.contains(peripheral.name))
            peripheralByName.insert(peripheral.name, &peripheral);
    }
}

void Resolver::note(const QString &subject, const QString &why, qint64 line)
{
    // Beyond a screenful of screenfuls nobody reads them, and a large array would otherwise
    // cost more in these lines than in its sets.
    if (diagnostics.notes.size() < maxSkippedLines)
        diagnostics.notes.append(QStringLiteral("%1: %2 (line %3)").arg(subject, why).arg(line));
    else
        ++unsaid;
}

bool Resolver::fieldInstances(const Node &field, const QString &owner, int bits,
                              FieldInstances *out)
{
    if (isReserved(field))
        return false;
    const Node &position = positionOf(field);
    QString problem = field.problem.isEmpty() ? position.problem : field.problem;
    if (problem.isEmpty() && position.lsb < 0)
        problem = QStringLiteral("no bit position");
    if (!problem.isEmpty()) {
        note(owner, QStringLiteral("field %1: %2; left out").arg(quoted(field.name), problem),
             field);
        return false;
    }
    // The field's name with its owner's is made only for a note.
    if (const QString why = indicesProblem(field, &out->indices); !why.isEmpty()) {
        note(owner + u'.' + field.name, why + QStringLiteral("; left out"), field);
        return false;
    }
    out->position = &position;
    out->step = field.dimIncrement >= 0 ? field.dimIncrement : position.width;
    out->count = out->indices.count;
    if (out->step > 0)
        out->count = qMin(
                out->count,
                position.lsb >= bits ? 1 : (bits - position.lsb + out->step - 1) / out->step + 1);
    // An array that does not step lays every instance on the bits of its first.
    if (out->step == 0 && out->count > 1) {
        note(owner,
             QStringLiteral("field %1: instances %2 … %3 lie on the bits of instance %4 "
                            "(dimIncrement 0); left out")
                     .arg(quoted(field.name), out->indices.at(1), out->indices.at(out->count - 1),
                          out->indices.at(0)),
             field);
        out->count = 1;
    }
    return spend(out->count * (svdInstanceCost + field.name.size() + out->indices.longest()),
                 field);
}

bool Resolver::spend(qint64 cost, const Node &at)
{
    if (halted)
        return false;
    spent += cost;
    if (spent <= maxSvdExpansion)
        return true;
    halted = true;
    diagnostics.error = QStringLiteral("the arrays make more names and labels than any device has "
                                       "(over %1 characters, each name or label counting %2 more)")
                                .arg(maxSvdExpansion)
                                .arg(svdInstanceCost);
    diagnostics.line = at.line;
    diagnostics.column = 1;
    return false;
}

const QHash<QString, Resolver::Named> &Resolver::childIndex(const Node &parent)
{
    const auto made = childIndexes.constFind(&parent);
    if (made != childIndexes.cend())
        return *made;
    QHash<QString, Named> index;
    for (const Node &child : parent.children) {
        Named &named = index[child.name];
        const auto slot = std::size_t(child.kind) * 2;
        if (!named.first.at(slot))
            named.first.at(slot) = &child;
        else if (!named.first.at(slot + 1))
            named.first.at(slot + 1) = &child;
    }
    return *childIndexes.insert(&parent, index);
}

// The first container of each name in the fields under scope, in file order.
const QHash<QString, const EnumerationNode *> &Resolver::enumerationIndex(const Node &scope)
{
    const auto made = enumerationIndexes.constFind(&scope);
    if (made != enumerationIndexes.cend())
        return *made;
    QHash<QString, const EnumerationNode *> index;
    std::vector<const Node *> pending { &scope };
    while (!pending.empty()) {
        const Node *node = pending.back();
        pending.pop_back();
        if (node->kind == Kind::Field && node->detail) {
            for (const EnumerationNode &e : node->detail->enumerations) {
                if (!e.name.isEmpty() && !index.contains(e.name))
                    index.insert(e.name, &e);
            }
        }
        for (auto child = node->children.crbegin(); child != node->children.crend(); ++child)
            pending.push_back(&*child);
    }
    return *enumerationIndexes.insert(&scope, index);
}

const Node *Resolver::find(const Node &parent, const QString &name, Kind kind, const Node *except)
{
    const QHash<QString, Named> &index = childIndex(parent);
    const auto named = index.constFind(name);
    if (named == index.cend())
        return nullptr;
    const auto slot = std::size_t(kind) * 2;
    const Node *first = named->first.at(slot);
    return first != except ? first : named->first.at(slot + 1);
}

// A dotted path down from a peripheral (from == nullptr) or from the given element.
const Node *Resolver::findPath(const Node *from, const QList<QStringView> &path, Kind kind)
{
    qsizetype k = 0;
    if (!from) {
        from = peripheralByName.value(path.front().toString());
        k = 1;
    }
    for (; from && k < path.size(); ++k) {
        const bool last = k + 1 == path.size();
        const QHash<QString, Named> &index = childIndex(*from);
        const auto named = index.constFind(path.at(k).toString());
        if (named == index.cend())
            return nullptr;
        const Node *next = nullptr;
        if (last) {
            next = named->first.at(std::size_t(kind) * 2);
        } else if (kind != Kind::Field) {
            next = named->first.at(std::size_t(Kind::Cluster) * 2);
        } else {
            // On the way to a field any element leads on: the first in the file.
            for (std::size_t slot = 0; slot < named->first.size(); slot += 2) {
                const Node *candidate = named->first.at(slot);
                if (candidate && (!next || candidate < next))
                    next = candidate;
            }
        }
        from = next;
    }
    return from && from->kind == kind ? from : nullptr;
}

// The element that node is derived from, or nullptr; looked up once.
const Node *Resolver::base(const Node &node)
{
    if (node.derivedFrom.isEmpty())
        return nullptr;
    const auto known = bases.constFind(&node);
    if (known != bases.cend())
        return *known;
    const Node *found = lookUpBase(node);
    bases.insert(&node, found);
    return found;
}

// A plain name is looked for beside the element (among the peripherals for a peripheral); a
// dotted one from a peripheral down, or else from the element's own peripheral.
const Node *Resolver::lookUpBase(const Node &node)
{
    const Node *found = nullptr;
    if (node.kind == Kind::Peripheral) {
        found = peripheralByName.value(node.derivedFrom);
    } else if (!node.derivedFrom.contains(u'.')) {
        found = find(*node.parent, node.derivedFrom, node.kind, &node);
    } else {
        const QList<QStringView> path = QStringView(node.derivedFrom).split(u'.');
        found = findPath(nullptr, path, node.kind);
        if (!found) {
            const Node *top = &node;
            while (top->parent)
                top = top->parent;
            found = findPath(top, path, node.kind);
        }
    }
    // What holds the element cannot also be its content.
    bool holds = false;
    for (const Node *up = &node; up && found; up = up->parent)
        holds = holds || up == found;
    if ((!found || holds) && !unresolved.contains(&node)) {
        unresolved.insert(&node);
        note(node.name,
             QStringLiteral("derivedFrom %1 names %2; only its own content is used")
                     .arg(quoted(node.derivedFrom),
                          holds ? QStringLiteral("itself or what holds it")
                                : QStringLiteral("no such element")),
             node);
    }
    return holds ? nullptr : found;
}

const std::vector<Node> &Resolver::childrenOf(const Node &node)
{
    const Node *from = &node;
    for (int k = 0; k < maxDerivation && from->children.empty(); ++k) {
        const Node *next = base(*from);
        if (!next)
            break;
        from = next;
    }
    return from->children;
}

// The field that gives field its position (itself unless it has none and derives one).
const Node &Resolver::positionOf(const Node &field)
{
    const Node *from = &field;
    for (int k = 0; k < maxDerivation && from->lsb < 0 && from->problem.isEmpty(); ++k) {
        const Node *next = base(*from);
        if (!next)
            break;
        from = next;
    }
    return *from;
}

// The array indices of node, its own or derived when its name asks for them with %s; false when
// they cannot be used (said).
bool Resolver::indicesOf(const Node &node, const QString &subject, Indices *indices)
{
    const QString problem = indicesProblem(node, indices);
    if (!problem.isEmpty()) {
        note(subject, problem + QStringLiteral("; left out"), node);
        return false;
    }
    return true;
}

QString Resolver::indicesProblem(const Node &node, Indices *indices)
{
    const Node *from = &node;
    if (node.name.contains(QLatin1String("%s"))) {
        for (int k = 0; k < maxDerivation && from->dim < 0 && from->dimIndex.isEmpty(); ++k) {
            const Node *next = base(*from);
            if (!next)
                break;
            from = next;
        }
        if (from->dim < 0 && from->dimIndex.isEmpty())
            from = &node;
    }
    return readIndices(*from, indices);
}

void Resolver::expand(const std::vector<Node> &nodes, const QString &prefix, int depth,
                      const Scope &scope)
{
    for (const Node &node : nodes) {
        if (node.kind == Kind::Field || node.unwanted)
            continue;
        const QString subject = prefix.isEmpty() ? node.name : prefix + u'.' + node.name;
        if (!node.problem.isEmpty()) {
            note(subject, node.problem + QStringLiteral("; left out"), node);
            continue;
        }
        Indices indices;
        if (!indicesOf(node, subject, &indices))
            continue;
        // The whole array at once: an array too large fails before any of it is built.
        if (!spend(indices.count
                           * (svdInstanceCost + prefix.size() + 1 + node.name.size()
                              + indices.longest()),
                   node))
            return;
        for (qint64 k = 0; k < indices.count && !halted; ++k) {
            QString name = node.name;
            if (indices.array)
                name.replace(QLatin1String("%s"), indices.at(k));
            const QString full = prefix.isEmpty() ? name : prefix + u'.' + name;
            const QString problem = nameProblem(name);
            if (!problem.isEmpty()) {
                note(full, problem + QStringLiteral("; left out"), node);
                continue;
            }
            const Scope inner = placed ? instanceScope(node, scope, k, full) : Scope();
            if (!inner.placed)
                continue;
            if (node.kind == Kind::Register) {
                consumer->registerInstance(*this, full, node, inner);
                continue;
            }
            const std::vector<Node> &children = childrenOf(node);
            if (children.empty())
                note(full, QStringLiteral("no registers"), node);
            // A cluster derived from one that holds it would hold itself without end.
            if (depth >= maxClusterDepth) {
                note(full,
                     QStringLiteral("nested deeper than %1 clusters; left out")
                             .arg(maxClusterDepth),
                     node);
            } else if (node.kind == Kind::Peripheral) {
                consumer->peripheralStart(full, node, inner);
                expand(children, full, depth + 1, inner);
                consumer->peripheralEnd();
            } else {
                expand(children, full, depth + 1, inner);
            }
        }
    }
}

void Resolver::run(RegisterConsumer &consumer, const Properties &device)
{
    this->consumer = &consumer;
    Scope top;
    top.properties = device;
    expand(peripherals, QString(), 0, top);
    if (unsaid > 0)
        diagnostics.notes.append(QStringLiteral("… and %1 more lines like these").arg(unsaid));
}

Properties Resolver::propertiesOf(const Node &node)
{
    Properties properties;
    const Node *from = &node;
    for (int k = 0; from && k <= maxDerivation; ++k) {
        if (from->detail)
            properties.inherit(from->detail->properties);
        from = base(*from);
    }
    return properties;
}

Scope Resolver::instanceScope(const Node &node, const Scope &outer, qint64 k,
                              const QString &subject)
{
    Scope scope;
    scope.properties = propertiesOf(node);
    scope.properties.inherit(outer.properties);
    const QString address = derivedText(node, [](const Detail &d) { return d.address; });
    quint64 offset = 0;
    if (!address.trimmed().isEmpty() && !parseSvdNumber(address, &offset)) {
        // An address is never guessed: the element would show at another's.
        scope.placed = false;
        if (!unplaced.contains(&node)) {
            unplaced.insert(&node);
            note(subject,
                 QStringLiteral("<%1> %2 is no number; left out")
                         .arg(node.kind == Kind::Peripheral ? QLatin1String("baseAddress")
                                                            : QLatin1String("addressOffset"),
                              quoted(address.trimmed())),
                 node);
        }
        return scope;
    }
    qint64 increment = node.dimIncrement;
    // Bounded as every walk along derivedFrom: the chain may be a cycle.
    const Node *from = base(node);
    for (int d = 0; d < maxDerivation && increment < 0 && from; ++d, from = base(*from))
        increment = from->dimIncrement;
    // Addresses wrap as the bus would; a description that makes them wrap is wrong anyway.
    scope.address = outer.address + offset + quint64(qMax<qint64>(increment, 0)) * quint64(k);
    return scope;
}

std::optional<quint64> Resolver::modelNumber(const QString &text, const QString &what,
                                             const QString &subject, const Node &at)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    quint64 value = 0;
    if (parseSvdNumber(text, &value))
        return value;
    note(subject,
         QStringLiteral("<%1> %2 is no number; taken as missing").arg(what, quoted(text.trimmed())),
         at);
    return std::nullopt;
}

// The container that derivedFrom names: a plain name among the field's own containers, then its
// register's fields', then anywhere in its peripheral; a dotted one as FIELDPATH.NAME, the path
// taken from a peripheral down, else from the field's register, cluster … or peripheral.
const EnumerationNode *Resolver::findEnumeration(const Node &owner, const QString &derivedFrom)
{
    const auto named = [](const Node &field, QStringView name) -> const EnumerationNode * {
        if (!field.detail)
            return nullptr;
        for (const EnumerationNode &e : field.detail->enumerations) {
            if (e.name == name && !e.name.isEmpty())
                return &e;
        }
        return nullptr;
    };
    const qsizetype dot = derivedFrom.lastIndexOf(u'.');
    if (dot > 0) {
        const QList<QStringView> path = QStringView(derivedFrom).left(dot).split(u'.');
        const QStringView name = QStringView(derivedFrom).mid(dot + 1);
        const Node *field = findPath(nullptr, path, Kind::Field);
        for (const Node *up = owner.parent; up && !field; up = up->parent)
            field = findPath(up, path, Kind::Field);
        return field ? named(*field, name) : nullptr;
    }
    if (const EnumerationNode *e = named(owner, derivedFrom))
        return e;
    const Node *top = &owner;
    while (top->parent)
        top = top->parent;
    for (const Node *scope : { owner.parent, top }) {
        if (!scope)
            continue;
        const QHash<QString, const EnumerationNode *> &index = enumerationIndex(*scope);
        if (const EnumerationNode *e = index.value(derivedFrom))
            return e;
    }
    return nullptr;
}

QList<SvdEnumeration> Resolver::enumerationsOf(const Node &field, const QString &subject, int width)
{
    if (const auto cached = enumerationCache.constFind(&field); cached != enumerationCache.cend())
        return *cached;
    const Node *from = &field;
    for (int k = 0; k < maxDerivation && from->detail && from->detail->enumerations.empty(); ++k) {
        const Node *next = base(*from);
        if (!next)
            break;
        from = next;
    }
    QList<SvdEnumeration> out;
    if (!from->detail)
        return out;
    for (const EnumerationNode &own : from->detail->enumerations) {
        const EnumerationNode *source = &own;
        for (int k = 0;
             k < maxDerivation && source->values.empty() && !source->derivedFrom.isEmpty(); ++k) {
            const EnumerationNode *next = findEnumeration(*from, source->derivedFrom);
            if (!next || next == source) {
                note(subject,
                     QStringLiteral("enumeratedValues derivedFrom %1 names no such "
                                    "enumeratedValues; left out")
                             .arg(quoted(source->derivedFrom)),
                     *from);
                break;
            }
            source = next;
        }
        SvdEnumeration enumeration;
        enumeration.name = own.name.isEmpty() ? source->name : own.name;
        enumeration.usage = !own.usage.isEmpty() ? own.usage
                : !source->usage.isEmpty()       ? source->usage
                                                 : QStringLiteral("read-write");
        for (const EnumeratedValueNode &value : source->values) {
            SvdEnumeratedValue entry;
            entry.name = value.name;
            entry.isDefault = value.isDefault;
            if (!value.isDefault && !parseSvdValue(value.value, &entry.value, &entry.care)) {
                note(subject,
                     QStringLiteral("enumerated value %1: the value %2 is no number; left out")
                             .arg(quoted(value.name), quoted(value.value)),
                     value.line);
                continue;
            }
            // A value the field cannot hold would be composed cut short and never read back.
            if (!value.isDefault && width < 64 && ((entry.value & entry.care) >> width) != 0) {
                note(subject,
                     QStringLiteral("enumerated value %1: the value %2 does not fit the field's "
                                    "%3 bits; left out")
                             .arg(quoted(value.name), quoted(value.value))
                             .arg(width),
                     value.line);
                continue;
            }
            enumeration.values.append(entry);
        }
        if (!enumeration.values.isEmpty())
            out.append(enumeration);
    }
    enumerationCache.insert(&field, out);
    return out;
}

} // namespace svd
