// SPDX-License-Identifier: MIT
// Adding keys to INI text without rewriting anything that is already there.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

// One line of INI text, as the toolkit splits it: at "\r\n", "\n" or "\r".
struct IniLine
{
    qsizetype begin; // first byte
    qsizetype contentEnd; // first byte of the line break, or the end of the text
    qsizetype end; // first byte after the line break
};

// The lines of text from the byte from on (past a byte order mark, say).
QList<IniLine> splitIniLines(const QByteArray &text, qsizetype from);

// The key as the toolkit's INI writer puts it on disk: ASCII letters, digits, '_', '-' and '.'
// as they are, '/' as '\', other UTF-16 units up to U+00FF as %XX and the rest as %UXXXX, in
// upper-case hexadecimal ("Generic/Bit 1" becomes "Generic\Bit%201").
QByteArray iniEscapedKey(QStringView key);
// The same appended to to, which grows once, by exactly iniEscapedKeySize(key) bytes.
void appendIniEscapedKey(QByteArray &to, QStringView key);
qsizetype iniEscapedKeySize(QStringView key);
// The same written at out, which has room for iniEscapedKeySize(key) bytes; returns the end.
char *writeIniEscapedKey(char *out, QStringView key);

enum class IniPlacement {
    // After the last line of the last section of that name that is neither blank nor a comment
    // (or after its header); a new section at the end when the text has no such section.
    IntoLastSection,
    // A new section at the end of the text, after a blank line.
    NewSectionAtEnd,
};

// The text with the lines (without line breaks) added to the section, every existing byte kept in
// its order. The added lines use the text's first line break ("\r\n", "\n" or "\r"), or the
// platform's when it has none; a last line without a line break gets one before the added lines.
// A UTF-8 byte order mark stays where it is. Only the text's layout is looked at: whether the
// toolkit reads the result as intended (a line continued by a trailing backslash, an open quote)
// is for the caller to check.
QByteArray insertIniLines(const QByteArray &text, const QString &section,
                          const QList<QByteArray> &lines, IniPlacement placement);
