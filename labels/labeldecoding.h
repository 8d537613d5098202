// SPDX-License-Identifier: MIT
// Turning one label set, as the settings file holds it, into the labels of the bits.
#pragma once

#include <QLatin1String>
#include <QList>
#include <QStringList>
#include <QStringView>
#include <QVariant>

// The bit that a label's value names in a set of labelCount labels: 0 when the value is not a
// decimal integer, -1 when it is one outside 0 … labelCount − 1 (the key is then skipped).
//
// A decimal integer is text (a QString, as the settings class reads a plain value) made of an
// optional '+' or '-' and one or more ASCII digits, with any leading and trailing blanks (space,
// tab, line feed, vertical tab, form feed, carriage return) ignored: "5", " 5\t", "+5", "05" and
// "-0" all name bit 5 or 0. Everything else counts as bit 0: "", "x", "0x1f", "1e1", "3.0", "٣",
// a list such as "1, 2" (which the settings class returns as a QStringList) and any other type
// ("@ByteArray(…)", "@Variant(…)"). Numbers of any length are compared exactly, so "-1", "99",
// "4294967297" and a 30-digit number are out of range, never wrapped onto another bit.
qsizetype labelBitIndex(const QVariant &value, qsizetype labelCount);
// The same for a value that is text: what the label file's reader gives for a string value.
qsizetype labelBitIndex(QStringView text, qsizetype labelCount);
qsizetype labelBitIndex(QLatin1String text, qsizetype labelCount);

// The label list of a set whose keys (the label texts, in the settings class's order) have the
// given values. It starts as a copy of the keys; then each key, in order, is written at the bit
// its value names. A position that no key names keeps its copied key; a position that several keys
// name holds the last of them. The list always has exactly keys.size() entries. A key without a
// value (values shorter than keys) counts as bit 0.
QStringList decodeLabelSet(const QStringList &keys, const QList<QVariant> &values);
// The same with each key's bit already found (labelBitIndex's result: -1 for a skipped key); a
// key without one (bits shorter than keys) counts as bit 0.
QStringList placeLabels(const QStringList &keys, const QList<qsizetype> &bits);
// For each of the count positions, the index of the key that placeLabels shows there.
QList<qsizetype> labelPositions(const QList<qsizetype> &bits, qsizetype count);

// The longest caption the window shows whole, as a label on a check box or a set name in the
// drop-down: longer text, or text of more lines, is shown cut, ending in "…". Together they bound
// the window's size, and so the memory its drawing takes, whatever a label file holds: a box grows
// with its caption, and 32 boxes of 100,000 characters made a window a million pixels wide.
inline constexpr qsizetype maxShownCaptionLength = 128; // UTF-16 units
inline constexpr qsizetype maxShownCaptionLines = 8;

// The number of UTF-16 units of text that the window shows before its "…": text.size() when it is
// shown whole. Never cuts a surrogate pair; a line ends at a line feed, carriage return, vertical
// tab, form feed, U+0085, U+2028 or U+2029.
qsizetype shownCaptionLength(QStringView text);
// The text as the window shows it (without the '&' doubling of a check box's caption).
QString shownCaption(const QString &text);
