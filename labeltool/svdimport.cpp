// SPDX-License-Identifier: MIT
// Reading a CMSIS-SVD device description as label sets: the element tree, then its expansion.
#include "svdimport.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Deeper clusters than this are left out: no device nests them so, and the reader and the
// expansion recurse once per level.
constexpr int maxClusterDepth = 32;
// A longer derivedFrom chain is taken for a circular one.
constexpr int maxDerivation = 8;
// Beyond this a number is no bit position, array size or index any description could mean.
constexpr qint64 maxNumber = qint64(1) << 40;
constexpr qsizetype maxSkippedLines = 10000;
// What the entities of a document's own DTD may expand to, all references together, in
// characters: no description needs more, and a few bytes of references to a long entity would
// otherwise cost gigabytes of text that nothing reads.
constexpr qint64 maxEntityExpansion = qint64(4) * 1024 * 1024;
// What one reference may expand to (the reader refuses more), nested references included.
constexpr int maxEntityLength = 4096;

enum class Kind { Peripheral, Cluster, Register, Field };

// What the register values need beyond the labels, read only for them: the text as written,
// numbers being read when they are used.
struct EnumeratedValueNode
{
    QString name;
    QString description;
    QString value;
    bool isDefault = false;
    qint64 line = 0;
};

struct EnumerationNode
{
    QString name;
    QString usage;
    QString derivedFrom;
    std::vector<EnumeratedValueNode> values;
    qint64 line = 0;
};

// The register properties an element gives its registers (or a register itself).
struct Properties
{
    QString size;
    QString access;
    QString resetValue;
    QString resetMask;

    void inherit(const Properties &outer)
    {
        for (auto member : { &Properties::size, &Properties::access, &Properties::resetValue,
                             &Properties::resetMask }) {
            if ((this->*member).isEmpty())
                this->*member = outer.*member;
        }
    }
};

struct Detail
{
    QString description;
    QString address; // baseAddress of a peripheral, addressOffset of a cluster or register
    QString modifiedWriteValues;
    QString readAction;
    Properties properties;
    std::vector<EnumerationNode> enumerations;
};

// What an element of the description says that matters for labels. Numbers not given are -1;
// a number given but unreadable is said in problem, and the element is then left out.
struct Node
{
    Kind kind = Kind::Peripheral;
    QString name;
    QString derivedFrom;
    QString dimIndex;
    qint64 dim = -1;
    qint64 dimIncrement = -1;
    qint64 lsb = -1; // the field's position, from whichever form gave it
    qint64 width = -1;
    QString problem;
    qint64 line = 0;
    const Node *parent = nullptr; // the peripheral, cluster or register that holds it
    std::vector<Node> children; // registers and clusters of a peripheral or cluster; fields
    std::unique_ptr<Detail> detail; // only when the register values are read
    bool unwanted = false; // a peripheral whose registers are not asked for
    bool registersSkipped = false; // and were not read
    // Where the content of the <registers> passed by lies: UTF-16 offsets after its start tag
    // and after its end tag, and the line of its start tag.
    qint64 registersFrom = -1;
    qint64 registersTo = -1;
    qint64 registersLine = 0;
};

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

// A number of the description, within maxNumber (see parseSvdNumber).
std::optional<qint64> parseNumber(QStringView text)
{
    quint64 value = 0;
    if (!parseSvdNumber(text, &value) || value > quint64(maxNumber))
        return std::nullopt;
    return qint64(value);
}

// The indices of an array: a list, a decimal range or a range of capital letters; or 0 … dim−1.
struct Indices
{
    QStringList list;
    qint64 first = 0;
    qint64 count = 1;
    bool letters = false;
    bool array = false; // whether the element is an array at all

    QString at(qint64 k) const
    {
        if (!list.isEmpty())
            return list.at(k);
        if (letters)
            return QString(QChar(char16_t(first + k)));
        return QString::number(first + k);
    }
    // The characters an index takes at most.
    qsizetype longest() const
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
};

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

// Why a name cannot be part of a set name or be a label, or an empty text. The settings class
// takes '/' and '\' for group separators, so such a label would come back as another one.
QString nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("no name");
    if (name.contains(u'/') || name.contains(u'\\'))
        return QStringLiteral("the name %1 holds '/' or '\\', which a label file reads as a group")
                .arg(quoted(name));
    return {};
}

// The text case-folded. Names are ASCII nearly always, and for ASCII folding is lowering, which the
// toolkit's folding for all of Unicode takes many times as long for.
QString caseFolded(const QString &text)
{
    if (!std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toCaseFolded();
    QString folded = text;
    for (QChar &c : folded) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(char16_t(c.unicode() + 0x20));
    }
    return folded;
}

// Whether the element is a field named "reserved" (in any case), which a description leaves out
// of its register's meaning: its bits are no field's.
bool isReserved(const Node &field)
{
    return field.kind == Kind::Field
            && field.name.compare(QLatin1String("reserved"), Qt::CaseInsensitive) == 0;
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

// The encoding of a document that is not UTF-8, by its byte order mark, its first bytes
// ("<?" in a wider encoding) or its declaration; empty for UTF-8.
QByteArray foreignEncoding(const QByteArray &bytes)
{
    const auto starts = [&bytes](std::initializer_list<int> prefix) {
        qsizetype k = 0;
        for (const int b : prefix) {
            if (k >= bytes.size() || uchar(bytes.at(k)) != b)
                return false;
            ++k;
        }
        return true;
    };
    if (starts({ 0xEF, 0xBB, 0xBF }))
        return {};
    if (starts({ 0xFF, 0xFE, 0, 0 }) || starts({ 0x3C, 0, 0, 0 }))
        return QByteArrayLiteral("UTF-32LE");
    if (starts({ 0, 0, 0xFE, 0xFF }) || starts({ 0, 0, 0, 0x3C }))
        return QByteArrayLiteral("UTF-32BE");
    if (starts({ 0xFF, 0xFE }) || starts({ 0x3C, 0, 0x3F, 0 }))
        return QByteArrayLiteral("UTF-16LE");
    if (starts({ 0xFE, 0xFF }) || starts({ 0, 0x3C, 0, 0x3F }))
        return QByteArrayLiteral("UTF-16BE");
    if (!bytes.startsWith("<?xml"))
        return {};
    const qsizetype close = bytes.indexOf("?>");
    const QByteArray declaration = bytes.left(close < 0 ? 0 : close);
    const qsizetype at = declaration.indexOf("encoding");
    if (at < 0)
        return {};
    qsizetype open = at + 8;
    while (open < declaration.size() && declaration.at(open) != '"' && declaration.at(open) != '\'')
        ++open;
    const qsizetype end =
            open < declaration.size() ? declaration.indexOf(declaration.at(open), open + 1) : -1;
    if (end < 0)
        return {};
    const QByteArray name = declaration.mid(open + 1, end - open - 1).trimmed();
    const QByteArray lower = name.toLower();
    return lower == "utf-8" || lower == "utf8" ? QByteArray() : name;
}

// The document as UTF-8, with its declaration saying so, whatever it was written in: offsets into
// the text the reader reads are then offsets into these bytes. An encoding that cannot be decoded
// leaves the bytes as they are (and known false), for the XML reader to refuse or read.
QByteArray asUtf8(const QByteArray &bytes, bool *known)
{
    *known = true;
    const QByteArray encoding = foreignEncoding(bytes);
    if (encoding.isEmpty())
        return bytes;
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid()) {
        *known = false;
        return bytes;
    }
    QString text = decoder(bytes);
    if (decoder.hasError()) {
        *known = false;
        return bytes;
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    // The declaration's encoding is now UTF-8, on the same line.
    if (text.startsWith(QLatin1String("<?xml"))) {
        const qsizetype close = text.indexOf(QLatin1String("?>"));
        const qsizetype at =
                text.left(qMax<qsizetype>(close, 0)).indexOf(QLatin1String("encoding"));
        if (at > 0) {
            qsizetype open = at + 8;
            while (open < close && text.at(open) != u'"' && text.at(open) != u'\'')
                ++open;
            const qsizetype end = open < close ? text.indexOf(text.at(open), open + 1) : -1;
            if (end > open && end < close)
                text.replace(open + 1, end - open - 1, QStringLiteral("UTF-8"));
        }
    }
    return text.toUtf8();
}

// The elements of the description, read in one pass over its tokens.
class TreeReader
{
public:
    explicit TreeReader(const QByteArray &bytes) : xml(bytes), bytes(bytes)
    {
        xml.setEntityExpansionLimit(maxEntityLength);
    }
    // Reads the detail of the register values too, of the peripherals that wanted takes (all of
    // them without it) and those named in also.
    TreeReader(const QByteArray &bytes, SvdPeripheralFilter wanted, const void *context,
               const QSet<QString> &also)
        : xml(bytes), bytes(bytes), detailed(true), wanted(wanted), context(context), also(also)
    {
        xml.setEntityExpansionLimit(maxEntityLength);
    }

    // The peripherals, or an error set in import.
    std::vector<Node> read(SvdImport &import);
    // Reads a <registers> element alone into the peripheral, its first line being the given one
    // of the whole file; false when it cannot be read alone.
    bool readRegistersAlone(Node &peripheral, qint64 firstLine, SvdImport &import);
    const Properties &deviceProperties() const { return device; }

private:
    bool readDetail(Node &node, QStringView tag);
    void readEnumeration(Node &node);
    bool skipsRegisters(const Node &peripheral) const
    {
        return detailed && wanted && !peripheral.name.isEmpty() && !also.contains(peripheral.name)
                && !wanted(peripheral.name, context);
    }

    bool nextChild();
    QString text() { return xml.readElementText(QXmlStreamReader::SkipChildElements); }
    qint64 number(Node &node, QLatin1String what);
    void readNode(Node &node, int depth, SvdImport &import);
    void readRegisters(Node &node, int depth, SvdImport &import);
    bool readDeviceProperty(QStringView tag);
    qint64 line() const { return xml.lineNumber() + lineOffset; }
    void fail(SvdImport &import, const QString &error, qint64 line, qint64 column);

    bool boundEntities();

public:
    bool sawDtd() const { return hasDtd; }

private:
    QXmlStreamReader xml;
    const QByteArray &bytes;
    bool detailed = false;
    SvdPeripheralFilter wanted = nullptr;
    const void *context = nullptr;
    QSet<QString> also;
    Properties device;
    qint64 lineOffset = 0;
    bool hasDtd = false; // a document type declaration, whose entities a part read alone lacks
};

// Reads up to the next child element of the current one (true) or past its end (false).
bool TreeReader::nextChild()
{
    for (;;) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
        case QXmlStreamReader::EndDocument:
        case QXmlStreamReader::Invalid:
            return false;
        case QXmlStreamReader::DTD:
            hasDtd = true;
            if (!boundEntities())
                return false;
            break;
        default:
            break;
        }
    }
}

// Whether the references to the entities the DTD declares expand to no more than
// maxEntityExpansion characters in all, counted before any is expanded: every reference in the
// text counts the entity's length, at most what one reference may expand to (its own references
// included). Otherwise the reader is stopped with that error.
bool TreeReader::boundEntities()
{
    const QXmlStreamEntityDeclarations declarations = xml.entityDeclarations();
    if (declarations.isEmpty())
        return true;
    QHash<QByteArray, qint64> lengths;
    for (const QXmlStreamEntityDeclaration &declaration : declarations) {
        const QStringView value = declaration.value();
        const qint64 length = value.contains(u'&') ? maxEntityLength
                                                   : qMin<qint64>(value.size(), maxEntityLength);
        lengths.insert(declaration.name().toUtf8(), length);
    }
    qint64 total = 0;
    const char *const begin = bytes.constData();
    const char *const end = begin + bytes.size();
    for (const char *at = begin;
         (at = static_cast<const char *>(std::memchr(at, '&', std::size_t(end - at))));) {
        ++at;
        const char *const semicolon =
                static_cast<const char *>(std::memchr(at, ';', std::size_t(end - at)));
        if (!semicolon)
            break;
        // Names are short; a longer run is no reference.
        if (semicolon - at > 256)
            continue;
        total += lengths.value(QByteArray::fromRawData(at, semicolon - at), 0);
        if (total > maxEntityExpansion) {
            xml.raiseError(QStringLiteral("the entities of the DTD expand to more than %1 "
                                          "characters")
                                   .arg(maxEntityExpansion));
            return false;
        }
    }
    return true;
}

qint64 TreeReader::number(Node &node, QLatin1String what)
{
    const QString value = text();
    if (const std::optional<qint64> n = parseNumber(value))
        return *n;
    if (node.problem.isEmpty())
        node.problem = QStringLiteral("<%1> %2 is no number").arg(what, quoted(value.trimmed()));
    return -1;
}

void TreeReader::readNode(Node &node, int depth, SvdImport &import)
{
    node.line = line();
    node.derivedFrom = xml.attributes().value(QLatin1String("derivedFrom")).trimmed().toString();
    if (detailed)
        node.detail = std::make_unique<Detail>();
    qint64 msb = -1;
    qint64 bitOffset = -1;
    qint64 bitWidth = -1;
    QString alternateGroup;
    while (nextChild()) {
        const QStringView tag = xml.name();
        if (tag == QLatin1String("name")) {
            node.name = text().trimmed();
        } else if (tag == QLatin1String("dim")) {
            node.dim = number(node, QLatin1String("dim"));
        } else if (tag == QLatin1String("dimIndex")) {
            node.dimIndex = text();
        } else if (node.kind == Kind::Peripheral && tag == QLatin1String("registers")) {
            // Still read as XML, which must be well-formed throughout, but nothing is kept.
            if (skipsRegisters(node)) {
                node.registersSkipped = true;
                node.registersLine = line();
                node.registersFrom = xml.characterOffset();
                xml.skipCurrentElement();
                node.registersTo = xml.characterOffset();
                continue;
            }
            readRegisters(node, depth, import);
        } else if (node.kind == Kind::Cluster
                   && (tag == QLatin1String("register") || tag == QLatin1String("cluster"))) {
            if (depth >= maxClusterDepth) {
                import.skipped.append(QStringLiteral("an element nested deeper than %1 clusters "
                                                     "is left out (line %2)")
                                              .arg(maxClusterDepth)
                                              .arg(line()));
                xml.skipCurrentElement();
                continue;
            }
            node.children.emplace_back().kind =
                    tag == QLatin1String("cluster") ? Kind::Cluster : Kind::Register;
            readNode(node.children.back(), depth + 1, import);
        } else if (node.kind == Kind::Register && tag == QLatin1String("fields")) {
            while (nextChild()) {
                if (xml.name() == QLatin1String("field")) {
                    node.children.emplace_back().kind = Kind::Field;
                    readNode(node.children.back(), depth + 1, import);
                } else {
                    xml.skipCurrentElement();
                }
            }
        } else if (node.kind == Kind::Register && tag == QLatin1String("alternateGroup")) {
            alternateGroup = text().trimmed();
        } else if (node.kind == Kind::Field && tag == QLatin1String("dimIncrement")) {
            node.dimIncrement = number(node, QLatin1String("dimIncrement"));
        } else if (node.kind == Kind::Field && tag == QLatin1String("bitOffset")) {
            bitOffset = number(node, QLatin1String("bitOffset"));
        } else if (node.kind == Kind::Field && tag == QLatin1String("bitWidth")) {
            bitWidth = number(node, QLatin1String("bitWidth"));
        } else if (node.kind == Kind::Field && tag == QLatin1String("lsb")) {
            node.lsb = number(node, QLatin1String("lsb"));
        } else if (node.kind == Kind::Field && tag == QLatin1String("msb")) {
            msb = number(node, QLatin1String("msb"));
        } else if (node.kind == Kind::Field && tag == QLatin1String("bitRange")) {
            const QString range = text().trimmed();
            const qsizetype colon = range.indexOf(u':');
            std::optional<qint64> high;
            std::optional<qint64> low;
            if (range.startsWith(u'[') && range.endsWith(u']') && colon > 0) {
                high = parseNumber(QStringView(range).mid(1, colon - 1));
                low = parseNumber(QStringView(range).mid(colon + 1).chopped(1));
            }
            if (high && low) {
                node.lsb = *low;
                msb = *high;
            } else if (node.problem.isEmpty()) {
                node.problem = QStringLiteral("<bitRange> %1 is not [msb:lsb]").arg(quoted(range));
            }
        } else if (!detailed || !readDetail(node, tag)) {
            xml.skipCurrentElement();
        }
    }
    // A register of an alternate group is named NAME_GROUP, so that it and the register it is
    // another view of (often of the same name) are both found; some vendors name it so already.
    if (!alternateGroup.isEmpty()
        && !node.name.endsWith(u'_' + alternateGroup, Qt::CaseInsensitive))
        node.name += u'_' + alternateGroup;
    if (node.kind != Kind::Field)
        return;
    // The three forms of a position, in the order of the schema.
    if (bitOffset >= 0) {
        node.lsb = bitOffset;
        node.width = bitWidth >= 0 ? bitWidth : 1;
    } else if (node.lsb >= 0 && msb >= 0) {
        node.width = msb - node.lsb + 1;
        if (msb < node.lsb && node.problem.isEmpty())
            node.problem = QStringLiteral("its msb is below its lsb");
    } else {
        node.lsb = -1;
    }
    if (node.lsb >= 0 && node.width == 0 && node.problem.isEmpty())
        node.problem = QStringLiteral("its width is 0");
}

// Whether the element was one of the register properties the device gives every register (and
// is then read).
bool TreeReader::readDeviceProperty(QStringView tag)
{
    QString *property = nullptr;
    if (tag == QLatin1String("size"))
        property = &device.size;
    else if (tag == QLatin1String("access"))
        property = &device.access;
    else if (tag == QLatin1String("resetValue"))
        property = &device.resetValue;
    else if (tag == QLatin1String("resetMask"))
        property = &device.resetMask;
    if (!property)
        return false;
    *property = text().trimmed();
    return true;
}

void TreeReader::readRegisters(Node &node, int depth, SvdImport &import)
{
    while (nextChild()) {
        const QStringView inner = xml.name();
        const bool isCluster = inner == QLatin1String("cluster");
        if (isCluster || inner == QLatin1String("register")) {
            node.children.emplace_back().kind = isCluster ? Kind::Cluster : Kind::Register;
            readNode(node.children.back(), depth + 1, import);
        } else {
            xml.skipCurrentElement();
        }
    }
}

bool TreeReader::readRegistersAlone(Node &peripheral, qint64 firstLine, SvdImport &import)
{
    lineOffset = firstLine - 1;
    if (!nextChild() || xml.name() != QLatin1String("registers"))
        return false;
    readRegisters(peripheral, 0, import);
    while (!xml.atEnd())
        xml.readNext();
    return !xml.hasError();
}

// Whether the element was one of the detail of register values (and is then read).
bool TreeReader::readDetail(Node &node, QStringView tag)
{
    Detail &detail = *node.detail;
    const bool isField = node.kind == Kind::Field;
    if (tag == QLatin1String("description")) {
        detail.description = text().simplified();
    } else if (tag
               == QLatin1String(node.kind == Kind::Peripheral ? "baseAddress" : "addressOffset")) {
        detail.address = text();
    } else if (tag == QLatin1String("access")) {
        detail.properties.access = text().trimmed();
    } else if (!isField && tag == QLatin1String("size")) {
        detail.properties.size = text();
    } else if (!isField && tag == QLatin1String("resetValue")) {
        detail.properties.resetValue = text();
    } else if (!isField && tag == QLatin1String("resetMask")) {
        detail.properties.resetMask = text();
    } else if (tag == QLatin1String("modifiedWriteValues")) {
        detail.modifiedWriteValues = text().trimmed();
    } else if (tag == QLatin1String("readAction")) {
        detail.readAction = text().trimmed();
    } else if (!isField && tag == QLatin1String("dimIncrement")) {
        node.dimIncrement = number(node, QLatin1String("dimIncrement"));
    } else if (isField && tag == QLatin1String("enumeratedValues")) {
        readEnumeration(node);
    } else {
        return false;
    }
    return true;
}

void TreeReader::readEnumeration(Node &node)
{
    EnumerationNode &enumeration = node.detail->enumerations.emplace_back();
    enumeration.line = line();
    enumeration.derivedFrom =
            xml.attributes().value(QLatin1String("derivedFrom")).trimmed().toString();
    while (nextChild()) {
        const QStringView tag = xml.name();
        if (tag == QLatin1String("name")) {
            enumeration.name = text().trimmed();
        } else if (tag == QLatin1String("usage")) {
            enumeration.usage = text().trimmed();
        } else if (tag == QLatin1String("enumeratedValue")) {
            EnumeratedValueNode &value = enumeration.values.emplace_back();
            value.line = line();
            while (nextChild()) {
                const QStringView inner = xml.name();
                if (inner == QLatin1String("name"))
                    value.name = text().trimmed();
                else if (inner == QLatin1String("description"))
                    value.description = text().simplified();
                else if (inner == QLatin1String("value"))
                    value.value = text().trimmed();
                else if (inner == QLatin1String("isDefault"))
                    value.isDefault =
                            QStringList { QStringLiteral("true"), QStringLiteral("1") }.contains(
                                    text().trimmed());
                else
                    xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
}

void TreeReader::fail(SvdImport &import, const QString &error, qint64 line, qint64 column)
{
    import.error = error;
    import.line = line;
    import.column = column;
}

void setParents(std::vector<Node> &nodes, const Node *parent)
{
    for (Node &node : nodes) {
        node.parent = parent;
        setParents(node.children, &node);
    }
}

std::vector<Node> TreeReader::read(SvdImport &import)
{
    std::vector<Node> peripherals;
    const auto xmlError = [&] {
        // The reader stops just after the character it could not take.
        fail(import, xml.errorString(), xml.lineNumber(), qMax<qint64>(xml.columnNumber(), 1));
        return std::vector<Node>();
    };
    if (!nextChild()) {
        if (xml.hasError())
            return xmlError();
        fail(import, QStringLiteral("no element: not an SVD device description"), xml.lineNumber(),
             qMax<qint64>(xml.columnNumber(), 1));
        return peripherals;
    }
    if (xml.name() != QLatin1String("device")) {
        fail(import,
             QStringLiteral("the root element is <%1>, not <device>: not an SVD device "
                            "description")
                     .arg(xml.name()),
             xml.lineNumber(), xml.columnNumber());
        return peripherals;
    }
    // Problems of an element are placed at the '>' of its start tag.
    const qint64 deviceLine = xml.lineNumber();
    const qint64 deviceColumn = xml.columnNumber();
    bool listed = false;
    while (nextChild()) {
        if (xml.name() != QLatin1String("peripherals")) {
            if (!detailed || !readDeviceProperty(xml.name()))
                xml.skipCurrentElement();
            continue;
        }
        listed = true;
        while (nextChild()) {
            if (xml.name() == QLatin1String("peripheral")) {
                Node &peripheral = peripherals.emplace_back();
                peripheral.kind = Kind::Peripheral;
                readNode(peripheral, 0, import);
                peripheral.unwanted = skipsRegisters(peripheral);
            } else {
                xml.skipCurrentElement();
            }
        }
    }
    // The rest of the document must be well-formed too.
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        return xmlError();
    if (!listed) {
        fail(import, QStringLiteral("<device> has no <peripherals>"), deviceLine, deviceColumn);
        return {};
    }
    setParents(peripherals, nullptr);
    return peripherals;
}

// Where the registers of an element instance lie and what they inherit (register values only).
struct Scope
{
    quint64 address = 0;
    Properties properties;
    bool placed = true; // false when its address cannot be read: the element is left out
};

// Turns the element tree into label sets, or into the registers with their values.
class Expander
{
public:
    Expander(const std::vector<Node> &peripherals, SvdImport &import);
    Expander(const std::vector<Node> &peripherals, SvdImport &import, SvdRegisters *model)
        : Expander(peripherals, import)
    {
        this->model = model;
    }
    void run(const Properties &device = {});

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
    const std::vector<Node> &childrenOf(const Node &node);
    const Node &positionOf(const Node &field);
    bool indicesOf(const Node &node, const QString &subject, Indices *indices);
    bool spend(qint64 cost, const Node &at);
    struct FieldInstances;
    bool fieldInstances(const Node &field, const QString &owner, int bits, FieldInstances *out);
    void note(const QString &subject, const QString &why, const Node &at)
    {
        note(subject, why, at.line);
    }
    void note(const QString &subject, const QString &why, qint64 line);
    void expand(const std::vector<Node> &nodes, const QString &prefix, int depth,
                const Scope &scope);
    void addRegister(const QString &setName, const Node &reg);

    // The register values.
    template<typename Get>
    QString derivedText(const Node &node, Get get);
    Properties propertiesOf(const Node &node);
    Scope instanceScope(const Node &node, const Scope &outer, qint64 k, const QString &subject);
    const EnumerationNode *findEnumeration(const Node &owner, const QString &derivedFrom);
    QList<SvdEnumeration> enumerationsOf(const Node &field, const QString &subject, int width);
    std::optional<quint64> modelNumber(const QString &text, const QString &what,
                                       const QString &subject, const Node &at);
    void addModelRegister(const QString &name, const Node &reg, const Scope &scope);

    const std::vector<Node> &peripherals;
    SvdImport &import;
    QHash<QString, const Node *> peripheralByName;
    QSet<QString> setNames; // case-folded
    QSet<const Node *> unresolved; // said once each
    QSet<const Node *> unplaced; // elements whose address cannot be read, said once each
    qint64 spent = 0;
    qint64 unsaid = 0; // lines beyond maxSkippedLines
    bool stopped = false;
    SvdRegisters *model = nullptr;
    // Each field element's containers, resolved once however many register instances it has.
    QHash<const Node *, QList<SvdEnumeration>> enumerationCache;
    // Names looked up through indexes made once each, so that no lookup walks a list.
    QHash<const Node *, QHash<QString, Named>> childIndexes;
    QHash<const Node *, QHash<QString, const EnumerationNode *>> enumerationIndexes;
    QHash<const Node *, const Node *> bases;
};

Expander::Expander(const std::vector<Node> &peripherals, SvdImport &import)
    : peripherals(peripherals), import(import)
{
    for (const Node &peripheral : peripherals) {
        if (!peripheralByName.contains(peripheral.name))
            peripheralByName.insert(peripheral.name, &peripheral);
    }
}

void Expander::note(const QString &subject, const QString &why, qint64 line)
{
    // Beyond a screenful of screenfuls nobody reads them, and a large array would otherwise
    // cost more in these lines than in its sets.
    if (import.skipped.size() < maxSkippedLines)
        import.skipped.append(QStringLiteral("%1: %2 (line %3)").arg(subject, why).arg(line));
    else
        ++unsaid;
}

// Where a field's instances lie: its position, its array indices and their step. An array that
// steps upwards ends where it reaches bit `bits`.
struct Expander::FieldInstances
{
    const Node *position = nullptr;
    Indices indices;
    qint64 step = 0;
    qint64 count = 0;
};

// False when the field is left out of the register owner (said).
bool Expander::fieldInstances(const Node &field, const QString &owner, int bits,
                              FieldInstances *out)
{
    const Node &position = positionOf(field);
    QString problem = field.problem.isEmpty() ? position.problem : field.problem;
    if (problem.isEmpty() && position.lsb < 0)
        problem = QStringLiteral("no bit position");
    if (!problem.isEmpty()) {
        note(owner, QStringLiteral("field %1: %2; left out").arg(quoted(field.name), problem),
             field);
        return false;
    }
    if (!indicesOf(field, owner + u'.' + field.name, &out->indices))
        return false;
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
    return true;
}

bool Expander::spend(qint64 cost, const Node &at)
{
    if (stopped)
        return false;
    spent += cost;
    if (spent <= maxSvdExpansion)
        return true;
    stopped = true;
    import.error = QStringLiteral("the arrays make more names and labels than any device has "
                                  "(over %1 characters, each name or label counting %2 more)")
                           .arg(maxSvdExpansion)
                           .arg(svdInstanceCost);
    import.line = at.line;
    import.column = 1;
    return false;
}

const QHash<QString, Expander::Named> &Expander::childIndex(const Node &parent)
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
const QHash<QString, const EnumerationNode *> &Expander::enumerationIndex(const Node &scope)
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

const Node *Expander::find(const Node &parent, const QString &name, Kind kind, const Node *except)
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
const Node *Expander::findPath(const Node *from, const QList<QStringView> &path, Kind kind)
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
const Node *Expander::base(const Node &node)
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
const Node *Expander::lookUpBase(const Node &node)
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

const std::vector<Node> &Expander::childrenOf(const Node &node)
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
const Node &Expander::positionOf(const Node &field)
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
bool Expander::indicesOf(const Node &node, const QString &subject, Indices *indices)
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
    const QString problem = readIndices(*from, indices);
    if (!problem.isEmpty()) {
        note(subject, problem + QStringLiteral("; left out"), node);
        return false;
    }
    return true;
}

void Expander::expand(const std::vector<Node> &nodes, const QString &prefix, int depth,
                      const Scope &scope)
{
    for (const Node &node : nodes) {
        if (node.kind == Kind::Field || (model && node.unwanted))
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
        for (qint64 k = 0; k < indices.count && !stopped; ++k) {
            QString name = node.name;
            if (indices.array)
                name.replace(QLatin1String("%s"), indices.at(k));
            const QString full = prefix.isEmpty() ? name : prefix + u'.' + name;
            const QString problem = nameProblem(name);
            if (!problem.isEmpty()) {
                note(full, problem + QStringLiteral("; left out"), node);
                continue;
            }
            const Scope inner = model ? instanceScope(node, scope, k, full) : Scope();
            if (!inner.placed)
                continue;
            if (node.kind == Kind::Register) {
                if (model)
                    addModelRegister(full, node, inner);
                else
                    addRegister(full, node);
                continue;
            }
            const std::vector<Node> &children = childrenOf(node);
            if (children.empty())
                note(full, QStringLiteral("no registers"), node);
            // A cluster derived from one that holds it would hold itself without end.
            if (depth >= maxClusterDepth)
                note(full,
                     QStringLiteral("nested deeper than %1 clusters; left out")
                             .arg(maxClusterDepth),
                     node);
            else
                expand(children, full, depth + 1, inner);
        }
    }
}

void Expander::addRegister(const QString &setName, const Node &reg)
{
    ++import.registers;
    // Compared without case, as the settings class compares names on Windows and macOS: a file
    // written here must read alike there.
    const QString setKey = caseFolded(setName);
    if (setNames.contains(setKey)) {
        note(setName, QStringLiteral("a set of this name came from an earlier register; skipped"),
             reg);
        return;
    }
    std::array<QString, 32> labels;
    QSet<QString> used;
    const std::vector<Node> &fields = childrenOf(reg);
    for (const Node &field : fields) {
        FieldInstances instances;
        if (isReserved(field) || !fieldInstances(field, setName, 32, &instances))
            continue;
        const Node &position = *instances.position;
        const Indices &indices = instances.indices;
        const qint64 step = instances.step;
        const qint64 count = instances.count;
        if (!spend(count * (svdInstanceCost + field.name.size() + indices.longest()), field))
            return;
        for (qint64 k = 0; k < count; ++k) {
            const qint64 lsb = position.lsb + k * step;
            // The rest of an array that steps upwards lies from bit 32 up too.
            if (lsb >= 32 && step > 0 && indices.count - k > 1) {
                note(setName,
                     QStringLiteral("field %1: instances %2 … %3 lie from bit 32 up; dropped")
                             .arg(quoted(field.name), indices.at(k), indices.at(indices.count - 1)),
                     field);
                break;
            }
            QString name = field.name;
            if (indices.array)
                name.replace(QLatin1String("%s"), indices.at(k));
            if (const QString bad = nameProblem(name); !bad.isEmpty()) {
                note(setName, QStringLiteral("field: %1; left out").arg(bad), field);
                continue;
            }
            if (name.startsWith(QLatin1String("(bit "))) {
                note(setName,
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
                note(setName,
                     QStringLiteral("field %1: %2 dropped (labels go up to bit 31)")
                             .arg(quoted(name), bits),
                     field);
            }
            QStringList taken;
            QStringList repeated;
            const qint64 top = qMin<qint64>(lsb + position.width, 32);
            for (qint64 bit = lsb; bit < top; ++bit) {
                QString &slot = labels.at(std::size_t(bit));
                if (!slot.isEmpty()) {
                    taken.append(QString::number(bit));
                    continue;
                }
                QString label = position.width == 1
                        ? name
                        : name + u'[' + QString::number(bit - lsb) + u']';
                QString folded = caseFolded(label);
                if (used.contains(folded)) {
                    repeated.append(label);
                    continue;
                }
                // The file writes the set's name with every label.
                if (!spend(svdInstanceCost + label.size() + setName.size(), field))
                    return;
                used.insert(std::move(folded));
                slot = std::move(label);
            }
            if (!taken.isEmpty())
                note(setName,
                     QStringLiteral("field %1 overlaps an earlier field on bit %2, which keeps "
                                    "its label")
                             .arg(quoted(name), taken.join(QLatin1String(", "))),
                     field);
            if (!repeated.isEmpty())
                note(setName,
                     QStringLiteral("label %1 repeats one already in the set; dropped")
                             .arg(repeated.join(QLatin1String(", "))),
                     field);
        }
    }
    int count = 32;
    while (count > 0 && labels.at(std::size_t(count - 1)).isEmpty())
        --count;
    if (count == 0) {
        note(setName,
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
    setNames.insert(setKey);
    import.sets.append(std::move(set));
}

void Expander::run(const Properties &device)
{
    Scope top;
    top.properties = device;
    expand(peripherals, QString(), 0, top);
    if (unsaid > 0)
        import.skipped.append(QStringLiteral("… and %1 more lines like these").arg(unsaid));
}

// The first text that get gives along the element's derivation.
template<typename Get>
QString Expander::derivedText(const Node &node, Get get)
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

Properties Expander::propertiesOf(const Node &node)
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

Scope Expander::instanceScope(const Node &node, const Scope &outer, qint64 k,
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

std::optional<quint64> Expander::modelNumber(const QString &text, const QString &what,
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
const EnumerationNode *Expander::findEnumeration(const Node &owner, const QString &derivedFrom)
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

QList<SvdEnumeration> Expander::enumerationsOf(const Node &field, const QString &subject, int width)
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
            entry.description = value.description;
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

void Expander::addModelRegister(const QString &name, const Node &reg, const Scope &scope)
{
    SvdRegister out;
    out.name = name;
    out.address = scope.address;
    out.line = reg.line;
    const Properties &properties = scope.properties;
    if (const std::optional<quint64> size =
                modelNumber(properties.size, QStringLiteral("size"), name, reg)) {
        if (*size < 1 || *size > 64) {
            note(name,
                 QStringLiteral("a size of %1 bits is none a value can have; left out").arg(*size),
                 reg);
            return;
        }
        out.size = int(*size);
    }
    if (!properties.access.isEmpty())
        out.access = properties.access;
    out.resetValue =
            modelNumber(properties.resetValue, QStringLiteral("resetValue"), name, reg).value_or(0)
            & out.valueMask();
    out.resetMask = modelNumber(properties.resetMask, QStringLiteral("resetMask"), name, reg)
                            .value_or(out.valueMask())
            & out.valueMask();
    out.description = derivedText(reg, [](const Detail &d) { return d.description; });
    out.modifiedWriteValues =
            derivedText(reg, [](const Detail &d) { return d.modifiedWriteValues; });
    out.readAction = derivedText(reg, [](const Detail &d) { return d.readAction; });

    for (const Node &field : childrenOf(reg)) {
        FieldInstances instances;
        if (isReserved(field) || !fieldInstances(field, name, out.size, &instances))
            continue;
        const Node &position = *instances.position;
        const Indices &indices = instances.indices;
        const qint64 step = instances.step;
        const qint64 count = instances.count;
        if (!spend(count * (svdInstanceCost + field.name.size() + indices.longest()), field))
            return;
        SvdField common;
        common.description = derivedText(field, [](const Detail &d) { return d.description; });
        common.access = derivedText(field, [](const Detail &d) { return d.properties.access; });
        if (common.access.isEmpty())
            common.access = out.access;
        common.modifiedWriteValues =
                derivedText(field, [](const Detail &d) { return d.modifiedWriteValues; });
        if (common.modifiedWriteValues.isEmpty())
            common.modifiedWriteValues = out.modifiedWriteValues;
        common.readAction = derivedText(field, [](const Detail &d) { return d.readAction; });
        if (common.readAction.isEmpty())
            common.readAction = out.readAction;
        common.enumerations = enumerationsOf(field, name + u'.' + field.name, int(position.width));
        common.width = int(position.width);
        common.line = field.line;
        for (qint64 k = 0; k < count; ++k) {
            const qint64 lsb = position.lsb + k * step;
            SvdField instance = common;
            instance.name = field.name;
            if (indices.array)
                instance.name.replace(QLatin1String("%s"), indices.at(k));
            if (k > 0 && lsb >= out.size) {
                note(name,
                     QStringLiteral("field %1: instances %2 … %3 lie beyond the register's %4 "
                                    "bits; left out")
                             .arg(quoted(field.name), indices.at(k), indices.at(indices.count - 1))
                             .arg(out.size),
                     field);
                break;
            }
            // A value holds the register's bits only: a field past them could be neither read
            // nor written there.
            if (lsb >= out.size) {
                note(name,
                     QStringLiteral("field %1 lies beyond the register's %2 bits; left out")
                             .arg(quoted(instance.name))
                             .arg(out.size),
                     field);
                continue;
            }
            if (lsb + position.width > out.size) {
                instance.width = int(out.size - lsb);
                note(name,
                     QStringLiteral("field %1 reaches beyond the register's %2 bits; cut to "
                                    "[%3:%4]")
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

} // namespace

SvdImport importSvd(const QByteArray &bytes)
{
    SvdImport import;
    bool known = true;
    const QByteArray xml = asUtf8(bytes, &known);
    TreeReader reader(xml);
    const std::vector<Node> peripherals = reader.read(import);
    if (!import.error.isEmpty())
        return import;
    Expander(peripherals, import).run();
    if (!import.error.isEmpty()) {
        import.sets.clear();
        import.skipped.clear();
    }
    return import;
}

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

// The one reader of a description's numbers: an optional '+', decimal, 0x hexadecimal, # or 0b
// binary digits (in binary '_' between digits and, where care is given, 'x' for a don't-care
// bit); where scaled, an optional k, m, g or t (powers of 1024) after them.
bool readSvdNumber(QStringView text, bool scaled, quint64 *value, quint64 *care)
{
    text = text.trimmed();
    if (text.startsWith(u'+'))
        text = text.mid(1);
    int base = 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        text = text.mid(2);
    } else if (text.startsWith(u'#')) {
        base = 2;
        text = text.mid(1);
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        base = 2;
        text = text.mid(2);
    }
    int shift = 0;
    if (scaled && !text.isEmpty()) {
        switch (text.back().toLower().unicode()) {
        case 'k':
            shift = 10;
            break;
        case 'm':
            shift = 20;
            break;
        case 'g':
            shift = 30;
            break;
        case 't':
            shift = 40;
            break;
        default:
            break;
        }
        if (shift > 0)
            text.chop(1);
    }
    if (text.isEmpty() || text.size() > 64 + 16)
        return false;
    quint64 number = 0;
    quint64 cared = 0;
    int binaryDigits = 0;
    for (const QChar c : text) {
        const char16_t u = c.toLower().unicode();
        if (u == '_' && base == 2)
            continue;
        const bool dontCare = base == 2 && u == 'x' && care;
        int digit = 16;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        if (!dontCare && digit >= base)
            return false;
        if (base == 2) {
            if (++binaryDigits > 64)
                return false;
            number = (number << 1) | quint64(dontCare ? 0 : digit);
            cared = (cared << 1) | quint64(dontCare ? 0 : 1);
            continue;
        }
        if (number > (~quint64(0) - quint64(digit)) / quint64(base))
            return false;
        number = number * quint64(base) + quint64(digit);
    }
    if (base == 2 && binaryDigits == 0)
        return false;
    if (shift > 0 && number > (~quint64(0) >> shift))
        return false;
    *value = number << shift;
    if (care)
        *care = base == 2
                ? cared | ~(binaryDigits >= 64 ? ~quint64(0) : (quint64(1) << binaryDigits) - 1)
                : ~quint64(0);
    return true;
}

} // namespace

bool parseSvdValue(QStringView text, quint64 *value, quint64 *care)
{
    quint64 cared = 0;
    return readSvdNumber(text, false, value, care ? care : &cared);
}

bool parseSvdNumber(QStringView text, quint64 *value)
{
    return readSvdNumber(text, true, value, nullptr);
}

namespace {

// Where the UTF-16 offsets of the text decoded from UTF-8 bytes lie in those bytes: a checkpoint
// every few thousand characters, made in one pass when first asked, so that each offset costs a
// short walk, however many are asked for.
class Utf8Offsets
{
public:
    explicit Utf8Offsets(const QByteArray &bytes) : bytes(bytes) { }

    // The byte at which the offset lies, or -1.
    qint64 byteAt(qint64 units)
    {
        if (checkpoints.empty()) {
            qint64 at = 0;
            qint64 counted = 0;
            checkpoints.push_back({ 0, 0 });
            while (at < bytes.size()) {
                step(&at, &counted);
                if (counted >= qint64(checkpoints.size()) * spacing)
                    checkpoints.push_back({ counted, at });
            }
        }
        // The last checkpoint at or before the offset, then on from there.
        auto next = std::upper_bound(
                checkpoints.cbegin(), checkpoints.cend(), units,
                [](qint64 u, const std::pair<qint64, qint64> &c) { return u < c.first; });
        const auto &[fromUnits, fromByte] = *std::prev(next);
        qint64 at = fromByte;
        qint64 counted = fromUnits;
        while (counted < units && at < bytes.size())
            step(&at, &counted);
        return counted == units && at <= bytes.size() ? at : -1;
    }

private:
    void step(qint64 *at, qint64 *counted) const
    {
        const auto c = uchar(bytes.at(*at));
        const int length = c < 0x80 ? 1
                : (c >> 5) == 6     ? 2
                : (c >> 4) == 14    ? 3
                : (c >> 3) == 30    ? 4
                                    : 1;
        *counted += length == 4 ? 2 : 1;
        *at += length;
    }

    static constexpr qint64 spacing = 4096;
    const QByteArray &bytes;
    std::vector<std::pair<qint64, qint64>> checkpoints; // (UTF-16 offset, byte)
};

// Reads the registers of a peripheral that the first pass went by, from their own bytes: no
// second pass over the whole file. False when those bytes cannot be told or read alone (a
// namespace prefix declared outside them …).
bool readSkippedRegisters(const QByteArray &xml, Utf8Offsets &offsets, Node &peripheral)
{
    const qint64 from = offsets.byteAt(peripheral.registersFrom);
    const qint64 to = offsets.byteAt(peripheral.registersTo);
    const QByteArray end("</registers>");
    if (from < 1 || to < from + end.size() || xml.at(from - 1) != '>'
        || xml.mid(to - end.size(), end.size()) != end)
        return false;
    const QByteArray alone = "<registers>" + xml.mid(from, to - from);
    SvdImport import;
    TreeReader reader(alone, nullptr, nullptr, {});
    Node read;
    read.kind = Kind::Peripheral;
    if (!reader.readRegistersAlone(read, peripheral.registersLine, import))
        return false;
    peripheral.children = std::move(read.children);
    peripheral.registersSkipped = false;
    return true;
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
                              const void *context)
{
    SvdRegisters registers;
    SvdImport import;
    bool known = true;
    const QByteArray xml = asUtf8(bytes, &known);
    std::vector<Node> peripherals;
    Properties device;
    bool alone = known;
    {
        TreeReader reader(xml, wanted, context, {});
        peripherals = reader.read(import);
        device = reader.deviceProperties();
        // Entities declared in the DTD would be missing from a part read alone.
        alone = alone && !reader.sawDtd();
    }
    if (import.error.isEmpty() && wanted) {
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
                if (!alone || !readSkippedRegisters(xml, offsets, peripheral)) {
                    whole = true;
                    break;
                }
                setParents(peripheral.children, &peripheral);
                peripheral.unwanted = false;
                pending.push_back(k);
            }
        }
        if (whole) {
            import = SvdImport();
            TreeReader reader(xml, nullptr, nullptr, {});
            peripherals = reader.read(import);
        }
    }
    if (import.error.isEmpty())
        Expander(peripherals, import, &registers).run(device);
    if (!import.error.isEmpty()) {
        registers.registers.clear();
        registers.error = import.error;
        registers.line = import.line;
        registers.column = import.column;
        return registers;
    }
    registers.notes = import.skipped;
    return registers;
}
