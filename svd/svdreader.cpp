// SPDX-License-Identifier: MIT
// The one-pass reader of a description's XML into its elements, within the bounds of svdlimits.h.
#include "svdreader.h"

#include "svdlimits.h"
#include "svdnumber.h"

#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstring>

namespace {

using namespace svd;

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

// The document as UTF-8, with its declaration saying so, whatever it was written in: offsets
// into the text the reader reads are then offsets into these bytes. An encoding that cannot be
// decoded

// The elements of the description, read in one pass over its tokens.

class TreeReader
{
public:
    explicit TreeReader(const QByteArray &bytes) : xml(bytes), bytes(bytes)
    {
        xml.setEntityExpansionLimit(maxEntityLength);
    }
    // Reads the detail of the register values too, of the peripherals that wanted takes (all of
    // them without it).
    TreeReader(const QByteArray &bytes, PeripheralFilter wanted, const void *context)
        : xml(bytes), bytes(bytes), detailed(true), wanted(wanted), context(context)
    {
        xml.setEntityExpansionLimit(maxEntityLength);
    }

    // The peripherals, or an error set in diagnostics.
    std::vector<Node> read(Diagnostics &diagnostics);
    // Reads a <registers> element alone into the peripheral, its first line being the given one
    // of the whole file; false when it cannot be read alone.
    bool readRegistersAlone(Node &peripheral, qint64 firstLine, Diagnostics &diagnostics);
    const Properties &deviceProperties() const { return device; }
    // Whether the descriptions of registers and fields are kept (only find --text reads them).
    void keepDescriptions(bool keep) { descriptions = keep; }

private:
    bool readDetail(Node &node, QStringView tag);
    void readEnumeration(Node &node);
    bool skipsRegisters(const Node &peripheral) const
    {
        return detailed && wanted && !peripheral.name.isEmpty()
                && !wanted(peripheral.name, context);
    }

    bool nextChild();
    QString text() { return xml.readElementText(QXmlStreamReader::SkipChildElements); }
    qint64 number(Node &node, QLatin1String what);
    void readNode(Node &node, int depth, Diagnostics &diagnostics);
    void readRegisters(Node &node, int depth, Diagnostics &diagnostics);
    bool readDeviceProperty(QStringView tag);
    qint64 line() const { return xml.lineNumber() + lineOffset; }
    void fail(Diagnostics &diagnostics, const QString &error, qint64 line, qint64 column);

    bool boundEntities();

public:
    bool sawDtd() const { return hasDtd; }

private:
    QXmlStreamReader xml;
    const QByteArray &bytes;
    bool detailed = false;
    bool descriptions = true;
    PeripheralFilter wanted = nullptr;
    const void *context = nullptr;
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

void TreeReader::readNode(Node &node, int depth, Diagnostics &diagnostics)
{
    node.line = line();
    node.derivedFrom = xml.attributes().value(QLatin1String("derivedFrom")).trimmed().toString();
    if (detailed)
        node.detail = std::make_unique<Detail>();
    qint64 msb = -1;
    qint64 bitOffset = -1;
    qint64 bitWidth = -1;
    QString alternateGroup;
    bool registersMet = false;
    while (nextChild()) {
        const QStringView tag = xml.name();
        if (tag == QLatin1String("name")) {
            node.name = text().trimmed();
        } else if (tag == QLatin1String("dim")) {
            node.dim = number(node, QLatin1String("dim"));
        } else if (tag == QLatin1String("dimIndex")) {
            node.dimIndex = text();
        } else if (node.kind == Kind::Peripheral && tag == QLatin1String("registers")) {
            // Still read as XML, which must be well-formed throughout, but nothing is kept. A
            // peripheral with a second <registers> (its name may have changed in between) is
            // never read a part at a time: a skipped one then leaves no range to read alone, and
            // a peripheral wanted in the end is read again whole.
            if (skipsRegisters(node) || node.registersSkipped) {
                const bool again = registersMet;
                registersMet = true;
                node.registersSkipped = true;
                node.registersLine = line();
                node.registersFrom = xml.characterOffset();
                xml.skipCurrentElement();
                node.registersTo = xml.characterOffset();
                if (again)
                    node.registersFrom = node.registersTo = -1;
                continue;
            }
            registersMet = true;
            readRegisters(node, depth, diagnostics);
        } else if (node.kind == Kind::Cluster
                   && (tag == QLatin1String("register") || tag == QLatin1String("cluster"))) {
            if (depth >= maxClusterDepth) {
                diagnostics.notes.append(QStringLiteral("an element nested deeper than %1 clusters "
                                                        "is left out (line %2)")
                                                 .arg(maxClusterDepth)
                                                 .arg(line()));
                xml.skipCurrentElement();
                continue;
            }
            node.children.emplace_back().kind =
                    tag == QLatin1String("cluster") ? Kind::Cluster : Kind::Register;
            readNode(node.children.back(), depth + 1, diagnostics);
        } else if (node.kind == Kind::Register && tag == QLatin1String("fields")) {
            while (nextChild()) {
                if (xml.name() == QLatin1String("field")) {
                    node.children.emplace_back().kind = Kind::Field;
                    readNode(node.children.back(), depth + 1, diagnostics);
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

void TreeReader::readRegisters(Node &node, int depth, Diagnostics &diagnostics)
{
    while (nextChild()) {
        const QStringView inner = xml.name();
        const bool isCluster = inner == QLatin1String("cluster");
        if (isCluster || inner == QLatin1String("register")) {
            node.children.emplace_back().kind = isCluster ? Kind::Cluster : Kind::Register;
            readNode(node.children.back(), depth + 1, diagnostics);
        } else {
            xml.skipCurrentElement();
        }
    }
}

bool TreeReader::readRegistersAlone(Node &peripheral, qint64 firstLine, Diagnostics &diagnostics)
{
    lineOffset = firstLine - 1;
    if (!nextChild() || xml.name() != QLatin1String("registers"))
        return false;
    readRegisters(peripheral, 0, diagnostics);
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
        if (!descriptions)
            return false;
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
                // An entry's description is shown nowhere: passed by.
                if (inner == QLatin1String("name"))
                    value.name = text().trimmed();
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

void TreeReader::fail(Diagnostics &diagnostics, const QString &error, qint64 line, qint64 column)
{
    diagnostics.error = error;
    diagnostics.line = line;
    diagnostics.column = column;
}

std::vector<Node> TreeReader::read(Diagnostics &diagnostics)
{
    std::vector<Node> peripherals;
    const auto xmlError = [&] {
        // The reader stops just after the character it could not take.
        fail(diagnostics, xml.errorString(), xml.lineNumber(), qMax<qint64>(xml.columnNumber(), 1));
        return std::vector<Node>();
    };
    if (!nextChild()) {
        if (xml.hasError())
            return xmlError();
        fail(diagnostics, QStringLiteral("no element: not an SVD device description"),
             xml.lineNumber(), qMax<qint64>(xml.columnNumber(), 1));
        return peripherals;
    }
    if (xml.name() != QLatin1String("device")) {
        fail(diagnostics,
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
                readNode(peripheral, 0, diagnostics);
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
        fail(diagnostics, QStringLiteral("<device> has no <peripherals>"), deviceLine,
             deviceColumn);
        return {};
    }
    setParents(peripherals, nullptr);
    return peripherals;
}

} // namespace

namespace svd {

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

std::optional<qint64> parseNumber(QStringView text)
{
    quint64 value = 0;
    if (!parseSvdNumber(text, &value) || value > quint64(maxNumber))
        return std::nullopt;
    return qint64(value);
}

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

void setParents(std::vector<Node> &nodes, const Node *parent)
{
    for (Node &node : nodes) {
        node.parent = parent;
        setParents(node.children, &node);
    }
}

Tree readTree(const QByteArray &xml, bool detailed, PeripheralFilter wanted, const void *context,
              Diagnostics &diagnostics, bool descriptions)
{
    Tree tree;
    if (detailed) {
        TreeReader reader(xml, wanted, context);
        reader.keepDescriptions(descriptions);
        tree.peripherals = reader.read(diagnostics);
        tree.device = reader.deviceProperties();
        tree.sawDtd = reader.sawDtd();
    } else {
        TreeReader reader(xml);
        tree.peripherals = reader.read(diagnostics);
        tree.sawDtd = reader.sawDtd();
    }
    return tree;
}

qint64 Utf8Offsets::byteAt(qint64 units)
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

void Utf8Offsets::step(qint64 *at, qint64 *counted) const
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

bool readSkippedRegisters(const QByteArray &xml, Utf8Offsets &offsets, Node &peripheral,
                          bool descriptions)
{
    if (peripheral.registersFrom < 0)
        return false;
    const qint64 from = offsets.byteAt(peripheral.registersFrom);
    const qint64 to = offsets.byteAt(peripheral.registersTo);
    const QByteArray end("</registers>");
    if (from < 1 || to < from + end.size() || xml.at(from - 1) != '>'
        || xml.mid(to - end.size(), end.size()) != end)
        return false;
    const QByteArray alone = "<registers>" + xml.mid(from, to - from);
    Diagnostics diagnostics;
    TreeReader reader(alone, nullptr, nullptr);
    reader.keepDescriptions(descriptions);
    Node read;
    read.kind = Kind::Peripheral;
    if (!reader.readRegistersAlone(read, peripheral.registersLine, diagnostics))
        return false;
    peripheral.children = std::move(read.children);
    peripheral.registersSkipped = false;
    return true;
}

} // namespace svd
