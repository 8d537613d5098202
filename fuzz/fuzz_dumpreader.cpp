// SPDX-License-Identifier: MIT
// Fuzzes the memory-dump reader: the input bytes are the dump; a first line "# base DIGITS" (a
// comment to the reader) gives the base in hexadecimal. Whatever it returns must hold together:
// an error alone, or values whose bytes lie within 64 bits and fit their units, named values with
// a name, warnings on lines of the input in order; and the same dump read line by line must give
// the same values, since each line is read on its own.
#include "dumpreader.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cctype>
#include <cstdint>

namespace {

bool sameValues(const DumpContents &a, const DumpContents &b)
{
    if (a.values.size() != b.values.size())
        return false;
    for (qsizetype k = 0; k < a.values.size(); ++k) {
        const DumpValue &x = a.values.at(k);
        const DumpValue &y = b.values.at(k);
        if (x.address != y.address || x.value != y.value || x.bytes != y.bytes
            || x.readable != y.readable || (x.name >= 0) != (y.name >= 0)
            || (x.name >= 0 && a.names.at(x.name) != b.names.at(y.name)))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    DumpOptions options;
    if (text.startsWith("# base ")) {
        for (qsizetype k = 7; k < text.size() && k < 23 && std::isxdigit(uchar(text.at(k))); ++k)
            options.base =
                    (options.base << 4) | quint64(QByteArray(1, text.at(k)).toUInt(nullptr, 16));
    }
    const DumpContents contents = readDump(text, options);
    const qint64 lines = text.count('\n') + 1;
    if (!contents.error.isEmpty()) {
        if (!contents.values.isEmpty() || !contents.warnings.isEmpty() || contents.line < 0
            || contents.line > lines)
            fail("an error with values or warnings, or at a line the dump does not have");
        return 0;
    }
    qint64 previous = 0;
    for (const DumpValue &value : contents.values) {
        if (value.line < previous || value.line < 1 || value.line > lines)
            fail("values out of line order");
        previous = value.line;
        if (value.name >= 0
            && (value.name >= contents.names.size() || value.bytes != 0
                || contents.names.at(value.name).isEmpty()))
            fail("a named value without its name, or with a unit");
        if (value.bytes != 0 && value.bytes != 1 && value.bytes != 2 && value.bytes != 4
            && value.bytes != 8)
            fail("a unit of no size");
        if (value.bytes != 0 && value.bytes != 8 && value.value >> (8 * value.bytes))
            fail("a value wider than its unit");
        if (value.bytes != 0 && value.address > ~quint64(0) - quint64(value.bytes - 1))
            fail("a value past the last address");
        if (!value.readable && value.value != 0)
            fail("an unreadable value with a value");
    }
    previous = 0;
    for (const DumpWarning &warning : contents.warnings) {
        if (warning.line <= previous || warning.line > lines || warning.message.isEmpty())
            fail("warnings out of line order, or without a message");
        previous = warning.line;
    }
    // Line by line: the same values.
    DumpContents joined;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const DumpContents one = readDump(text.sliced(start, end - start), options);
        if (!one.error.isEmpty())
            fail("a line alone is an error, though the whole dump is not");
        for (DumpValue value : one.values) {
            if (value.name >= 0) {
                joined.names.append(one.names.at(value.name));
                value.name = qint32(joined.names.size() - 1);
            }
            joined.values.append(value);
        }
        start = end + 1;
    }
    if (!sameValues(contents, joined))
        fail("a line reads otherwise within the dump than alone");
    return 0;
}
