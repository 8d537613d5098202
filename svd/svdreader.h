// SPDX-License-Identifier: MIT
// The one-pass reader of a description's XML into its elements: peripherals, clusters, registers
// and fields as written, before any derivedFrom, array or inheritance is resolved.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace svd {

enum class Kind { Peripheral, Cluster, Register, Field };

// What the register values need beyond the labels, read only for them: the text as written,
// numbers being read when they are used.
struct EnumeratedValueNode
{
    QString name;
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

// What an element of the description says. Numbers not given are -1; a number given but
// unreadable is said in problem, and the element is then left out.
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

// What reading and resolving found wrong: notes on what was left out, or an error that stops it.
struct Diagnostics
{
    QStringList notes;
    QString error; // empty when the description was read
    qint64 line = 0; // where it is wrong (1-based), with error
    qint64 column = 0;
};

// Which peripherals to read in full, by their name in the file.
using PeripheralFilter = bool (*)(const QString &name, const void *context);

struct Tree
{
    std::vector<Node> peripherals; // parents set
    Properties device; // what the device gives every register (read with detail only)
    bool sawDtd = false; // a document type declaration, whose entities a part read alone lacks
};

// Reads the elements of a description (asUtf8's bytes) in one pass; an error in diagnostics
// otherwise. With detail, what the register values need too, for the peripherals that wanted
// takes (every one without it): the others' registers are passed by, their place kept. Without
// descriptions, the detail leaves out the registers' and fields' descriptions.
Tree readTree(const QByteArray &xml, bool detailed, PeripheralFilter wanted, const void *context,
              Diagnostics &diagnostics, bool descriptions = true);

// The document as UTF-8, with its declaration saying so, whatever it was written in: offsets into
// the text the reader reads are then offsets into these bytes. An encoding that cannot be decoded
// leaves the bytes as they are (and known false), for the XML reader to refuse or read.
QByteArray asUtf8(const QByteArray &bytes, bool *known);

void setParents(std::vector<Node> &nodes, const Node *parent);

// Where the UTF-16 offsets of the text decoded from UTF-8 bytes lie in those bytes: a checkpoint
// every few thousand characters, made in one pass when first asked, so that each offset costs a
// short walk, however many are asked for.
class Utf8Offsets
{
public:
    explicit Utf8Offsets(const QByteArray &bytes) : bytes(bytes) { }

    // The byte at which the offset lies, or -1.
    qint64 byteAt(qint64 units);

private:
    void step(qint64 *at, qint64 *counted) const;

    static constexpr qint64 spacing = 4096;
    const QByteArray &bytes;
    std::vector<std::pair<qint64, qint64>> checkpoints; // (UTF-16 offset, byte)
};

// Reads the registers of a peripheral that readTree passed by, from their own bytes: no second
// pass over the whole file. False when those bytes cannot be told or read alone (a namespace
// prefix declared outside them …).
bool readSkippedRegisters(const QByteArray &xml, Utf8Offsets &offsets, Node &peripheral,
                          bool descriptions = true);

QString quoted(const QString &text);
// A number of the description, within maxNumber (see parseSvdNumber).
std::optional<qint64> parseNumber(QStringView text);

} // namespace svd
