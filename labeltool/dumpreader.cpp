// SPDX-License-Identifier: MIT
// Reading memory dumps line by line: each line's form is told from its own characters, so that a
// dump may mix debuggers' outputs, and a line of no known form costs a warning, not the dump.
#include "dumpreader.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>

namespace {

constexpr quint64 maxAddress = std::numeric_limits<quint64>::max();

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Each byte's value as a hexadecimal digit, -1 for none: one look-up per character of a dump.
constexpr auto hexDigits = [] {
    std::array<qint8, 256> digits {};
    for (int c = 0; c < 256; ++c)
        digits[std::size_t(c)] = c >= '0' && c <= '9' ? qint8(c - '0')
                : c >= 'a' && c <= 'f'                ? qint8(c - 'a' + 10)
                : c >= 'A' && c <= 'F'                ? qint8(c - 'A' + 10)
                                                      : qint8(-1);
    return digits;
}();

int hexDigit(char c)
{
    return hexDigits[static_cast<unsigned char>(c)];
}

bool allHex(QByteArrayView text)
{
    for (const char c : text) {
        if (hexDigit(c) < 0)
            return false;
    }
    return !text.isEmpty();
}

bool hasHexPrefix(QByteArrayView text)
{
    return text.size() > 2 && text.at(0) == '0' && (text.at(1) == 'x' || text.at(1) == 'X');
}

// The digits after any leading zeros: what decides whether a number fits 64 bits.
qsizetype significantDigits(QByteArrayView digits)
{
    qsizetype zeros = 0;
    while (zeros < digits.size() && digits.at(zeros) == '0')
        ++zeros;
    return digits.size() - zeros;
}

// Hexadecimal digits that fit 64 bits (checked by the caller).
quint64 hexNumber(QByteArrayView digits)
{
    quint64 value = 0;
    for (const char c : digits)
        value = (value << 4) | quint64(hexDigit(c));
    return value;
}

// A value as the label tool takes one: decimal, 0x hexadecimal or 0b binary, '_' or '\'' allowed
// between two digits. False for anything else; wide set when it is a number beyond 64 bits.
bool registerValue(QByteArrayView text, quint64 *value, bool *wide)
{
    *wide = false;
    int radix = 10;
    if (text.size() > 2 && text.at(0) == '0' && (text.at(1) == 'x' || text.at(1) == 'X'))
        radix = 16;
    else if (text.size() > 2 && text.at(0) == '0' && (text.at(1) == 'b' || text.at(1) == 'B'))
        radix = 2;
    const QByteArrayView digits = radix == 10 ? text : text.sliced(2);
    if (digits.isEmpty())
        return false;
    quint64 result = 0;
    for (qsizetype k = 0; k < digits.size(); ++k) {
        const char c = digits.at(k);
        const bool separator = (c == '_' || c == '\'') && k > 0 && k + 1 < digits.size()
                && hexDigit(digits.at(k - 1)) >= 0 && hexDigit(digits.at(k - 1)) < radix
                && hexDigit(digits.at(k + 1)) >= 0 && hexDigit(digits.at(k + 1)) < radix;
        if (separator)
            continue;
        const int digit = hexDigit(c);
        if (digit < 0 || digit >= radix)
            return false;
        if (result > (maxAddress - quint64(digit)) / quint64(radix)) {
            *wide = true;
            return false;
        }
        result = result * quint64(radix) + quint64(digit);
    }
    *value = result;
    return true;
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (isBlank(text.front()) || text.front() == '\r'))
        text = text.sliced(1);
    while (!text.isEmpty() && (isBlank(text.back()) || text.back() == '\r'))
        text.chop(1);
    return text;
}

// The first word of text: up to a blank, ':' or '='.
QByteArrayView firstWord(QByteArrayView text)
{
    qsizetype end = 0;
    while (end < text.size() && !isBlank(text.at(end)) && text.at(end) != ':'
           && text.at(end) != '=')
        ++end;
    return text.first(end);
}

QByteArrayView skipBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    return text;
}

// An ASCII letter or digit: a dump is read alike in every locale.
bool isAlphanumeric(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "J-Link>mem32 …", "pyocd> read32 …": a word, then '>'.
bool isPromptWord(QByteArrayView line)
{
    // Most lines hold no '>' at all.
    if (!std::memchr(line.data(), '>', std::size_t(line.size())))
        return false;
    qsizetype end = 0;
    while (end < line.size()
           && (isAlphanumeric(line.at(end)) || line.at(end) == '-' || line.at(end) == '_'))
        ++end;
    return end > 0 && end < line.size() && line.at(end) == '>';
}

// Prompts, command echoes and the chatter around values: nothing to read, nothing to warn about.
bool isChatter(QByteArrayView line)
{
    // Every one of them begins with one of these: a dump line mostly with a digit.
    switch (line.front()) {
    case '#':
    case '(':
    case '>':
    case '=':
    case '/':
    case 'M':
    case 'C':
        break;
    default:
        return isPromptWord(line);
    }
    static const char *const starts[] = {
        "#",
        "(gdb)",
        ">",
        "=>",
        "/dev/mem opened",
        "Memory mapped at address",
        "Could not read memory",
    };
    for (const char *start : starts) {
        if (line.startsWith(start))
            return true;
    }
    return isPromptWord(line);
}

class LineParser
{
public:
    LineParser(DumpContents *contents, const DumpOptions &options)
        : out(contents), base(options.base)
    {
    }

    void read(QByteArrayView line, qint64 number)
    {
        this->number = number;
        line = trimmed(line);
        if (line.isEmpty() || readGdbLine(line) || isChatter(line))
            return;
        const qsizetype before = out->values.size();
        if (!parse(line) && out->error.isEmpty()) {
            // A line is taken whole or not at all.
            out->values.resize(before);
            if (out->warnings.size() >= maxDumpWarnings)
                ++out->moreWarnings;
            else
                out->warnings.append({ number,
                                       warning.isEmpty() ? QStringLiteral("not a dump line of "
                                                                          "any known form")
                                                         : warning });
        }
        warning.clear();
    }

private:
    // The line GDB's x command prints without a tag, "0x20000000:\t0x00000000\t0x0000001f", read
    // in one pass: nearly every line of a large dump. Any other line, and any such line that the
    // reading below would refuse or warn about, is left to that reading (false, nothing taken).
    bool readGdbLine(QByteArrayView line)
    {
        const char *at = line.data();
        const char *const end = at + line.size();
        if (end - at < 3 || at[0] != '0' || at[1] != 'x')
            return false;
        at += 2;
        quint64 given = 0;
        const char *const digits = at;
        for (int digit; at < end && (digit = hexDigit(*at)) >= 0; ++at)
            given = (given << 4) | quint64(digit);
        if (at == digits || at - digits > 16 || at == end || *at != ':'
            || given > maxAddress - base)
            return false;
        ++at;
        QVarLengthArray<quint64, 16> values;
        qsizetype unitDigits = 0;
        while (at < end) {
            if (end - at < 4 || at[0] != '\t' || at[1] != '0' || at[2] != 'x')
                return false;
            at += 3;
            const char *const first = at;
            quint64 value = 0;
            for (int digit; at < end && (digit = hexDigit(*at)) >= 0; ++at)
                value = (value << 4) | quint64(digit);
            if (at == first || (unitDigits != 0 && at - first != unitDigits)
                || (at < end && *at != '\t'))
                return false;
            unitDigits = at - first;
            values.append(value);
        }
        if (unitDigits != 2 && unitDigits != 4 && unitDigits != 8 && unitDigits != 16)
            return false;
        const quint64 start = given + base;
        const quint64 unit = quint64(unitDigits / 2);
        if (unit * quint64(values.size()) - 1 > maxAddress - start)
            return false;
        quint64 address = start;
        for (const quint64 value : std::as_const(values)) {
            out->values.append({ address, value, number, -1, quint8(unit), true });
            address += unit;
        }
        return true;
    }

    bool fail(const QString &message)
    {
        out->error = message;
        out->line = number;
        return false;
    }
    bool skip(const QString &message)
    {
        warning = message;
        return false;
    }

    // The address a word of hexadecimal digits gives, the base added; false with the error set
    // when it lies beyond 64 bits.
    bool address(QByteArrayView digits, quint64 *result)
    {
        if (significantDigits(digits) > 16)
            return fail(QStringLiteral("the address %1 lies beyond 64 bits")
                                .arg(QString::fromLatin1(
                                        digits.first(qMin<qsizetype>(digits.size(), 40)))));
        const quint64 given = hexNumber(digits);
        if (given > maxAddress - base)
            return fail(QStringLiteral("the address 0x%1 with the base 0x%2 lies beyond 64 bits")
                                .arg(QString::number(given, 16).toUpper(),
                                     QString::number(base, 16).toUpper()));
        *result = given + base;
        return true;
    }

    bool parse(QByteArrayView line)
    {
        static const char devmem[] = "Value at address ";
        if (line.front() == 'V' && line.startsWith(devmem))
            return parseDevmem(line.sliced(qsizetype(sizeof devmem) - 1));
        const QByteArrayView word = firstWord(line);
        const QByteArrayView rest = skipBlanks(line.sliced(word.size()));
        const char next = rest.isEmpty() ? '\0' : rest.front();
        if (hasHexPrefix(word) && allHex(word.sliced(2)))
            return parseAddressed(word.sliced(2), rest);
        const bool dumpAddress = allHex(word)
                && (next == ':' || ((word.size() == 8 || word.size() == 16) && next != '<'));
        if (dumpAddress)
            return parseAddressed(word, rest);
        return parseNamed(word, rest);
    }

    // "0x40021000 (0xb6f7f000): 0x83": the second address is the mapping's, of no use here.
    bool parseDevmem(QByteArrayView text)
    {
        const QByteArrayView word = firstWord(text);
        if (!hasHexPrefix(word) || !allHex(word.sliced(2)))
            return false;
        quint64 at = 0;
        if (!address(word.sliced(2), &at))
            return false;
        const qsizetype colon = text.lastIndexOf(':');
        if (colon < word.size())
            return false;
        const QByteArrayView value = trimmed(text.sliced(colon + 1));
        if (!hasHexPrefix(value) || !allHex(value.sliced(2)))
            return skip(QStringLiteral("devmem2's value is no hexadecimal number"));
        if (significantDigits(value.sliced(2)) > 16)
            return fail(QStringLiteral("the value %1 is wider than 64 bits")
                                .arg(QString::fromLatin1(
                                        value.first(qMin<qsizetype>(value.size(), 40)))));
        out->values.append({ at, hexNumber(value.sliced(2)), number, -1, 0, true });
        return true;
    }

    // "REGISTER VALUE", "REGISTER = VALUE".
    bool parseNamed(QByteArrayView name, QByteArrayView rest)
    {
        if (name.isEmpty()
            || !(std::isalpha(static_cast<unsigned char>(name.front())) || name.front() == '_'))
            return false;
        if (rest.startsWith('='))
            rest = skipBlanks(rest.sliced(1));
        if (rest.isEmpty())
            return false;
        for (const char c : rest) {
            if (isBlank(c))
                return false;
        }
        quint64 value = 0;
        bool wide = false;
        if (!registerValue(rest, &value, &wide)) {
            if (wide)
                return fail(QStringLiteral("the value of %1 is wider than 64 bits")
                                    .arg(QString::fromLatin1(name)));
            return false;
        }
        // Each name once: a dump may name the same few registers on every line.
        auto known = names.constFind(name.toByteArray());
        if (known == names.cend()) {
            out->names.append(QString::fromLatin1(name));
            known = names.insert(name.toByteArray(), qint32(out->names.size() - 1));
        }
        out->values.append({ 0, value, number, known.value(), 0, true });
        return true;
    }

    // An address, then a GDB tag or ':' or '=' or only blanks, then values.
    bool parseAddressed(QByteArrayView digits, QByteArrayView rest)
    {
        quint64 start = 0;
        if (!address(digits, &start))
            return false;
        bool tabbed = false; // GDB's: a tag, or a tab after the colon
        if (rest.startsWith('<')) {
            // The last one: a C++ symbol may hold ">:" itself ("<a<b> >::f+4>:").
            const qsizetype end = rest.lastIndexOf(">:");
            if (end < 0)
                return false;
            rest = rest.sliced(end + 2);
            tabbed = true;
        } else if (rest.startsWith(':') || rest.startsWith('=')) {
            rest = rest.sliced(1);
        }
        tabbed = tabbed || rest.startsWith('\t');
        rest = skipBlanks(rest);
        if (rest.startsWith("Could not read memory"))
            return true; // J-Link: a region without values
        return parseValues(start, rest, tabbed);
    }

    bool parseValues(quint64 start, QByteArrayView text, bool tabbed)
    {
        // A word read in one pass: its digits' value, how many there are, and how many after the
        // leading zeros (more than 16 do not fit 64 bits, and the value is then of no use).
        struct Word
        {
            QByteArrayView digits;
            quint64 value;
            qsizetype significant;
            bool prefixed;
            bool unreadable;
        };
        // Real lines hold up to 16 values: those stay off the heap.
        QVarLengthArray<Word, 16> words;
        qsizetype unitDigits = 0;
        qsizetype position = 0;
        const qsizetype size = text.size();
        const char *const data = text.data();
        while (position < size) {
            // The digits are read as the word's end is looked for: one pass over its characters.
            const bool prefixed = size - position > 2 && data[position] == '0'
                    && (data[position + 1] == 'x' || data[position + 1] == 'X')
                    && !isBlank(data[position + 2]);
            const qsizetype first = prefixed ? position + 2 : position;
            qsizetype end = first;
            quint64 value = 0;
            for (; end < size; ++end) {
                const int digit = hexDigit(data[end]);
                if (digit < 0)
                    break;
                value = (value << 4) | quint64(digit);
            }
            // Only a word of more than 16 digits may not fit.
            const qsizetype significant = end - first > 16
                    ? significantDigits(QByteArrayView(data + first, end - first))
                    : end - first;
            bool hex = end > first;
            if (end < size && !isBlank(data[end])) {
                hex = false;
                while (end < size && !isBlank(data[end]))
                    ++end;
            }
            const QByteArrayView word(data + position, end - position);
            Word parsed { QByteArrayView(data + first, end - first), value, significant, prefixed,
                          false };
            if (!hex) {
                parsed.unreadable = !parsed.prefixed && !word.isEmpty()
                        && word.count('X') + word.count('x') == word.size();
                if (!parsed.unreadable)
                    return words.isEmpty()
                            ? false
                            : skip(QStringLiteral("\"%1\" is no value")
                                           .arg(QString::fromLatin1(
                                                   word.first(qMin<qsizetype>(word.size(), 40)))));
                parsed.value = 0;
                parsed.significant = 0;
            }
            if (words.isEmpty()) {
                unitDigits = parsed.digits.size();
            } else if (parsed.prefixed != words.front().prefixed) {
                return skip(QStringLiteral("values with and without 0x on one line"));
            } else if (parsed.digits.size() > unitDigits && !parsed.unreadable) {
                return fail(QStringLiteral("the value %1 is wider than the line's unit of %2 "
                                           "bits")
                                    .arg(QString::fromLatin1(
                                            word.first(qMin<qsizetype>(word.size(), 40))))
                                    .arg(unitDigits * 4));
            } else if (parsed.digits.size() != unitDigits) {
                return skip(QStringLiteral("values of %1 and %2 digits on one line")
                                    .arg(unitDigits)
                                    .arg(parsed.digits.size()));
            }
            if (parsed.significant > 16)
                return fail(QStringLiteral("the value %1 is wider than 64 bits")
                                    .arg(QString::fromLatin1(
                                            word.first(qMin<qsizetype>(word.size(), 40)))));
            words.append(parsed);
            // One space or tabs between values; two spaces or more start the ASCII column.
            qsizetype next = end;
            bool tab = false;
            while (next < size && isBlank(data[next])) {
                tab = tab || data[next] == '\t';
                ++next;
            }
            if (next - end >= 2 && !tab) {
                const QByteArrayView column = text.sliced(next);
                // Within the bytes on the line (between '|'s for pyOCD): else the values go on
                // after a wider gap, which no tool prints.
                const qsizetype bytes = words.size() * ((unitDigits + 1) / 2);
                if (column.size() > bytes + 2)
                    return skip(QStringLiteral("values after a wide gap, or an ASCII column "
                                               "longer than the line's bytes"));
                break;
            }
            position = next;
        }
        if (words.isEmpty())
            return false;
        // A lone 0x value after an address, not GDB's: a whole register's value, of any width.
        if (words.size() == 1 && words.front().prefixed && !tabbed) {
            out->values.append({ start, words.front().value, number, -1, 0, true });
            return true;
        }
        if (unitDigits != 2 && unitDigits != 4 && unitDigits != 8 && unitDigits != 16)
            return skip(QStringLiteral("values of %1 digits are no unit of 8, 16, 32 or 64 bits")
                                .arg(unitDigits));
        const quint64 unit = quint64(unitDigits / 2);
        const quint64 span = unit * quint64(words.size());
        if (span - 1 > maxAddress - start)
            return fail(QStringLiteral("the line's values run past the last address of 64 bits"));
        quint64 at = start;
        for (const Word &word : std::as_const(words)) {
            out->values.append({ at, word.value, number, -1, quint8(unit), !word.unreadable });
            at += unit;
        }
        return true;
    }

    DumpContents *out;
    QHash<QByteArray, qint32> names; // index in out->names
    quint64 base;
    qint64 number = 0;
    QString warning;
};

} // namespace

DumpContents readDump(QByteArrayView text, const DumpOptions &options)
{
    DumpContents contents;
    if (text.size() > maxDumpSize) {
        contents.error =
                QStringLiteral("is larger than %1 MiB").arg(maxDumpSize / (qint64(1024) * 1024));
        return contents;
    }
    // Binary bytes first: a binary file is no dump, whatever lines happen to read as one. Its line
    // is counted only once one is found.
    static constexpr auto binaryBytes = [] {
        std::array<bool, 256> binary {};
        for (int c = 0; c < 256; ++c)
            binary[std::size_t(c)] = (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7f;
        return binary;
    }();
    const auto binary = std::find_if(text.cbegin(), text.cend(), [](char c) {
        return binaryBytes[static_cast<unsigned char>(c)];
    });
    if (binary != text.cend()) {
        contents.error = QStringLiteral("holds binary bytes (0x%1): no text dump")
                                 .arg(static_cast<unsigned char>(*binary), 2, 16, QLatin1Char('0'));
        contents.line = 1 + std::count(text.cbegin(), binary, '\n');
        return contents;
    }
    qint64 line = 0;
    LineParser parser(&contents, options);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        parser.read(text.sliced(start, end - start), ++line);
        if (!contents.error.isEmpty()) {
            contents.values.clear();
            contents.names.clear();
            contents.warnings.clear();
            return contents;
        }
        start = end + 1;
    }
    return contents;
}
