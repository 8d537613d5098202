// SPDX-License-Identifier: MIT
// A description's registers looked up by name, by address and by pattern, and the peripherals the
// model lists with where their registers lie.
#include "svdlookup.h"
#include "svdnumber.h"

#include <QtTest>

namespace {

// Registers given as (name, addressOffset, size) in one peripheral at base.
QByteArray peripheral(const QByteArray &name, const QByteArray &base, const QByteArray &registers,
                      const QByteArray &more = {})
{
    return "<peripheral><name>" + name + "</name><baseAddress>" + base + "</baseAddress>" + more
            + "<registers>" + registers + "</registers></peripheral>";
}

QByteArray reg(const QByteArray &name, const QByteArray &offset, int size = 32,
               const QByteArray &more = {})
{
    return "<register><name>" + name + "</name><addressOffset>" + offset + "</addressOffset><size>"
            + QByteArray::number(size) + "</size>" + more + "</register>";
}

QByteArray device(const QByteArray &peripherals)
{
    return "<device><name>T</name><peripherals>" + peripherals + "</peripherals></device>";
}

// "NAME@address" of each register, in the order given.
QStringList flat(const QList<const SvdRegister *> &registers)
{
    QStringList names;
    for (const SvdRegister *r : registers)
        names.append(r->name + u'@' + QString::number(r->address, 16));
    return names;
}

// Registers sharing addresses, out of address order in the file, of several sizes; a name given
// twice (a peripheral listed twice); the ends of the address space.
QByteArray lookedUp()
{
    return device(peripheral("B", "0x100",
                             reg("CTRL", "0x0", 32,
                                 "<description>Clock control</description><fields><field><name>"
                                 "EN</name><bitOffset>0</bitOffset></field></fields>")
                                     + reg("WIDE", "0x8", 64) + reg("BYTE", "0x10", 8)
                                     + reg("ALIAS", "0x0", 16))
                  + peripheral("A", "0x100", reg("CTRL", "0x0", 16) + reg("LOW", "0x0", 8, ""))
                  + peripheral("Z", "0", reg("FIRST", "0x0", 8))
                  + peripheral("Top", "0xFFFFFFFFFFFFFFFC", reg("LAST", "0x0", 32))
                  + peripheral("b", "0x400", reg("Ctrl", "0x0", 32)));
}

} // namespace

class tst_SvdLookup : public QObject
{
    Q_OBJECT

private slots:
    void lookUp_data();
    void lookUp();
    void peripherals_data();
    void peripherals();
};

void tst_SvdLookup::lookUp_data()
{
    QTest::addColumn<QString>("by"); // name, at, holding, pattern, text, word or word text
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("found");

    QTest::newRow("a name without case, every register of it in file order")
            << "name"
            << "b.CTRL" << QStringList { "B.CTRL@100", "b.Ctrl@400" };
    QTest::newRow("no such name") << "name"
                                  << "B.CTL" << QStringList();
    QTest::newRow("an address: aliases and alternates in file order, not address order")
            << "at"
            << "0x100" << QStringList { "B.CTRL@100", "B.ALIAS@100", "A.CTRL@100", "A.LOW@100" };
    QTest::newRow("an address between registers") << "at"
                                                  << "0x104" << QStringList();
    QTest::newRow("inside a 64-bit register, at its last byte")
            << "holding"
            << "0x10F" << QStringList { "B.WIDE@108" };
    QTest::newRow("the byte after a 64-bit register is the next one's")
            << "holding"
            << "0x110" << QStringList { "B.BYTE@110" };
    QTest::newRow("a byte taken by registers of three sizes")
            << "holding"
            << "0x101" << QStringList { "B.CTRL@100", "B.ALIAS@100", "A.CTRL@100" };
    QTest::newRow("address 0, nothing below it") << "holding"
                                                 << "0" << QStringList { "Z.FIRST@0" };
    QTest::newRow("the last address there is")
            << "holding"
            << "0xFFFFFFFFFFFFFFFF" << QStringList { "Top.LAST@fffffffffffffffc" };
    QTest::newRow("a wildcard on the whole name or the own one, fields after their register")
            << "pattern"
            << "^(?:b\\.ctrl|en)$" << QStringList { "B.CTRL@100", "B.CTRL.EN@100", "b.Ctrl@400" };
    QTest::newRow("descriptions only when asked") << "text"
                                                  << "clock" << QStringList { "B.CTRL@100" };
    QTest::newRow("descriptions not asked") << "pattern"
                                            << "^clock$" << QStringList();
    QTest::newRow("a plain word inside names, without case")
            << "word"
            << "tR" << QStringList { "B.CTRL@100", "B.CTRL.EN@100", "A.CTRL@100", "b.Ctrl@400" };
    QTest::newRow("a plain word across the dot of a field's full name")
            << "word"
            << "L.e" << QStringList { "B.CTRL.EN@100" };
    QTest::newRow("a plain word in descriptions when asked")
            << "word text"
            << "LOCK C" << QStringList { "B.CTRL@100" };
}

void tst_SvdLookup::lookUp()
{
    QFETCH(QString, by);
    QFETCH(QString, query);
    QFETCH(QStringList, found);

    const SvdRegisters registers = readSvdRegisters(lookedUp());
    QVERIFY2(registers.error.isEmpty(), qPrintable(registers.error));
    quint64 address = 0;
    if (by == QLatin1String("at") || by == QLatin1String("holding"))
        QVERIFY(parseSvdNumber(query, &address));
    QStringList got;
    if (by == QLatin1String("name")) {
        got = flat(SvdNameIndex(registers).all(query));
        const SvdRegister *first = SvdNameIndex(registers).first(query);
        QCOMPARE(first ? flat({ first }) : QStringList(), found.mid(0, 1));
    } else if (by == QLatin1String("at")) {
        got = flat(SvdAddressIndex(registers).at(address));
    } else if (by == QLatin1String("holding")) {
        got = flat(SvdAddressIndex(registers).holding(address));
    } else if (by.startsWith(QLatin1String("word"))) {
        for (const SvdPatternMatch &match :
             svdRegistersHolding(registers, query, by.endsWith(QLatin1String("text"))))
            got.append((match.field ? match.reg->name + u'.' + match.field->name : match.reg->name)
                       + u'@' + QString::number(match.reg->address, 16));
    } else {
        const QRegularExpression pattern(query, QRegularExpression::CaseInsensitiveOption);
        const bool text = by == QLatin1String("text");
        for (const SvdPatternMatch &match : svdRegistersMatching(
                     registers, text ? QRegularExpression(QStringLiteral("^$")) : pattern,
                     text ? &pattern : nullptr))
            got.append((match.field ? match.reg->name + u'.' + match.field->name : match.reg->name)
                       + u'@' + QString::number(match.reg->address, 16));
    }
    QCOMPARE(got, found);
    // Address order holds every register once, and keeps file order at one address.
    const SvdAddressIndex index(registers);
    const std::vector<const SvdRegister *> &ordered = index.inAddressOrder();
    QCOMPARE(qsizetype(ordered.size()), registers.registers.size());
    QVERIFY(std::is_sorted(
            ordered.cbegin(), ordered.cend(), [](const SvdRegister *a, const SvdRegister *b) {
                return a->address < b->address || (a->address == b->address && a < b);
            }));
}

void tst_SvdLookup::peripherals_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("peripherals"); // NAME@address:first+count

    QTest::newRow("an array of peripherals, a derived one, one without registers")
            << device(peripheral("P%s", "0x1000", reg("R", "0") + reg("S", "4"),
                                 "<dim>2</dim><dimIncrement>0x100</dimIncrement>")
                      + "<peripheral derivedFrom=\"P%s\"><name>Q</name><baseAddress>0x2000"
                        "</baseAddress></peripheral>"
                      + peripheral("E", "0x3000", "") + peripheral("F", "0x4000", reg("R", "8")))
            << QStringList { "P0@1000:0+2", "P1@1100:2+2", "Q@2000:4+2", "E@3000:6+0",
                             "F@4000:6+1" };
    QTest::newRow("a peripheral left out with its unreadable address")
            << device(peripheral("A", "0xZZ", reg("R", "0")) + peripheral("B", "8", reg("R", "0")))
            << QStringList { "B@8:0+1" };
}

void tst_SvdLookup::peripherals()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, peripherals);

    const SvdRegisters registers = readSvdRegisters(xml);
    QVERIFY2(registers.error.isEmpty(), qPrintable(registers.error));
    QStringList got;
    for (const SvdPeripheral &p : registers.peripherals) {
        got.append(QStringLiteral("%1@%2:%3+%4")
                           .arg(p.name, QString::number(p.address, 16))
                           .arg(p.firstRegister)
                           .arg(p.registerCount));
        // Each register of a peripheral lies at or above its base.
        for (qsizetype k = p.firstRegister; k < p.firstRegister + p.registerCount; ++k) {
            QVERIFY(registers.registers.at(k).name.startsWith(p.name + u'.'));
            QVERIFY(registers.registers.at(k).address >= p.address);
        }
    }
    QCOMPARE(got, peripherals);
}

QTEST_GUILESS_MAIN(tst_SvdLookup)
#include "tst_svdlookup.moc"
