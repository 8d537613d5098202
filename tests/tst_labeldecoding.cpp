// SPDX-License-Identifier: MIT
// Turning a set's keys and values into the labels of the bits, away from files and widgets.
#include "labeldecoding.h"

#include <QtTest>

class tst_LabelDecoding : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void bitIndex_data();
    void bitIndex();
    void shownCaption_data();
    void shownCaption();
};

using Values = QList<QVariant>;

void tst_LabelDecoding::decode_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<Values>("values");
    QTest::addColumn<QStringList>("labels");

    const QStringList ab { "A", "B" };
    QTest::newRow("no keys") << QStringList() << Values() << QStringList();
    QTest::newRow("Ready 0, Error 2, Busy 1 in name order")
            << QStringList { "Busy", "Error", "Ready" } << Values { "1", "2", "0" }
            << QStringList { "Ready", "Busy", "Error" };
    QTest::newRow("A 1, B 1: A stays at 0 from the copy") << ab << Values { "1", "1" } << ab;
    QTest::newRow("A x, B 1: x counts as bit 0") << ab << Values { "x", "1" } << ab;
    QTest::newRow("duplicate value: the last key wins")
            << QStringList { "A", "B", "C" } << Values { "0", "0", "2" }
            << QStringList { "B", "B", "C" };
    QTest::newRow("value not below the count is skipped")
            << QStringList { "A", "B", "C" } << Values { "0", "3", "1" }
            << QStringList { "A", "C", "C" };
    QTest::newRow("negative value is skipped")
            << ab << Values { "-1", "0" } << QStringList { "B", "B" };
    QTest::newRow("4294967297 is skipped, not bit 1")
            << ab << Values { "4294967297", "0" } << QStringList { "B", "B" };
    QTest::newRow("2147483648 is skipped")
            << ab << Values { "2147483648", "0" } << QStringList { "B", "B" };
    QTest::newRow("30 digits are skipped")
            << ab << Values { QString(30, u'9'), "0" } << QStringList { "B", "B" };
    QTest::newRow("list value counts as bit 0")
            << ab << Values { QStringList { "1", "2" }, "0" } << QStringList { "B", "B" };
    QTest::newRow("missing values count as bit 0")
            << ab << Values { "1" } << QStringList { "B", "A" };
    QTest::newRow("keys in reverse bit order")
            << QStringList { "a", "b", "c", "d" } << Values { "3", "2", "1", "0" }
            << QStringList { "d", "c", "b", "a" };
}

void tst_LabelDecoding::decode()
{
    QFETCH(QStringList, keys);
    QFETCH(Values, values);
    QFETCH(QStringList, labels);
    QCOMPARE(decodeLabelSet(keys, values), labels);
}

void tst_LabelDecoding::bitIndex_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<qsizetype>("bit");

    // Four labels: bits 0 … 3, -1 for a key that is skipped.
    QTest::newRow("plain") << QVariant("1") << qsizetype(1);
    QTest::newRow("blanks around") << QVariant(" \t3\r\n") << qsizetype(3);
    QTest::newRow("plus sign") << QVariant("+2") << qsizetype(2);
    QTest::newRow("leading zeros") << QVariant("0000000000000002") << qsizetype(2);
    QTest::newRow("minus zero") << QVariant("-0") << qsizetype(0);
    QTest::newRow("first out of range") << QVariant("4") << qsizetype(-1);
    QTest::newRow("minus one") << QVariant("-1") << qsizetype(-1);
    QTest::newRow("int overflow") << QVariant("2147483648") << qsizetype(-1);
    QTest::newRow("wraps to 1 as int") << QVariant("4294967297") << qsizetype(-1);
    QTest::newRow("wraps to 1 as long long") << QVariant("18446744073709551617") << qsizetype(-1);
    QTest::newRow("huge negative") << QVariant("-" + QString(30, u'9')) << qsizetype(-1);
    QTest::newRow("empty") << QVariant("") << qsizetype(0);
    QTest::newRow("no value") << QVariant() << qsizetype(0);
    QTest::newRow("word") << QVariant("x") << qsizetype(0);
    QTest::newRow("sign only") << QVariant("-") << qsizetype(0);
    QTest::newRow("hexadecimal") << QVariant("0x3") << qsizetype(0);
    QTest::newRow("exponent") << QVariant("1e1") << qsizetype(0);
    QTest::newRow("fraction") << QVariant("3.0") << qsizetype(0);
    QTest::newRow("blank inside") << QVariant("1 2") << qsizetype(0);
    QTest::newRow("Arabic-Indic digit") << QVariant(QStringLiteral("\u0663")) << qsizetype(0);
    QTest::newRow("no-break space") << QVariant(QStringLiteral("\u00a03")) << qsizetype(0);
    QTest::newRow("list") << QVariant(QStringList { "1", "2" }) << qsizetype(0);
    QTest::newRow("byte array") << QVariant(QByteArray("3")) << qsizetype(0);
    QTest::newRow("stored integer") << QVariant(3) << qsizetype(0);
}

void tst_LabelDecoding::bitIndex()
{
    QFETCH(QVariant, value);
    QFETCH(qsizetype, bit);
    QCOMPARE(labelBitIndex(value, 4), bit);
}

void tst_LabelDecoding::shownCaption_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    const QString ellipsis(u'\u2026');
    const QString smile = QStringLiteral("\U0001F600");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("128 units whole") << QString(128, u'x') << QString(128, u'x');
    QTest::newRow("129 units cut") << QString(129, u'x') << QString(128, u'x') + ellipsis;
    QTest::newRow("a million units cut") << QString(1000000, u'x') << QString(128, u'x') + ellipsis;
    QTest::newRow("surrogate pair across the cut kept out whole")
            << QString(127, u'x') + smile << QString(127, u'x') + ellipsis;
    QTest::newRow("surrogate pair at the end kept whole")
            << QString(126, u'x') + smile << QString(126, u'x') + smile;
    QTest::newRow("8 lines whole") << QStringLiteral("1\n2\r3\r\n4\v5\f6\u20287\u20298")
                                   << QStringLiteral("1\n2\r3\r\n4\v5\f6\u20287\u20298");
    QTest::newRow("9 lines cut before the 9th")
            << QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\u00859")
            << QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8") + ellipsis;
    QTest::newRow("line breaks alone") << QString(20, u'\n') << QString(7, u'\n') + ellipsis;
    QTest::newRow("CR LF pairs count once, lone CRs each")
            << QString(7, u'\r') + QStringLiteral("\r\n") << QString(7, u'\r') + ellipsis;
}

void tst_LabelDecoding::shownCaption()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(::shownCaption(text), shown);
}

QTEST_GUILESS_MAIN(tst_LabelDecoding)
#include "tst_labeldecoding.moc"
