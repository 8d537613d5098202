// SPDX-License-Identifier: MIT
// How reg, find and dump write their results: tab-separated rows for scripts, the same rows in
// aligned columns on a terminal, or one JSON object a line.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>

// Whether rows go out aligned: standard output is a terminal. MASKCALC_ALIGNED_OUTPUT set to 1 or
// 0 decides instead, so that the tests can see both forms without a terminal.
bool alignedOutput();

// The columns a text takes on a terminal: combining marks none, East Asian wide characters two.
int terminalColumns(QStringView text);

// Rows of cells. Tab-separated, each row is its cells joined by tabs as they come, exactly as
// scripts have always read them; aligned, each column is padded to the widest of its cells in all
// the rows of the same kind (a row's last cell, never padded, does not count, nor does a cell wider
// than 80 columns, which runs past its column), and control characters are escaped as show
// escapes them.
class Rows
{
public:
    // Headings (a register's line, a note, a run of bytes of no register) and fields align apart.
    enum Kind { Heading, Field };

    // Aligned rows are kept until text() knows the widths of every column.
    explicit Rows(bool aligned) : aligned(aligned) { }
    // For a long output written as it comes (takeText()): aligned, a first Rows measures the
    // columns (keeping no row), and a second, given it, pads each row as it is added.
    static Rows measuring();
    static Rows alignedTo(const Rows &measured);

    void add(Kind kind, const QStringList &cells);
    // The same row given cell by cell, for the rows written by the thousand (a dump's every
    // register and field): tab-separated, each cell goes straight into the text as UTF-8, with no
    // list and no string of its own; aligned, the cells are gathered and added as add() adds them.
    void beginRow(Kind kind);
    void cell(QStringView text);
    void cell(QLatin1String text);
    // A cell of several parts: begun, then appended to.
    void beginCell();
    void append(QStringView text);
    void append(QLatin1String text);
    void appendHex(quint64 value, int bits);
    // As hexDigits() writes it: "0x" and at least as many upper-case digits as bits take.
    void hexCell(quint64 value, int bits);
    void numberCell(quint64 value);
    // "[n]" or "[msb:lsb]".
    void bitRangeCell(int lsb, int width);
    void endRow();
    // A line as it is, newline included, for JSON Lines; never aligned.
    void addLine(const QString &line);
    bool isEmpty() const { return text_.empty() && rows.isEmpty() && !added; }
    // The rows as UTF-8 text.
    QByteArray text() const;
    // The text so far, taken away; only of rows that are not kept.
    QByteArray takeText();
    qsizetype pendingSize() const { return qsizetype(text_.size()); }

private:
    enum class Mode { Plain, Kept, Measured, Padded };
    struct Row
    {
        Kind kind;
        QStringList cells; // escaped
    };
    explicit Rows(Mode mode) : aligned(mode != Mode::Plain), mode(mode) { }
    void measure(const Row &row);
    QString line(const Row &row) const;

    bool aligned;
    Mode mode = aligned ? Mode::Kept : Mode::Plain;
    bool added = false;
    std::string text_; // tab-separated rows, JSON lines, padded rows, in UTF-8
    // The row being given cell by cell: whether a cell came yet, and (aligned) its kind and cells.
    bool rowStarted = false;
    Kind rowKind = Heading;
    QStringList rowCells;
    QList<Row> rows; // aligned ones kept
    std::array<QList<int>, 2> widths; // of each kind's columns
};

// Appends text as UTF-8.
void appendUtf8(std::string *bytes, QStringView text);
// Writes "0x" and the value's hexadecimal digits, upper case, at least as many as bits take (at
// most 64 digits: out holds 66 characters); returns how many characters it wrote.
qsizetype writeHex(char *out, quint64 value, int bits);
// Writes the value's decimal digits (out holds 20); returns how many.
qsizetype writeDecimal(char *out, quint64 value);

// Writes the rows that write adds as they come, in pieces (writePiece), so that a long output costs
// no more memory than a piece; aligned, write is called twice: first to measure the columns.
void writeRows(bool aligned, const std::function<void(Rows *rows)> &write);
// Within write, after each register: writes what rows hold once it makes a piece (a MiB).
void writePiece(Rows *rows);

// A JSON object written as its members come, so that the keys keep the order that reads best
// (QJsonObject sorts them). Values are JSON text already: jsonString(), a number, null, an object.
class JsonObject
{
public:
    JsonObject &add(QLatin1String key, const QString &value);
    // The object, "{…}".
    QString text() const { return body + u'}'; }

private:
    QString body = QStringLiteral("{");
};

inline const QString jsonNull = QStringLiteral("null");
// A JSON string: quotes, backslashes and control characters escaped (U+2028 and U+2029 too, which
// some readers take for line ends), anything else as it is, in UTF-8 when written; a lone
// surrogate, which UTF-8 cannot hold, as U+FFFD.
QString jsonString(QStringView text);
// A string, or null for an empty one.
QString jsonStringOrNull(const QString &text);
QString jsonArray(const QStringList &values);
// {"old": before, "new": after}, each JSON text already.
QString jsonOldNew(const QString &before, const QString &after);
