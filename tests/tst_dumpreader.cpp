// SPDX-License-Identifier: MIT
// The memory-dump reader: the lines debuggers, boot monitors and the kernel print, as they print
// them, and lines that are none of those.
#include "dumpreader.h"

#include <QtTest>

namespace {

// "ADDRESS/BYTES=VALUE" for each value ("NAME/0=VALUE" for a named one, "?" for an unreadable
// value), space-separated: the values as the reader gives them.
QString flat(const DumpContents &contents)
{
    QStringList items;
    for (const DumpValue &value : contents.values) {
        const QString where = value.name >= 0 ? contents.names.at(value.name)
                                              : QString::number(value.address, 16);
        items.append(QStringLiteral("%1/%2=%3")
                             .arg(where)
                             .arg(value.bytes)
                             .arg(value.readable ? QString::number(value.value, 16)
                                                 : QStringLiteral("?")));
    }
    return items.join(u' ');
}

QString warnedLines(const DumpContents &contents)
{
    QStringList lines;
    for (const DumpWarning &warning : contents.warnings)
        lines.append(QString::number(warning.line));
    return lines.join(u',');
}

} // namespace

class tst_DumpReader : public QObject
{
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void errors_data();
    void errors();
    void largest();
};

void tst_DumpReader::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<quint64>("base");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("warnings"); // the lines warned about

    QTest::newRow("GDB x/4xw with a tag and its prompt")
            << QByteArray("(gdb) x/4xw 0x40020000\n"
                          "0x40020000 <GPIOA>:\t0xa8000000\t0x00000000\t0x0c000000\t0x00000000\n")
            << quint64(0) << "40020000/4=a8000000 40020004/4=0 40020008/4=c000000 4002000c/4=0"
            << QString();
    QTest::newRow("GDB x/8xb at a symbol's offset")
            << QByteArray("0x40020010 <GPIOA+16>:\t0x1f\t0x00\t0x00\t0x00\t0x01\t0x00\t0x00\t0xff")
            << quint64(0)
            << "40020010/1=1f 40020011/1=0 40020012/1=0 40020013/1=0 40020014/1=1 40020015/1=0 "
               "40020016/1=0 40020017/1=ff"
            << QString();
    QTest::newRow("GDB units mixed: x/2xh, then x/2xg without a tag")
            << QByteArray("0x40020000 <GPIOA>:\t0xa800\t0x0000\n"
                          "0x20000000:\t0x0000000000000001\t0xffffffffffffffff\n")
            << quint64(0) << "40020000/2=a800 40020002/2=0 20000000/8=1 20000008/8=ffffffffffffffff"
            << QString();
    // GDB's lines without a tag are read in one pass; any of them out of the common mould must
    // read as the same line does through the general reading.
    QTest::newRow("GDB without a tag: 0X, a gap of a blank and a tab, a lone byte, an address "
                  "of 20 digits")
            << QByteArray("0X20000000:\t0X00000001\n0x20000004:\t0x00000002 \t0x00000003\n"
                          "0x20000010:\t0x83\n0x00000000000000000020:\t0x01\n")
            << quint64(0) << "20000000/4=1 20000004/4=2 20000008/4=3 20000010/1=83 20/1=1"
            << QString();
    QTest::newRow("GDB without a tag, warned about: units mixed, of one digit, 0x left out, a "
                  "word after the values, nothing after the colon")
            << QByteArray("0x10:\t0x00000001\t0x0002\n0x10:\t0x1\t0x2\n0x10:\t0x01\t02\n"
                          "0x10:\t0x01\tzz\n0x10:\t0x\n0x10:\t\n0x10:\t0x01\t0x02\n")
            << quint64(0) << "10/1=1 11/1=2"
            << "1,2,3,4,5,6";
    QTest::newRow("GDB without a tag: a base, 64-bit words up to the last address")
            << QByteArray("0x0:\t0x0000000000000001\n0xfffffffffffffff0:\t0x0000000000000002\t"
                          "0xffffffffffffffff\n")
            << quint64(0) << "0/8=1 fffffffffffffff0/8=2 fffffffffffffff8/8=ffffffffffffffff"
            << QString();
    QTest::newRow("GDB, a C++ symbol with blanks and brackets, a lone word")
            << QByteArray("0x08000100 <std::vector<int, std::allocator<int> >::at(int)+4>:\t"
                          "0x00000083\n")
            << quint64(0) << "8000100/4=83" << QString();
    QTest::newRow("OpenOCD mdw, a trailing space, CRLF")
            << QByteArray("> mdw 0x40020000 8\r\n0x40020000: a8000000 00000000 0c000000 00000000 "
                          "00000000 00000000 00000000 00000000 \r\n")
            << quint64(0)
            << "40020000/4=a8000000 40020004/4=0 40020008/4=c000000 4002000c/4=0 40020010/4=0 "
               "40020014/4=0 40020018/4=0 4002001c/4=0"
            << QString();
    QTest::newRow("OpenOCD mdh and mdb")
            << QByteArray("0x40020000: a800 0000 \n0x40020004: 0c 00 00 00 \n") << quint64(0)
            << "40020000/2=a800 40020002/2=0 40020004/1=c 40020005/1=0 40020006/1=0 40020007/1=0"
            << QString();
    QTest::newRow("OpenOCD mdd on a 64-bit target")
            << QByteArray("0x0000000040020000: 00000000a8000000 0000000000000000 \n") << quint64(0)
            << "40020000/8=a8000000 40020008/8=0" << QString();
    QTest::newRow("J-Link mem32 with its echo, upper case")
            << QByteArray("J-Link>mem32 40020000, 4\n40020000 = A8000000 00000000 0C000000 "
                          "00000000 \n")
            << quint64(0) << "40020000/4=a8000000 40020004/4=0 40020008/4=c000000 4002000c/4=0"
            << QString();
    QTest::newRow("J-Link mem8 with its ASCII column, a region it could not read")
            << QByteArray("J-Link>mem8 20000000, 4\n20000000 = 41 42 00 FF   AB..\n"
                          "J-Link>mem32 E0000000, 1\nE0000000 = Could not read memory.\n"
                          "Could not read memory.\n")
            << quint64(0) << "20000000/1=41 20000001/1=42 20000002/1=0 20000003/1=ff" << QString();
    QTest::newRow("pyOCD read32, an ASCII column between bars")
            << QByteArray(">>> read32 0x40020000 16\n40020000:  a8000000 00000000 0c000000 "
                          "00000000    |................|\n")
            << quint64(0) << "40020000/4=a8000000 40020004/4=0 40020008/4=c000000 4002000c/4=0"
            << QString();
    QTest::newRow("pyOCD read8, a short last line padded, an ASCII column of hex letters")
            << QByteArray("40020000:  61 62 63 64 65 66                  |abcdef|\n") << quint64(0)
            << "40020000/1=61 40020001/1=62 40020002/1=63 40020003/1=64 40020004/1=65 "
               "40020005/1=66"
            << QString();
    QTest::newRow("U-Boot md.l, its ASCII column reads as hex digits")
            << QByteArray("=> md.l 40020000 2\n40020000: 64636261 00000000    abcd....\n")
            << quint64(0) << "40020000/4=64636261 40020004/4=0" << QString();
    QTest::newRow("U-Boot md.w, md.b and md.q")
            << QByteArray("40020000: a800 0000    ....\n40020004: 0c 00    ..\n"
                          "40020008: 0000000000000001    ........\n")
            << quint64(0) << "40020000/2=a800 40020002/2=0 40020004/1=c 40020005/1=0 40020008/8=1"
            << QString();
    QTest::newRow("devmem2: its chatter, a virtual address ignored, the value unpadded")
            << QByteArray("/dev/mem opened.\nMemory mapped at address 0xb6f7f000.\n"
                          "Value at address 0x40021000 (0xb6f7f000): 0x83\n")
            << quint64(0) << "40021000/0=83" << QString();
    QTest::newRow("one value a line: address and value, with and without a colon")
            << QByteArray("0x40021000 0x83\n0x40021004: 0x24003010\n40021008 00000083\n")
            << quint64(0) << "40021000/0=83 40021004/0=24003010 40021008/4=83" << QString();
    QTest::newRow("one value a line: register names, decimal, 0x and 0b values")
            << QByteArray("RCC.CR 131\nRCC.CFGR = 0x0000000A\nGPIOA.ODR=0b101\n"
                          "UART[1].CR = 0\n_X 7\nRCC.CR = 0X4001_4000\nRCC.CR 1'000\n"
                          "RCC.CR 0B1010_0101\nRCC.CR 0x_25\nRCC.CR 33_\nRCC.CR 0b12\n")
            << quint64(0)
            << "RCC.CR/0=83 RCC.CFGR/0=a GPIOA.ODR/0=5 UART[1].CR/0=0 _X/0=7 RCC.CR/0=40014000 "
               "RCC.CR/0=3e8 RCC.CR/0=a5"
            << "9,10,11";
    QTest::newRow("regmap offsets with a base, an unreadable register")
            << QByteArray("000: 00000001\n004: 00000083\n008: XXXXXXXX\n") << quint64(0x40021000)
            << "40021000/4=1 40021004/4=83 40021008/4=?" << QString();
    QTest::newRow("a base adds to every address")
            << QByteArray("0x10:\t0x0001\n") << quint64(0x100) << "110/2=1" << QString();
    QTest::newRow("comments and blank lines")
            << QByteArray("# before the init call\n\n   \n\t\n0x40020000: 00 \n") << quint64(0)
            << "40020000/1=0" << QString();
    QTest::newRow("lines of no known form are skipped whole, the rest read")
            << QByteArray("hello world\n0x40020000:\n0x40020000: a8000000 0000000\n"
                          "0x40020000: a80\nGPIOA.ODR\nGPIOA.ODR 0x1 0x2\n"
                          "0x40020000: 0xa8000000 00000000\n"
                          "40020000: 00000000    00000000 00000000 00000000\n"
                          "Value at address 0x40021000 (0xb6f7f000): 83\nGPIOA.ODR = x12\n"
                          "9x 5\n0x40020004 0x1\n")
            << quint64(0) << "40020004/0=1"
            << "1,2,3,4,5,6,7,8,9,10,11";
    QTest::newRow("the same address twice: both values, in line order")
            << QByteArray("0x40020000: 00000001 \n0x40020000: 00000002 \n") << quint64(0)
            << "40020000/4=1 40020000/4=2" << QString();
    QTest::newRow("every form in one dump, as the README shows each")
            << QByteArray("> mdw 0x40050004 3\n0x40050004: 00000010 00000000 01f40000 \n"
                          "J-Link>mem32 4005000C, 2\n4005000C = 01F40000 0000C34F \n"
                          "J-Link>mem32 E0000000, 1\nE0000000 = Could not read memory.\n"
                          "pyocd> read8 0x40050004 4\n40050004:  10 00 00 00    |....|\n"
                          "=> md.l 40034024 2\n40034024: 00000043 0000000d    C.......\n"
                          "/dev/mem opened.\nMemory mapped at address 0xb6f7f000.\n"
                          "Value at address 0x40034024 (0xb6f7f024): 0x43\n"
                          "0x40034024 0x43\n0x40034028: 0xd\nPWM.CH0_CC 0x01f40000\n"
                          "PWM.CH0_TOP = 49999\n")
            << quint64(0)
            << "40050004/4=10 40050008/4=0 4005000c/4=1f40000 4005000c/4=1f40000 40050010/4=c34f "
               "40050004/1=10 40050005/1=0 40050006/1=0 40050007/1=0 40034024/4=43 40034028/4=d "
               "40034024/0=43 40034024/0=43 40034028/0=d PWM.CH0_CC/0=1f40000 PWM.CH0_TOP/0=c34f"
            << QString();
    QTest::newRow("an empty dump") << QByteArray() << quint64(0) << QString() << QString();
    QTest::newRow("no line break at the end, a lone CR")
            << QByteArray("0x40020000: 01\r") << quint64(0) << "40020000/1=1" << QString();
    QTest::newRow("the last address of 64 bits")
            << QByteArray("0xffffffffffffffff: 7f\n0x00000000000000000000fffffffffffffffe: 0001\n")
            << quint64(0) << "ffffffffffffffff/1=7f fffffffffffffffe/2=1" << QString();
}

void tst_DumpReader::lines()
{
    QFETCH(QByteArray, text);
    QFETCH(quint64, base);
    QFETCH(QString, values);
    QFETCH(QString, warnings);
    DumpOptions options;
    options.base = base;
    const DumpContents contents = readDump(text, options);
    QVERIFY2(contents.error.isEmpty(), qPrintable(contents.error));
    QCOMPARE(flat(contents), values);
    QCOMPARE(warnedLines(contents), warnings);
}

void tst_DumpReader::errors_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<quint64>("base");
    QTest::addColumn<qint64>("line");
    QTest::addColumn<QString>("error"); // a part of it

    QTest::newRow("an address beyond 64 bits")
            << QByteArray("0x40020000: 00\n0x140020000000000000: 00\n") << quint64(0) << qint64(2)
            << "beyond 64 bits";
    QTest::newRow("a devmem2 address beyond 64 bits")
            << QByteArray("Value at address 0x10000000000000000 (0xb6f7f000): 0x83\n") << quint64(0)
            << qint64(1) << "beyond 64 bits";
    QTest::newRow("values running past the last address")
            << QByteArray("0xfffffffffffffffc: 00000000 00000000 \n") << quint64(0) << qint64(1)
            << "past the last address";
    QTest::newRow("a base that wraps")
            << QByteArray("\n004: 00000083\n") << ~quint64(0) << qint64(2) << "with the base";
    QTest::newRow("a value wider than its line's unit")
            << QByteArray("0x40020000: a8000000 000000001 \n") << quint64(0) << qint64(1)
            << "wider than the line's unit of 32 bits";
    QTest::newRow("a value wider than 64 bits") << QByteArray("0x40020000: 10000000000000000\n")
                                                << quint64(0) << qint64(1) << "wider than 64 bits";
    QTest::newRow("a lone value wider than 64 bits")
            << QByteArray("0x40020000 0x10000000000000000\n") << quint64(0) << qint64(1)
            << "wider than 64 bits";
    QTest::newRow("a register's value wider than 64 bits")
            << QByteArray("RCC.CR 18446744073709551616\n") << quint64(0) << qint64(1)
            << "wider than 64 bits";
    QTest::newRow("GDB without a tag: a value of 17 digits")
            << QByteArray("0x10:\t0x0000000000000000\n0x20:\t0x10000000000000000\n") << quint64(0)
            << qint64(2) << "wider than 64 bits";
    QTest::newRow("GDB without a tag: values past the last address")
            << QByteArray("0xfffffffffffffffc:\t0x00000000\t0x00000000\n") << quint64(0)
            << qint64(1) << "past the last address";
    QTest::newRow("GDB without a tag: a base that wraps")
            << QByteArray("0x10:\t0x00000000\n") << ~quint64(0) << qint64(1) << "with the base";
    QTest::newRow("a NUL byte") << QByteArray("0x40020000: 00\n\n0x4\0", 20) << quint64(0)
                                << qint64(3) << "binary bytes (0x00)";
    QTest::newRow("an escape byte")
            << QByteArray("0x40020000: 00\x1b[0m\n") << quint64(0) << qint64(1) << "binary";
    QTest::newRow("DEL") << QByteArray("\x7f") << quint64(0) << qint64(1) << "binary";
}

void tst_DumpReader::errors()
{
    QFETCH(QByteArray, text);
    QFETCH(quint64, base);
    QFETCH(qint64, line);
    QFETCH(QString, error);
    DumpOptions options;
    options.base = base;
    const DumpContents contents = readDump(text, options);
    QVERIFY2(contents.error.contains(error), qPrintable(contents.error));
    QCOMPARE(contents.line, line);
    // Nothing of an unusable dump is used.
    QVERIFY(contents.values.isEmpty() && contents.warnings.isEmpty());
}

void tst_DumpReader::largest()
{
    // A line of one value a byte at the limit reads; a byte more is refused before any reading.
    QByteArray text;
    text.reserve(maxDumpSize + 1);
    const QByteArray line("0x40020000: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n");
    while (text.size() + line.size() <= maxDumpSize)
        text += line;
    text += QByteArray(maxDumpSize - text.size(), '\n');
    const DumpContents whole = readDump(text);
    QVERIFY2(whole.error.isEmpty(), qPrintable(whole.error));
    QCOMPARE(whole.values.size(), (maxDumpSize / line.size()) * 16);
    text += '\n';
    const DumpContents over = readDump(text);
    QVERIFY(over.error.contains(QLatin1String("larger than 16 MiB")));
    QVERIFY(over.values.isEmpty());
}

QTEST_GUILESS_MAIN(tst_DumpReader)
#include "tst_dumpreader.moc"
