// SPDX-License-Identifier: MIT
// How reg, find and dump write their results: tab-separated rows, aligned columns, JSON Lines.
#include "rows.h"

#include "labeltool.h"

#include <algorithm>
#include <array>
#include <utility>

#ifdef Q_OS_UNIX
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <cstdio>
#include <io.h>
#endif

namespace {

// A cell wider than this widens no column and runs past its own: padding every row to one long
// name would cost the rows times its length.
constexpr int maxPaddedColumns = 80;

// East Asian wide and fullwidth characters, which a terminal gives two columns.
bool isWide(char32_t c)
{
    return c >= 0x1100
            && (c <= 0x115F || c == 0x2329 || c == 0x232A
                || (c >= 0x2E80 && c <= 0xA4CF && c != 0x303F) || (c >= 0xAC00 && c <= 0xD7A3)
                || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE10 && c <= 0xFE19)
                || (c >= 0xFE30 && c <= 0xFE6F) || (c >= 0xFF00 && c <= 0xFF60)
                || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F)
                || (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x2FFFD)
                || (c >= 0x30000 && c <= 0x3FFFD));
}

// Control characters, and the line and paragraph separators, which a terminal may take for line
// ends.
bool isUnshown(QChar c)
{
    const char16_t code = c.unicode();
    return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029;
}

// A cell as a terminal may show it: show's escapes, and any other control character as \xNN (a
// separator as \uNNNN), so that no name of a description can move the cursor or change the
// colours.
QString shownCell(const QString &cell)
{
    QString escaped = escapedField(cell);
    if (std::none_of(escaped.cbegin(), escaped.cend(), isUnshown))
        return escaped;
    QString shown;
    shown.reserve(escaped.size() + 8);
    for (const QChar c : escaped) {
        if (!isUnshown(c))
            shown += c;
        else if (c.unicode() < 0x100)
            shown += QStringLiteral("\\x%1").arg(
                    QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0'));
        else
            shown += QStringLiteral("\\u%1").arg(QString::number(c.unicode(), 16).toUpper());
    }
    return shown;
}

} // namespace

void appendUtf8(std::string *bytes, QStringView text)
{
    // Names are ASCII nearly always: copied as they are, without a converted copy.
    const qsizetype size = text.size();
    const char16_t *const units = text.utf16();
    qsizetype k = 0;
    while (k < size && units[k] < 0x80)
        ++k;
    if (k < size) {
        const QByteArray utf8 = text.toUtf8();
        bytes->append(utf8.constData(), std::size_t(utf8.size()));
        return;
    }
    const std::size_t at = bytes->size();
    bytes->resize(at + std::size_t(size));
    char *out = bytes->data() + at;
    for (k = 0; k < size; ++k)
        out[k] = char(units[k]);
}

qsizetype writeHex(char *out, quint64 value, int bits)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    int count = 1;
    while (count < 16 && (value >> (4 * count)) != 0)
        ++count;
    count = std::min(64, std::max(count, (bits + 3) / 4));
    out[0] = '0';
    out[1] = 'x';
    for (int k = 0; k < count; ++k) {
        const int shift = 4 * (count - 1 - k);
        out[2 + k] = shift < 64 ? digits[(value >> shift) & 0xF] : '0';
    }
    return 2 + count;
}

qsizetype writeDecimal(char *out, quint64 value)
{
    char reversed[20];
    int count = 0;
    do {
        reversed[count++] = char('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int k = 0; k < count; ++k)
        out[k] = reversed[count - 1 - k];
    return count;
}

bool alignedOutput()
{
    const QByteArray forced = qgetenv("MASKCALC_ALIGNED_OUTPUT");
    if (forced == "1" || forced == "0")
        return forced == "1";
#ifdef Q_OS_UNIX
    return ::isatty(STDOUT_FILENO) != 0;
#elif defined(Q_OS_WIN)
    return ::_isatty(::_fileno(stdout)) != 0;
#else
    return false;
#endif
}

int terminalColumns(QStringView text)
{
    int columns = 0;
    for (qsizetype k = 0; k < text.size(); ++k) {
        char32_t c = text.at(k).unicode();
        if (QChar::isHighSurrogate(c) && k + 1 < text.size()
            && QChar::isLowSurrogate(text.at(k + 1).unicode())) {
            c = QChar::surrogateToUcs4(text.at(k), text.at(k + 1));
            ++k;
        }
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing
            || category == QChar::Other_Format)
            continue;
        columns += isWide(c) ? 2 : 1;
    }
    return columns;
}

Rows Rows::measuring()
{
    return Rows(Mode::Measured);
}

Rows Rows::alignedTo(const Rows &measured)
{
    Rows rows(Mode::Padded);
    rows.widths = measured.widths;
    return rows;
}

void Rows::add(Kind kind, const QStringList &cells)
{
    added = true;
    if (!aligned) {
        appendUtf8(&text_, cells.join(u'\t'));
        text_ += '\n';
        return;
    }
    Row row { kind, {} };
    row.cells.reserve(cells.size());
    for (const QString &cell : cells)
        row.cells.append(shownCell(cell));
    if (mode == Mode::Padded) {
        appendUtf8(&text_, line(row));
        return;
    }
    measure(row);
    if (mode == Mode::Kept)
        rows.append(std::move(row));
}

void Rows::beginRow(Kind kind)
{
    rowStarted = false;
    rowKind = kind;
    rowCells.clear();
}

void Rows::beginCell()
{
    if (aligned)
        rowCells.append(QString());
    else if (std::exchange(rowStarted, true))
        text_ += '\t';
}

void Rows::append(QStringView text)
{
    if (aligned)
        rowCells.last() += text;
    else
        appendUtf8(&text_, text);
}

void Rows::append(QLatin1String text)
{
    if (aligned)
        rowCells.last() += text;
    else if (std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; }))
        text_.append(text.data(), std::size_t(text.size()));
    else
        appendUtf8(&text_, QString(text));
}

void Rows::appendHex(quint64 value, int bits)
{
    char digits[2 + 64];
    append(QLatin1String(digits, writeHex(digits, value, bits)));
}

void Rows::cell(QStringView text)
{
    beginCell();
    append(text);
}

void Rows::cell(QLatin1String text)
{
    beginCell();
    append(text);
}

void Rows::hexCell(quint64 value, int bits)
{
    beginCell();
    appendHex(value, bits);
}

void Rows::numberCell(quint64 value)
{
    char digits[20];
    beginCell();
    append(QLatin1String(digits, writeDecimal(digits, value)));
}

void Rows::bitRangeCell(int lsb, int width)
{
    // "[" two numbers of up to 20 digits, ":" and "]".
    char range[2 * 20 + 3];
    qsizetype size = 0;
    range[size++] = '[';
    if (width != 1) {
        size += writeDecimal(range + size, quint64(qint64(lsb) + width - 1));
        range[size++] = ':';
    }
    size += writeDecimal(range + size, quint64(lsb));
    range[size++] = ']';
    cell(QLatin1String(range, size));
}

void Rows::endRow()
{
    if (aligned) {
        add(rowKind, rowCells);
        rowCells.clear();
        return;
    }
    added = true;
    text_ += '\n';
}

void Rows::addLine(const QString &line)
{
    added = true;
    appendUtf8(&text_, line);
}

void Rows::measure(const Row &row)
{
    QList<int> &width = widths.at(std::size_t(row.kind));
    if (width.size() < row.cells.size() - 1)
        width.resize(row.cells.size() - 1);
    for (qsizetype k = 0; k + 1 < row.cells.size(); ++k) {
        const int columns = terminalColumns(row.cells.at(k));
        if (columns <= maxPaddedColumns)
            width[k] = std::max(width.at(k), columns);
    }
}

QString Rows::line(const Row &row) const
{
    const QList<int> &width = widths.at(std::size_t(row.kind));
    QString line;
    for (qsizetype k = 0; k < row.cells.size(); ++k) {
        const QString &cell = row.cells.at(k);
        line += cell;
        if (k + 1 < row.cells.size())
            line += QString(std::max(0, width.value(k) - terminalColumns(cell)) + 2, u' ');
    }
    // Empty last cells leave no blanks at the end.
    qsizetype end = line.size();
    while (end > 0 && line.at(end - 1) == u' ')
        --end;
    line.truncate(end);
    line += u'\n';
    return line;
}

QByteArray Rows::text() const
{
    QByteArray text(text_.data(), qsizetype(text_.size()));
    for (const Row &row : rows)
        text += line(row).toUtf8();
    return text;
}

QByteArray Rows::takeText()
{
    QByteArray text(text_.data(), qsizetype(text_.size()));
    text_.clear();
    return text;
}

void writePiece(Rows *rows)
{
    if (rows->pendingSize() >= qsizetype(1) << 20)
        printOut(rows->takeText());
}

void writeRows(bool aligned, const std::function<void(Rows *rows)> &write)
{
    Rows measured = Rows::measuring();
    if (aligned)
        write(&measured);
    Rows out = aligned ? Rows::alignedTo(measured) : Rows(false);
    write(&out);
    printOut(out.takeText());
}

JsonObject &JsonObject::add(QLatin1String key, const QString &value)
{
    if (body.size() > 1)
        body += u',';
    body += u'"';
    body += key;
    body += QLatin1String("\":");
    body += value;
    return *this;
}

QString jsonString(QStringView text)
{
    QString json;
    json.reserve(text.size() + 2);
    json += u'"';
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char16_t c = text.at(k).unicode();
        switch (c) {
        case u'"':
            json += QLatin1String("\\\"");
            break;
        case u'\\':
            json += QLatin1String("\\\\");
            break;
        case u'\n':
            json += QLatin1String("\\n");
            break;
        case u'\r':
            json += QLatin1String("\\r");
            break;
        case u'\t':
            json += QLatin1String("\\t");
            break;
        default:
            if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) {
                json += QStringLiteral("\\u%1").arg(QString::number(c, 16).rightJustified(4, u'0'));
            } else if (QChar::isHighSurrogate(c) && k + 1 < text.size()
                       && QChar::isLowSurrogate(text.at(k + 1).unicode())) {
                json += text.at(k);
                json += text.at(++k);
            } else if (QChar::isSurrogate(c)) {
                json += QChar(QChar::ReplacementCharacter);
            } else {
                json += QChar(c);
            }
        }
    }
    json += u'"';
    return json;
}

QString jsonStringOrNull(const QString &text)
{
    return text.isEmpty() ? jsonNull : jsonString(text);
}

QString jsonArray(const QStringList &values)
{
    return u'[' + values.join(u',') + u']';
}

QString jsonOldNew(const QString &before, const QString &after)
{
    return JsonObject().add(QLatin1String("old"), before).add(QLatin1String("new"), after).text();
}
