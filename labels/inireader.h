// SPDX-License-Identifier: MIT
// The label file's reader: INI text read by the settings class's rules, every value kept as text.
#pragma once

#include "labelfile.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Names are compared exactly, as the settings class compares them on Linux and macOS. On Windows
// it compares INI keys and sections without case; this reader does not, so there a file whose
// names differ only in case reads as more sets or labels than the settings class would list.

// A value as the settings class's INI reader finds it, never deserialised.
struct IniValue
{
    enum Kind : quint8 {
        Text, // a string (plain, quoted, escaped, "@String(…)", "@@…"): text holds it
        List, // an unquoted ',' made a list of strings: items holds them, text is empty
        ByteArray, // "@ByteArray(…)": text holds its bytes read as UTF-8, as QVariant gives them
        Other, // any other "@…(…)" type ("@Variant", "@Rect", "@Invalid()"): text as written
        None, // an empty key, which the settings class cannot look up
    };
    Kind kind = None;
    QString text;
    QStringList items;

    friend bool operator==(const IniValue &a, const IniValue &b)
    {
        return a.kind == b.kind && a.text == b.text && a.items == b.items;
    }
    friend bool operator!=(const IniValue &a, const IniValue &b) { return !(a == b); }
};

// The bit a value names in a set of labelCount labels, by labelBitIndex's rules: only Text can be
// a decimal integer; everything else counts as bit 0.
qsizetype iniValueBitIndex(const IniValue &value, qsizetype labelCount);

struct IniKey
{
    QString key; // groups separated by '/', as the settings class names keys
    IniValue value;
};

// Every key of the text as the settings class lists it after reading the whole file (allKeys),
// sorted by UTF-16 code units, each with the value of its last line in the order the settings
// class reads them (sections in the order of their names, then the lines of each in file order).
// everyLine, when given, gets every key line in file order, repeated keys included.
QList<IniKey> readIniKeys(QByteArrayView text, QList<IniKey> *everyLine = nullptr);

// A key line as the settings class splits the text: its section ("name/", empty outside any
// section), the key's bytes (trimmed) and the value's bytes, both still escaped, in the text.
struct IniKeyLine
{
    QString section;
    QByteArrayView key;
    QByteArrayView value;
};

// Every key line of the text in file order: two texts whose key lines are the same read as the
// same keys with the same values, which a write can check without decoding either.
QList<IniKeyLine> readIniLines(QByteArrayView text);
// The same lines handed over one at a time as they are read, none kept: a large text's check costs
// no list of its lines.
using IniLineVisitor =
        std::function<void(const QString &section, QByteArrayView key, QByteArrayView value)>;
void forEachIniLine(QByteArrayView text, const IniLineVisitor &take);

// The key of a line as the settings class names it: its section, then the key unescaped.
QString iniKeyName(const IniKeyLine &line);
// A key's or section name's bytes unescaped as the settings class reads them: '\' is '/', %XX
// and %UXXXX name a UTF-16 unit, other bytes are UTF-8.
QString unescapedIniKey(QByteArrayView key);

// One set of a group as the settings class's readLabelSets lists it: its keys (the labels, sorted)
// and their values.
struct IniLabelSet
{
    QString name;
    QStringList keys;
    QList<IniValue> values;
};

// The sets of group with their raw keys and values, exactly as readLabelSets finds them through
// the settings class, which reads the file's sections lazily: the group's own section, and the
// section of a set ("[group\set]") only for a set that the group's section names. Keys before
// any section and other sections never make a set there, and neither do they here.
QList<IniLabelSet> readIniLabelSetKeys(QByteArrayView text, const QString &group);

// The same sets decoded as the window shows them (decodeLabelSet), in one pass that keeps no
// value and shares the strings of repeated labels: the window's reader.
LabelSets readIniLabelSets(QByteArrayView text, const QString &group);
// The same, handing over every key line of the text on the way as forEachIniLine does: the sets
// and the lines in one pass.
LabelSets readIniLabelSets(QByteArrayView text, const QString &group,
                           const IniLineVisitor &eachLine);
// The same, releasing text as soon as its lines are read: a large file's text and its decoded
// sets are not in memory together.
LabelSets readIniLabelSets(QByteArray &&text, const QString &group);

// Where lines of a set lie in the text of an index (IniLabelSetIndex): one key line of the group's
// section or of the set's own section (its key's and value's bytes), or lines of the group's
// section one after the other, each "key=value" with nothing for the scan to undo in either.
struct IniSetLine
{
    enum Kind : qint32 { GroupLine, SectionLine, PlainLines };
    qint32 set;
    Kind kind;
    qint32 key; // PlainLines: the first line's first byte
    qint32 keyLength; // PlainLines: up to the last line's end
    qint32 value;
    qint32 valueLength;
};

// The sets of group as readIniLabelSets reads them, with only their names read: each set's
// labels are read from the text again, its lines alone, when they are asked for. Reading the
// names of a file of thousands of sets costs little more than a pass over its lines.
struct IniLabelSetIndex
{
    QByteArray text;
    QString group;
    QStringList names; // as readIniLabelSets gives them
    QList<IniSetLine> lines; // by set, each set's lines in the order the reader takes them
    QList<qint32> starts; // the lines of names[k] are lines[starts[k]] up to lines[starts[k + 1]]

    // The labels of names[k] as readIniLabelSets decodes them.
    QStringList labels(qsizetype k) const;
};

// text is kept in the index; a text of more than 2 GiB holds no set.
std::shared_ptr<const IniLabelSetIndex> indexIniLabelSets(const QByteArray &text,
                                                          const QString &group);
