// SPDX-License-Identifier: MIT
// What the worst register descriptions cost import-svd, reg and find: each generated at the size of
// a real description (4 MB) or as a few bytes that once cost gigabytes, and each command run as a
// process of its own under the memory and processor-time bounds the README states. A run that
// passes a bound is ended by the kernel and fails.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#if defined(__SANITIZE_ADDRESS__)
#define MASKCALC_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MASKCALC_SANITIZED 1
#endif
#endif

namespace {

constexpr rlim_t oneGiB = rlim_t(1) << 30;
constexpr rlim_t processorSeconds = 10;
constexpr qsizetype realSize = qsizetype(4) * 1000 * 1000;

QByteArray device(const QByteArray &peripherals, const QByteArray &doctype = {})
{
    return "<?xml version=\"1.0\"?>\n" + doctype + "<device><name>T</name><peripherals>\n"
            + peripherals + "</peripherals></device>\n";
}

QByteArray peripheral(const QByteArray &name, const QByteArray &registers)
{
    return "<peripheral><name>" + name + "</name><baseAddress>0x40000000</baseAddress><registers>"
            + registers + "</registers></peripheral>\n";
}

// Pieces made by piece(k) until the text reaches the size of a real description.
template<typename Piece>
QByteArray upToRealSize(Piece piece)
{
    QByteArray text;
    for (qsizetype k = 0; text.size() < realSize; ++k)
        text += piece(k);
    return text;
}

QByteArray description(const QString &kind)
{
    const QByteArray field = "<field><name>F</name><bitOffset>0</bitOffset></field>";
    if (kind == u"a 10,000-character name in 20,000 registers")
        return device(peripheral("P",
                                 "<register><name>" + QByteArray(10000, 'N')
                                         + "%s</name><dim>20000</dim><dimIncrement>4"
                                           "</dimIncrement><addressOffset>0</addressOffset>"
                                           "<fields>"
                                         + field + "</fields></register>"));
    if (kind == u"names just within the budget") {
        // 20,000 registers of 3,000 characters: 60 million characters made.
        return device(peripheral("P",
                                 "<register><name>" + QByteArray(3000, 'N')
                                         + "%s</name><dim>20000</dim><dimIncrement>4"
                                           "</dimIncrement><addressOffset>0</addressOffset>"
                                           "<fields>"
                                         + field + "</fields></register>"));
    }
    if (kind == u"an entity of 4,000 characters referenced throughout")
        return device(peripheral("P",
                                 "<register><name>R</name><addressOffset>0</addressOffset>"
                                 "<description>"
                                         + upToRealSize([](qsizetype) { return "&e;"; })
                                         + "</description><fields>" + field
                                         + "</fields></register>"),
                      "<!DOCTYPE device [<!ENTITY e \"" + QByteArray(4000, 'x') + "\">]>\n");
    if (kind == u"registers derived from registers that do not exist")
        return device(peripheral("P", upToRealSize([](qsizetype k) {
                                     const QByteArray n = QByteArray::number(k);
                                     return "<register derivedFrom=\"NONE" + n + "\"><name>R" + n
                                             + "</name><addressOffset>" + QByteArray::number(4 * k)
                                             + "</addressOffset></register>\n";
                                 })));
    if (kind == u"fields derived from fields that do not exist")
        return device(peripheral("P",
                                 "<register><name>R</name><addressOffset>0</addressOffset>"
                                 "<fields>"
                                         + upToRealSize([](qsizetype k) {
                                               const QByteArray n = QByteArray::number(k);
                                               return "<field derivedFrom=\"NONE" + n + "\"><name>F"
                                                       + n + "</name></field>\n";
                                           })
                                         + "</fields></register>"));
    if (kind == u"enumerated values derived from names that do not exist")
        return device(peripheral("P",
                                 "<register><name>R</name><addressOffset>0</addressOffset>"
                                 "<fields>"
                                         + upToRealSize([](qsizetype k) {
                                               const QByteArray n = QByteArray::number(k);
                                               return "<field><name>F" + n
                                                       + "</name><bitOffset>0</bitOffset>"
                                                         "<enumeratedValues derivedFrom=\"NO"
                                                       + n + "\"/></field>\n";
                                           })
                                         + "</fields></register>"));
    if (kind == u"peripherals named %s%s…%s") {
        const QByteArray name = QByteArray("%s").repeated(40);
        return device(upToRealSize([&name](qsizetype) {
                          return "<peripheral><name>" + name
                                  + "</name><baseAddress>0</baseAddress></peripheral>\n";
                      })
                      + peripheral("Q", "<register><name>R</name></register>"));
    }
    if (kind == u"a field array of 900,000 that does not step")
        return device(peripheral("P",
                                 "<register><name>R</name><addressOffset>0</addressOffset>"
                                 "<fields><field><name>F%s</name><dim>900000</dim>"
                                 "<dimIncrement>0</dimIncrement><bitOffset>0</bitOffset>"
                                 "</field></fields></register>"));
    if (kind == u"60,000 registers, more sets than a label file holds")
        return device(peripheral("P",
                                 "<register><name>R%s</name><dim>60000</dim><dimIncrement>4"
                                 "</dimIncrement><addressOffset>0</addressOffset><fields>"
                                         + field + "</fields></register>"));
    return {};
}

} // namespace

class tst_SvdBounds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();

private:
    QTemporaryDir scratch;
};

void tst_SvdBounds::initTestCase()
{
#ifdef MASKCALC_SANITIZED
    // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
    QTest::qSkip("the sanitizers' shadow memory does not fit an address-space limit", __FILE__,
                 __LINE__);
    return;
#endif
    QVERIFY(scratch.isValid());
}

void tst_SvdBounds::commands_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("arguments"); // SVD stands for the generated file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err"); // a part of standard error

    const QString budget = QStringLiteral("more names and labels than any device has");
    const QString longNames = QStringLiteral("a 10,000-character name in 20,000 registers");
    QTest::newRow("a 10,000-character name in 20,000 registers, import-svd")
            << longNames << QStringList { "import-svd", "SVD" } << 2 << budget;
    QTest::newRow("a 10,000-character name in 20,000 registers, find")
            << longNames << QStringList { "find", "SVD", "R" } << 2 << budget;
    const QString within = QStringLiteral("names just within the budget");
    QTest::newRow("names just within the budget, import-svd")
            << within << QStringList { "import-svd", "SVD" } << 2 << budget;
    QTest::newRow("names just within the budget, find")
            << within << QStringList { "find", "SVD", "*" } << 0 << QString();
    const QString entity = QStringLiteral("an entity of 4,000 characters referenced throughout");
    QTest::newRow("entities, import-svd") << entity << QStringList { "import-svd", "SVD" } << 2
                                          << "the entities of the DTD expand to more than";
    QTest::newRow("entities, find") << entity << QStringList { "find", "SVD", "F" } << 2
                                    << "the entities of the DTD expand to more than";
    QTest::newRow("entities, reg") << entity << QStringList { "reg", "SVD", "P.R", "1" } << 2
                                   << "the entities of the DTD expand to more than";
    const QString registers = QStringLiteral("registers derived from registers that do not exist");
    QTest::newRow("registers derived from nothing, import-svd")
            << registers << QStringList { "import-svd", "SVD" } << 0 << "registers read";
    QTest::newRow("registers derived from nothing, find")
            << registers << QStringList { "find", "SVD", "R1" } << 0 << QString();
    const QString fields = QStringLiteral("fields derived from fields that do not exist");
    QTest::newRow("fields derived from nothing, import-svd")
            << fields << QStringList { "import-svd", "SVD" } << 0 << "register read";
    QTest::newRow("fields derived from nothing, reg")
            << fields << QStringList { "reg", "SVD", "P.R", "0" } << 0 << QString();
    const QString values = QStringLiteral("enumerated values derived from names that do not exist");
    QTest::newRow("enumerated values derived from nothing, reg")
            << values << QStringList { "reg", "SVD", "P.R", "0" } << 0 << QString();
    QTest::newRow("enumerated values derived from nothing, find")
            << values << QStringList { "find", "SVD", "F1" } << 0 << QString();
    QTest::newRow("peripherals named %s%s…%s, reg by a long name")
            << QStringLiteral("peripherals named %s%s…%s")
            << QStringList { "reg", "SVD", QString(60, u'x') + QLatin1String(".r"), "0" } << 2
            << "no register";
    const QString array = QStringLiteral("a field array of 900,000 that does not step");
    QTest::newRow("a field array that does not step, reg")
            << array << QStringList { "reg", "SVD", "P.R", "1" } << 0 << QString();
    QTest::newRow("a field array that does not step, import-svd")
            << array << QStringList { "import-svd", "SVD", "--verbose" } << 0
            << "lie on the bits of instance 0";
    QTest::newRow("more sets than a label file holds, import-svd")
            << QStringLiteral("60,000 registers, more sets than a label file holds")
            << QStringList { "import-svd", "SVD" } << 2
            << "the sets make 60000 sets, beyond the label file's limit of 50000 sets; choose "
               "fewer "
               "with --only";
}

void tst_SvdBounds::commands()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, err);

    const QString svd = scratch.filePath(QStringLiteral("worst.svd"));
    {
        QFile file(svd);
        const QByteArray text = description(kind);
        QVERIFY(!text.isEmpty());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    arguments.replaceInStrings(QRegularExpression(QStringLiteral("^SVD$")), svd);
    QProcess tool;
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setChildProcessModifier([] {
        const rlimit space { oneGiB, oneGiB };
        const rlimit cpu { processorSeconds, processorSeconds + 1 };
        ::setrlimit(RLIMIT_AS, &space);
        ::setrlimit(RLIMIT_CPU, &cpu);
    });
    tool.start(QStringLiteral(LABEL_TOOL), arguments);
    // Generous: the bound that counts is the processor time.
    const bool finished = tool.waitForFinished(300000);
    const QString said = QString::fromUtf8(tool.readAllStandardError()).left(2000);
    if (!finished)
        tool.kill();
    QVERIFY2(finished, "did not end within five minutes");
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit,
             qPrintable(QStringLiteral("ended by signal %1 (past a bound?): %2")
                                .arg(tool.exitCode())
                                .arg(said)));
    QVERIFY2(tool.exitCode() == exitCode, qPrintable(said));
    QVERIFY2(said.contains(err), qPrintable(said));
}

QTEST_GUILESS_MAIN(tst_SvdBounds)
#include "tst_svdbounds.moc"
