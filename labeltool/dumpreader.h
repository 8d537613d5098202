// SPDX-License-Identifier: MIT
// Reading memory dumps as debuggers, boot monitors and the kernel print them: addresses and values,
// line by line, without knowing what the registers are.
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// A dump larger than this is refused whole: real dumps of a device's registers run to a few hundred
// KiB (65,536 words printed by GDB take about 1.2 MiB), and within it every path stays linear.
inline constexpr qint64 maxDumpSize = qint64(16) * 1024 * 1024;

// One value the dump gives, in the order of its lines.
struct DumpValue
{
    quint64 address = 0; // the first byte's, --base added; unused with a name
    quint64 value = 0;
    qint64 line = 0; // 1-based
    qint32 name = -1; // an index into DumpContents::names: "REGISTER VALUE" gives no address
    // 1, 2, 4 or 8 bytes, from the value's digits; 0: a whole register's value ("REGISTER VALUE",
    // devmem2, "ADDRESS 0x83"), which takes the size of the register it names.
    quint8 bytes = 0;
    bool readable = true; // false: the dump says the memory could not be read ("XXXXXXXX")
};

// The warnings a dump keeps: a wrong file makes one a line, and millions of them would cost more
// than the dump; the rest are counted.
inline constexpr qsizetype maxDumpWarnings = 1000;

struct DumpWarning
{
    qint64 line = 0;
    QString message;
};

struct DumpContents
{
    QList<DumpValue> values;
    QStringList names; // register names as the lines write them
    QList<DumpWarning> warnings; // lines of no known form, skipped whole; in line order
    qint64 moreWarnings = 0; // beyond the first maxDumpWarnings, not kept
    QString error; // empty when the dump can be used; otherwise why not (nothing else is usable)
    qint64 line = 0; // where, with error
};

struct DumpOptions
{
    // Added to every address: for dumps written as offsets from a device's base (Linux regmap).
    quint64 base = 0;
};

// Reads every line of a dump. Recognised, each line on its own (a dump may mix them):
//   GDB        0x40020000 <GPIOA+16>:\t0x00000000\t0x0000001f   (x/Nx{b,h,w,g}; the tag optional)
//   OpenOCD    0x40020000: a8000000 00000000                       (md{b,h,w,d})
//   J-Link     40020000 = A8000000 00000000                        (mem8/16/32; or "Could not
//              read memory.", which gives no value)
//   pyOCD      40020000:  a8000000 00000000    |................|  (read8/16/32)
//   U-Boot     40020000: a8000000 00000000    ................    (md.{b,w,l,q})
//   regmap     004: 00000083                                       ("XXXXXXXX": not readable)
//   devmem2    Value at address 0x40021000 (0xb6f7f000): 0x83
//   and one value a line: ADDRESS VALUE, ADDRESS: VALUE, REGISTER VALUE, REGISTER = VALUE.
// Addresses are hexadecimal, with or without 0x. A value of 2, 4, 8 or 16 hexadecimal digits has
// that unit; all values of a line have the same. A lone 0x value after an address, and the value
// after a register's name (decimal, 0x hexadecimal or 0b binary, as reg takes it), is a whole
// register's. After the values, two spaces or more start the ASCII column, which is ignored.
// Prompts and command echoes ("(gdb) …", "J-Link>…", "> …", "=> …"), devmem2's chatter, "#"
// comments and blank lines are skipped quietly; any other line is a warning.
//
// Errors, which make the whole dump unusable: more than maxDumpSize bytes, a control byte other
// than tab, CR or LF (a binary file), an address beyond 64 bits or one that wraps with the base or
// the unit, a value wider than its line's unit or beyond 64 bits.
DumpContents readDump(QByteArrayView text, const DumpOptions &options = {});
