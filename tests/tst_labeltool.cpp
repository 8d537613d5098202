// The label tool as a user runs it: arguments, output, exit status, and the files it writes.
#include "childrun.h"
#include "labelfile.h"
#include "labelwindow.h"
#include "settingsreference.h"
#include "svdimport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QByteArray smallSvd = R"(<?xml version="1.0" encoding="utf-8"?>
<device><name>T</name><peripherals>
  <peripheral><name>GPIOA</name><registers>
    <register><name>ODR</name><fields>
      <field><name>OD0</name><bitOffset>0</bitOffset><bitWidth>1</bitWidth></field>
      <field><name>MODE</name><bitOffset>2</bitOffset><bitWidth>2</bitWidth></field>
    </fields></register>
  </registers></peripheral>
  <peripheral><name>UART</name><registers>
    <register><name>CR</name><fields>
      <field><name>EN</name><bitRange>[0:0]</bitRange></field>
    </fields></register>
  </registers></peripheral>
</peripherals></device>
)";

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray fromFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool toFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// "N\tUnused" and the tail for each bit from first to 31.
QByteArray unusedLines(int first, const QByteArray &tail)
{
    QByteArray lines;
    for (int bit = first; bit < 32; ++bit)
        lines += QByteArray::number(bit) + "\tUnused" + tail + '\n';
    return lines;
}

} // namespace

class tst_LabelTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commands_data();
    void commands();
    void importInto_data();
    void importInto();
    void realDescriptions_data();
    void realDescriptions();

private:
    // Runs the tool copied into the scratch directory (or the copy at tool), after the prefix (a
    // command that drops root's rights, say); "@name" arguments name files there.
    Run run(const QStringList &arguments, const QStringList &prefix = {},
            const QString &tool = {}) const;
    QString path(const QString &name) const { return scratch.filePath(name); }

    QTemporaryDir scratch;
};

Run tst_LabelTool::run(const QStringList &arguments, const QStringList &prefix,
                       const QString &tool) const
{
    QStringList resolved;
    for (const QString &argument : arguments)
        resolved.append(argument.startsWith(u'@') ? path(argument.mid(1)) : argument);
    QProcess process;
    QStringList command = prefix;
    command << (tool.isEmpty() ? path(QStringLiteral("K732-118-labels")) : tool) << resolved;
    process.start(command.takeFirst(), command);
    Run result;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void tst_LabelTool::initTestCase()
{
    QVERIFY(scratch.isValid());
    // Reachable by the unprivileged user too.
    QVERIFY(QFile::setPermissions(scratch.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                          | QFile::ReadOther | QFile::ExeOther));
    // A copy, so that the label file beside it (the default FILE) is this test's own.
    QVERIFY(QFile::copy(QStringLiteral(LABEL_TOOL), path(QStringLiteral("K732-118-labels"))));
    const QString example = QStringLiteral(EXAMPLE_DIR "/K732-118.ini");
    QVERIFY(QFile::copy(example, path(QStringLiteral("K732-118.ini"))));
    QVERIFY(QFile::copy(example, path(QStringLiteral("example.ini"))));
    QVERIFY(toFile(path(QStringLiteral("empty.ini")), QByteArray()));
    QVERIFY(toFile(path(QStringLiteral("nul.ini")), QByteArray("[bitlabels]\nA\\b=0\n\0", 19)));
    QVERIFY(toFile(path(QStringLiteral("warn.ini")), "[bitlabels]\nA\\b=x\n"));
    QVERIFY(QDir(scratch.path()).mkdir(QStringLiteral("dir.ini")));
    QVERIFY(toFile(path(QStringLiteral("unreadable.ini")), "[bitlabels]\nA\\b=0\n"));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("unreadable.ini")), {}));
    QFile big(path(QStringLiteral("big.ini"))); // sparse: costs no disk
    QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(maxLabelFileSize + 1));
    QVERIFY(toFile(path(QStringLiteral("lines.ini")), QByteArray(maxLabelFileLines + 1, '\n')));
    QByteArray manySets("[bitlabels]\n");
    for (qsizetype k = 0; k <= maxLabelSets; ++k)
        manySets += "S" + QByteArray::number(k) + "\\a=0\n";
    QVERIFY(toFile(path(QStringLiteral("sets.ini")), manySets));
    // Lists 40,000 deep in "@Variant", which overflowed the stack of the settings class.
    const QByteArray deep = variantValue(nestedLists(40000));
    QVERIFY(toFile(path(QStringLiteral("deep.ini")),
                   "[bitlabels]\nDeep\\A=0\nDeep\\B=" + deep + '\n'));
    QVERIFY(toFile(path(QStringLiteral("deepother.ini")), "[Other]\nx=" + deep + '\n'));
    QVERIFY(toFile(path(QStringLiteral("small.svd")), smallSvd));
    QVERIFY(toFile(path(QStringLiteral("cut.svd")), smallSvd.left(200)));
    QVERIFY(toFile(path(QStringLiteral("other.svd")), "<device><name>T</name></device>"));
}

void tst_LabelTool::commands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out"); // exactly
    QTest::addColumn<QString>("err"); // a part of it; empty: nothing at all

    const QByteArray motor37 = "37\n0x00000025\n0000 0000 0000 0000 0000 0000 0010 0101\n"
                               "0\tReady\n2\tReverse\n5\tStalled\n";
    QTest::newRow("--version") << QStringList { "--version" } << 0
                               << QByteArray("K732-118-labels 100\n") << QString();
    QTest::newRow("no command") << QStringList() << 2 << QByteArray() << "a command is needed";
    QTest::newRow("unknown command")
            << QStringList { "list" } << 2 << QByteArray() << "unknown command 'list'";
    QTest::newRow("unknown option")
            << QStringList { "show", "--all" } << 2 << QByteArray() << "show: Unknown option 'all'";

    QTest::newRow("show: the sets of the file beside the tool")
            << QStringList { "show" } << 0 << QByteArray("Alarm\t3\nMotor\t8\n") << QString();
    QTest::newRow("show: one set of the file beside the tool")
            << QStringList { "show", "Alarm" } << 0
            << "0\tSupply low\tenabled\n1\tTempérature haute\tenabled\n2\tDoor open\tenabled\n"
                    + unusedLines(3, "\tdisabled")
            << QString();
    QTest::newRow("show: an empty file shows the default set")
            << QStringList { "show", "@empty.ini" } << 0 << QByteArray("Generic\t32\n") << "no set";
    QTest::newRow("show: unknown set") << QStringList { "show", "@example.ini", "Pump" } << 2
                                       << QByteArray() << "example.ini: error: no set \"Pump\"";
    QTest::newRow("show: a NUL byte") << QStringList { "show", "@nul.ini" } << 2 << QByteArray()
                                      << "nul.ini: error: holds a NUL byte";

    QTest::newRow("decode: hexadecimal")
            << QStringList { "decode", "@example.ini", "--set", "Motor", "0x25" } << 0 << motor37
            << QString();
    QTest::newRow("decode: binary, default file")
            << QStringList { "decode", "--set=Motor", "0b100101" } << 0 << motor37 << QString();
    QTest::newRow("decode: a bit beyond the set shows Unused")
            << QStringList { "decode", "--set", "Alarm", "4294967295" } << 0
            << "4294967295\n0xFFFFFFFF\n" + QByteArray("1111 ").repeated(7)
                    + "1111\n0\tSupply low\n1\tTempérature haute\n2\tDoor open\n"
                    + unusedLines(3, "")
            << QString();
    QTest::newRow("decode: 2^32 is too large")
            << QStringList { "decode", "--set", "Motor", "4294967296" } << 2 << QByteArray()
            << "'4294967296' is no value";
    QTest::newRow("decode: no digits after 0x")
            << QStringList { "decode", "--set", "Motor", "0x" } << 2 << QByteArray() << "no value";
    QTest::newRow("decode: a blank in the value")
            << QStringList { "decode", "--set", "Motor", " 5" } << 2 << QByteArray() << "no value";
    QTest::newRow("decode: no --set")
            << QStringList { "decode", "5" } << 2 << QByteArray() << "--set SET is needed";

    QTest::newRow("encode: labels of a named file")
            << QStringList { "encode", "@example.ini", "--set", "Motor", "Ready", "Stalled" } << 0
            << QByteArray("33\n0x00000021\n") << QString();
    QTest::newRow("encode: non-ASCII label, default file")
            << QStringList { "encode", "--set", "Alarm", "Température haute" } << 0
            << QByteArray("2\n0x00000002\n") << QString();
    QTest::newRow("encode: unknown label")
            << QStringList { "encode", "--set", "Alarm", "Unused" } << 2 << QByteArray()
            << "set \"Alarm\" shows no label \"Unused\"";

    QTest::newRow("check: clean") << QStringList { "check", "@example.ini" } << 0
                                  << QByteArray("2 sets, 0 warnings\n") << QString();
    QTest::newRow("check: warnings")
            << QStringList { "check", "@warn.ini" } << 1 << QByteArray("1 set, 1 warning\n")
            << "warn.ini:2: warning: the value \"x\"";
    QTest::newRow("check: a directory") << QStringList { "check", "@dir.ini" } << 2 << QByteArray()
                                        << "dir.ini: error: is a directory";
    QTest::newRow("check: unreadable")
            << QStringList { "(unprivileged)", "check", "@unreadable.ini" } << 2 << QByteArray()
            << "unreadable.ini: error: cannot be read";
    QTest::newRow("check: over the size limit")
            << QStringList { "check", "@big.ini" } << 2 << QByteArray()
            << "big.ini: error: is larger than 16 MiB";
    QTest::newRow("check: over the line limit")
            << QStringList { "check", "@lines.ini" } << 2 << QByteArray()
            << "lines.ini: error: has more than 1000000 lines";
    QTest::newRow("show: over the set limit")
            << QStringList { "show", "@sets.ini" } << 2 << QByteArray()
            << "sets.ini: error: holds more than 50000 sets";
    QTest::newRow("show: beside it, in a directory named in Latin-1")
            << QStringList { "(latin1 directory)", "show" } << 2 << QByteArray()
            << "cannot be represented";
    QTest::newRow("check: a label holding lists 40,000 deep in @Variant")
            << QStringList { "check", "@deep.ini" } << 1 << QByteArray("1 set, 3 warnings\n")
            << "deep.ini:3: warning: the value \"@Variant(";
    QTest::newRow("show: a label holding lists 40,000 deep in @Variant")
            << QStringList { "show", "@deep.ini" } << 0 << QByteArray("Deep\t2\n") << QString();
    QTest::newRow("show: lists 40,000 deep in another section, no set")
            << QStringList { "show", "@deepother.ini" } << 0 << QByteArray("Generic\t32\n")
            << "deepother.ini: note: no set";
    QTest::newRow("check: no such file") << QStringList { "check", "@none.ini" } << 2
                                         << QByteArray() << "none.ini: error: no such file";

    QTest::newRow("import-svd: to standard output, only one peripheral")
            << QStringList { "import-svd", "@small.svd", "--only", "UART.*" } << 0
            << QByteArray("[bitlabels]\nUART.CR\\EN=0\n")
            << "small.svd: 2 registers read, 1 set written to standard output, 1 left out by "
               "--only, 0 skipped";
    QTest::newRow("import-svd: malformed XML")
            << QStringList { "import-svd", "@cut.svd" } << 2 << QByteArray() << "cut.svd:5:";
    QTest::newRow("import-svd: no peripherals")
            << QStringList { "import-svd", "@other.svd" } << 2 << QByteArray() << "other.svd:1:";
    QTest::newRow("import-svd: --output refuses an existing file")
            << QStringList { "import-svd", "@small.svd", "--output", "@example.ini" } << 2
            << QByteArray() << "example.ini: error: exists";
    QTest::newRow("import-svd: --into needs a label file")
            << QStringList { "import-svd", "@small.svd", "--into", "@dir.ini" } << 2 << QByteArray()
            << "dir.ini: error: is a directory";
    QTest::newRow("import-svd: --into and --output")
            << QStringList { "import-svd", "@small.svd", "--into", "@a.ini", "--output", "@b.ini" }
            << 2 << QByteArray() << "exclude each other";
}

void tst_LabelTool::commands()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QString, err);
    const QByteArray example = fromFile(path(QStringLiteral("example.ini")));
    QStringList prefix;
    if (arguments.value(0) == QLatin1String("(unprivileged)")) {
        arguments.removeFirst();
#ifdef Q_OS_UNIX
        if (!childrun::unprivilegedPrefix(&prefix)) {
            // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
            QTest::qSkip("runs as root without setpriv to drop root's rights", __FILE__, __LINE__);
            return;
        }
#else
        {
            // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
            QTest::qSkip("file modes that deny reading are a Unix matter", __FILE__, __LINE__);
            return;
        }
#endif
    }

    QString tool;
#ifdef Q_OS_LINUX
    // A copy in a directory whose Latin-1 name is no valid UTF-8, started through a link.
    const QByteArray latin1 = QFile::encodeName(path(QStringLiteral("Donn")))
            + "\xe9"
              "es";
    const QByteArray latin1Tool = latin1 + "/K732-118-labels";
    const auto removeLatin1 = qScopeGuard([&] {
        ::unlink(latin1Tool.constData());
        ::rmdir(latin1.constData());
        QFile::remove(path(QStringLiteral("latin1")));
    });
    if (arguments.value(0) == QLatin1String("(latin1 directory)")) {
        arguments.removeFirst();
        QCOMPARE(::mkdir(latin1.constData(), 0755), 0);
        QCOMPARE(::link(QFile::encodeName(path(QStringLiteral("K732-118-labels"))).constData(),
                        latin1Tool.constData()),
                 0);
        QCOMPARE(::symlink(latin1.constData(),
                           QFile::encodeName(path(QStringLiteral("latin1"))).constData()),
                 0);
        tool = path(QStringLiteral("latin1/K732-118-labels"));
    }
#else
    if (arguments.value(0) == QLatin1String("(latin1 directory)")) {
        QTest::qSkip("directory names in another encoding are a Linux matter", __FILE__, __LINE__);
        return;
    }
#endif

    const Run result = run(arguments, prefix, tool);
    QCOMPARE(result.out, out);
    const QString errText = QString::fromUtf8(result.err);
    QVERIFY2(err.isEmpty() ? errText.isEmpty() : errText.contains(err), qPrintable(errText));
    // Only the tool's own messages reach the user, never one of Qt's.
    QVERIFY2(!errText.contains(QLatin1String("QSettings")), qPrintable(errText));
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(fromFile(path(QStringLiteral("example.ini"))), example);
}

void tst_LabelTool::importInto_data()
{
    QTest::addColumn<QByteArray>("before"); // empty: no file, --output
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QString>("err");

    QTest::newRow("--output: a new file")
            << QByteArray() << QStringList { "GPIOA.ODR", "UART.CR" } << "2 sets written";
    QTest::newRow("--into: an empty file")
            << QByteArray("") << QStringList { "GPIOA.ODR", "UART.CR" } << "2 sets written";
    QTest::newRow("--into: CRLF, byte order mark, comments, a section after")
            << QByteArray("\xef\xbb\xbf; mine\r\n[bitlabels]\r\nMotor\\Run=0\r\n; end\r\n"
                          "[other]\r\nkeep=1")
            << QStringList { "GPIOA.ODR", "UART.CR" } << "2 sets written";
    QTest::newRow("--into: a set already there is not added")
            << QByteArray("[bitlabels]\nUART.CR\\Mine=0\n") << QStringList { "GPIOA.ODR" }
            << "UART.CR: already in";
}

void tst_LabelTool::importInto()
{
    QFETCH(QByteArray, before);
    QFETCH(QStringList, added);
    QFETCH(QString, err);
    const QString target = path(QStringLiteral("into.ini"));
    QFile::remove(target);
    if (!before.isNull())
        QVERIFY(toFile(target, before));
    const LabelSets old = readLabelSetsFromFile(target, QStringLiteral("bitlabels"));

    const Run result = run(
            { QStringLiteral("import-svd"), QStringLiteral("@small.svd"),
              before.isNull() ? QStringLiteral("--output") : QStringLiteral("--into"), target });
    QVERIFY2(QString::fromUtf8(result.err).contains(err), result.err.constData());
    QCOMPARE(result.exitCode, 0);

    // Every old byte in place: the new lines are one block somewhere in the old text.
    const QByteArray after = fromFile(target);
    qsizetype prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before.at(prefix) == after.at(prefix))
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix
           && before.at(before.size() - 1 - suffix) == after.at(after.size() - 1 - suffix))
        ++suffix;
    QCOMPARE(prefix + suffix, before.size());

    // The window's reader: the old sets as they were, the new ones as the description gives them.
    const LabelSets now = readLabelSetsFromFile(target, QStringLiteral("bitlabels"));
    const SvdImport svd = importSvd(smallSvd);
    for (qsizetype k = 0; k < now.names.size(); ++k) {
        const QString &name = now.names.at(k);
        const auto fromSvd = std::find_if(svd.sets.cbegin(), svd.sets.cend(),
                                          [&](const LabelSet &set) { return set.name == name; });
        if (added.contains(name))
            QCOMPARE(now.labels.at(k), fromSvd->labels);
        else
            QCOMPARE(now.labels.at(k), old.labels.at(old.names.indexOf(name)));
    }
    QCOMPARE(now.names.size(), old.names.size() + added.size());
}

void tst_LabelTool::realDescriptions_data()
{
    QTest::addColumn<QString>("svd");
    QTest::newRow("RP2040") << QStringLiteral(EXAMPLE_DIR "/svd/rp2040.svd");
    QTest::newRow("E310x") << QStringLiteral(EXAMPLE_DIR "/svd/e310x.svd");
}

void tst_LabelTool::realDescriptions()
{
    QFETCH(QString, svd);
    // The window reads the file beside its executable, which is this test's.
    const QString target = QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini");
    QFile::remove(target);
    const Run imported =
            run({ QStringLiteral("import-svd"), svd, QStringLiteral("--output"), target });
    QCOMPARE(imported.exitCode, 0);
    const Run checked = run({ QStringLiteral("check"), target });
    QStringList names;
    for (const LabelSet &set : importSvd(fromFile(svd)).sets)
        names.append(set.name);
    std::sort(names.begin(), names.end());
    QCOMPARE(checked.out, QStringLiteral("%1 sets, 0 warnings\n").arg(names.size()).toUtf8());
    QCOMPARE(checked.exitCode, 0);
    const QvMaskCalcWindow window;
    QCOMPARE(comboEntries(window), names);
    QFile::remove(target);
}

QTEST_MAIN(tst_LabelTool)
#include "tst_labeltool.moc"
