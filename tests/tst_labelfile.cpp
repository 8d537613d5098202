// SPDX-License-Identifier: MIT
// The label file beside the executable: what the window reads from it and what it writes into it.
#include "childrun.h"
#include "labelfile.h"
#include "labelwindow.h"

#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Set in the copy of this test that withoutRights() starts as an unprivileged user.
const char childVariable[] = "TST_LABELFILE_CHILD";

QString labelFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void removePath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

QStringList genericLabels()
{
    return numbered(QStringLiteral("Bit "), 32, 1);
}

void verifyGenericShown(const QvMaskCalcWindow &window)
{
    QCOMPARE(comboEntries(window), QStringList { "Generic" });
    QCOMPARE(boxTexts(window), genericLabels());
}

// The 32 lines of the default set as the toolkit's INI writer puts them, in bit order.
QByteArray genericLines(const QByteArray &lineBreak)
{
    QByteArray lines;
    for (int n = 1; n <= 32; ++n)
        lines += "Generic\\Bit%20" + QByteArray::number(n) + '=' + QByteArray::number(n - 1)
                + lineBreak;
    return lines;
}

QByteArray platformLineBreak()
{
#ifdef Q_OS_WIN
    return "\r\n";
#else
    return "\n";
#endif
}

// The default set as the toolkit reads it back from the file: label → value.
QMap<QString, QString> genericAsRead(const QString &path)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("bitlabels/Generic"));
    QMap<QString, QString> keys;
    const QStringList childKeys = settings.childKeys();
    for (const QString &key : childKeys)
        keys.insert(key, settings.value(key).toString());
    return keys;
}

QMap<QString, QString> genericAsWritten()
{
    QMap<QString, QString> keys;
    for (int n = 1; n <= 32; ++n)
        keys.insert(QStringLiteral("Bit %1").arg(n), QString::number(n - 1));
    return keys;
}

// Names, kinds, sizes and times of everything in a directory, and the label file's bytes: a
// write, a new lock or scratch file, or a replaced link all show up in it.
QStringList snapshot(const QString &dirPath)
{
    QStringList entries;
    const QFileInfoList infos = QDir(dirPath).entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : infos) {
        entries.append(QStringLiteral("%1 link=%2 %3 dir=%4 size=%5 time=%6")
                               .arg(info.fileName())
                               .arg(info.isSymLink())
                               .arg(info.symLinkTarget())
                               .arg(info.isDir())
                               .arg(info.size())
                               .arg(info.lastModified().toMSecsSinceEpoch()));
    }
    const QFileInfo ini(dirPath + QStringLiteral("/K732-118.ini"));
    if (ini.isFile() && ini.size() < qint64(1024) * 1024)
        entries.append(QString::fromLatin1(readFile(ini.filePath()).toHex()));
    return entries;
}

} // namespace

class tst_LabelFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartWritesGeneric();
    void secondStartLeavesFileAlone();
    void firstStartBytes_data();
    void firstStartBytes();
    void existingSets_data();
    void existingSets();
    void defaultWriteKeepsText_data();
    void defaultWriteKeepsText();
    void unusableFileLeftAlone_data();
    void unusableFileLeftAlone();
    void symbolicLink_data();
    void symbolicLink();
    void withoutRights_data();
    void withoutRights();
    void exampleFile();
};

void tst_LabelFile::init()
{
    // Nothing the program prints during these tests is acceptable, whatever the file holds.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    if (!qEnvironmentVariableIsSet(childVariable))
        removePath(labelFile());
}

void tst_LabelFile::cleanup()
{
    if (qEnvironmentVariableIsSet(childVariable))
        return;
    removePath(labelFile());
    removePath(QCoreApplication::applicationDirPath() + QStringLiteral("/targets"));
}

void tst_LabelFile::firstStartWritesGeneric()
{
    {
        QvMaskCalcWindow window;
        verifyGenericShown(window);
    }
    QCOMPARE(genericAsRead(labelFile()), genericAsWritten());

    // The toolkit's writer wrote this file; its lines are the ones that are added to a file the
    // user wrote, so both escape the keys alike.
    QByteArrayList lines = readFile(labelFile()).replace("\r\n", "\n").split('\n');
    lines.removeAll(QByteArray());
    std::sort(lines.begin(), lines.end());
    QByteArrayList expected = genericLines("\n").split('\n');
    expected.removeAll(QByteArray());
    expected.append("[bitlabels]");
    std::sort(expected.begin(), expected.end());
    QCOMPARE(lines, expected);
}

void tst_LabelFile::secondStartLeavesFileAlone()
{
    {
        QvMaskCalcWindow first;
    }
    // An hour back, so that any write shows in the time even within the same millisecond.
    {
        QFile file(labelFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    }
    const QStringList before = snapshot(QCoreApplication::applicationDirPath());

    QvMaskCalcWindow second;
    verifyGenericShown(second);
    QCOMPARE(snapshot(QCoreApplication::applicationDirPath()), before);
}

void tst_LabelFile::firstStartBytes_data()
{
    QTest::addColumn<QList<LabelSet>>("sets");

    QTest::newRow("the default set") << QList<LabelSet> { { defaultSetName, defaultBitLabels } };
    QTest::newRow("sets and labels in mixed case, escaped, non-ASCII")
            << QList<LabelSet> { { "motor", { "Run", "fault", "Über=1", "100%" } },
                                 { "Alarm", { "Low", "High" } },
                                 { QStringLiteral("温度"), { "x;y", "[z]" } } };
    // Labels sorted by their first differing unit, below and beyond the surrogates; a set's name
    // beginning another's; values of two digits.
    QTest::newRow("keys in the toolkit's order, values past 9") << QList<LabelSet> {
        { "UART0",
          { "b", "a", "ab", "a b", "A", QStringLiteral("\U0001F600"), QStringLiteral("\uFF21"),
            QStringLiteral("\uD7FF"), "é", "z", "y", "x", "10" } },
        { "UART", { "q" } },
        { "UART0_X", { "r" } }
    };
    // Keys compared several units at a time: alike for four, eight or more units, then differing
    // at each place of the next four, below and beyond the surrogates, or one ending first.
    QTest::newRow("keys alike in their first units") << QList<LabelSet> {
        { "PERIPH_LONG.REG_A",
          { "REG_ABCD", "REG_ABCE", "REG_ABC", "REG_ABCDEFGH", "REG_ABCDEFGh", "REG_ABCDEFGHI",
            QStringLiteral("REG_ABCDEFG\uFF21"), QStringLiteral("REG_ABCDEFG\U0001F600"),
            QStringLiteral("REG_ABCDEFG\uD7FF"), "REG_ABCDEFGA", "REG_ABCDEfGH", "REG_ABCdEFGH",
            "REG_AbCDEFGH" } },
        { "PERIPH_LONG.REG_B", { "q" } },
        { "PERIPH_LONG.REG", { "r" } },
        { "PERIPH_LONG.REG_AB", { "s" } },
        { "PERIPH_LONG.REG_A0", { "t" } }
    };
    // A list shared by several sets is ordered and escaped once for all of them; an equal list
    // of its own, and one that differs in a label, next to them.
    const QStringList shared { "PIN1", "PIN10", "PIN0", "x[2]", "x[10]", "a b",
                               "%",    "PIN2",  "a",    "b",    "c",     "d" };
    QStringList apart = shared;
    apart[5] = QStringLiteral("e");
    QTest::newRow("sets sharing one label list")
            << QList<LabelSet> { { "GPIO1.OUT", shared },
                                 { "GPIO0.OUT", shared },
                                 { "GPIO0.IN", QStringList(shared) },
                                 { "GPIO0.DIR", apart },
                                 { "GPIO2.OUT", shared } };
}

void tst_LabelFile::firstStartBytes()
{
    QFETCH(QList<LabelSet>, sets);

    // A missing file gets exactly what the toolkit's writer would have written into it.
    const QTemporaryDir scratch;
    const QString ours = scratch.filePath(QStringLiteral("ours.ini"));
    const QString toolkit = scratch.filePath(QStringLiteral("toolkit.ini"));
    QVERIFY(insertLabelSets(readLabelFileText(ours), bitLabelsGroup, sets));
    {
        QSettings settings(toolkit, QSettings::IniFormat);
        settings.beginGroup(bitLabelsGroup);
        for (const LabelSet &set : sets) {
            for (qsizetype i = 0; i < set.labels.size(); ++i)
                settings.setValue(set.name + u'/' + set.labels.at(i), int(i));
        }
    }
    QCOMPARE(readFile(ours), readFile(toolkit));
}

void tst_LabelFile::existingSets_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("firstSet");
    QTest::addColumn<bool>("written");

    QTest::newRow("Motor and Alarm: listed by name, nothing written")
            << QByteArray("[bitlabels]\nMotor\\Run=0\nMotor\\Fault=1\nAlarm\\Low=0\n")
            << QStringList { "Alarm", "Motor" } << QStringList { "Low" } << false;
    QTest::newRow("upper case before lower case")
            << QByteArray("[bitlabels]\nalpha\\a=0\nZeta\\z=0\n") << QStringList { "Zeta", "alpha" }
            << QStringList { "z" } << false;
    QTest::newRow("a set of deeper sub-groups only has no labels")
            << QByteArray("[bitlabels]\nDeep\\Inner\\A=0\n") << QStringList { "Deep" }
            << QStringList() << false;
    QTest::newRow("direct keys under bitlabels are no set")
            << QByteArray("[bitlabels]\nStray=1\n") << QStringList { "Generic" } << genericLabels()
            << true;
    QTest::newRow("other sections only") << QByteArray("[colours]\nred=1\n")
                                         << QStringList { "Generic" } << genericLabels() << true;
    QTest::newRow("non-ASCII labels as UTF-8 text")
            << QByteArray("[bitlabels]\nMesures\\Temp\xc3\xa9rature=0\nMesures\\\xc3\x9c"
                          "berdruck=1\nMesures\\\xe6\xb8\xa9\xe5\xba\xa6=2\n")
            << QStringList { "Mesures" }
            << QStringList { QStringLiteral("Température"), QStringLiteral("Überdruck"),
                             QStringLiteral("温度") }
            << false;
    QTest::newRow("keys escaped as the toolkit writes them")
            << QByteArray("[bitlabels]\nSet\\Bit%201=0\nSet\\%U6E29=1\n") << QStringList { "Set" }
            << QStringList { "Bit 1", QStringLiteral("温") } << false;
    QTest::newRow("an ampersand is shown, not made a shortcut")
            << QByteArray("[bitlabels]\nSet\\R&D=0\n") << QStringList { "Set" }
            << QStringList { "R&&D" } << false;
}

void tst_LabelFile::existingSets()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, firstSet);
    QFETCH(bool, written);

    writeFile(labelFile(), content);
    QvMaskCalcWindow window;
    QCOMPARE(comboEntries(window), entries);
    QCOMPARE(boxTexts(window), expectedTexts(firstSet));

    const QByteArray after = readFile(labelFile());
    QCOMPARE(after != content, written);
    if (written) {
        QVERIFY(after.startsWith(content));
        QCOMPARE(genericAsRead(labelFile()), genericAsWritten());
    }
}

void tst_LabelFile::defaultWriteKeepsText_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray generic = genericLines("\n");
    QTest::newRow("comments and a misspelled group: a new section at the end")
            << QByteArray("; My labels\n# for the test rig\n[bitlables]\nMotor\\Run=0\n")
            << "; My labels\n# for the test rig\n[bitlables]\nMotor\\Run=0\n\n[bitlabels]\n"
                    + generic;
    QTest::newRow("into the section, sections left in their order")
            << QByteArray("[zeta]\nz=1\n\n[bitlabels]\n; sets go here\nStray=1\n\n; about alpha\n"
                          "[alpha]\na=1\n")
            << "[zeta]\nz=1\n\n[bitlabels]\n; sets go here\nStray=1\n" + generic
                    + "\n; about alpha\n[alpha]\na=1\n";
    QTest::newRow("the last of two sections of that name")
            << QByteArray("[bitlabels]\nA=1\n[x]\n[bitlabels]\nB=1\n")
            << "[bitlabels]\nA=1\n[x]\n[bitlabels]\nB=1\n" + generic;
    QTest::newRow("empty section: after its header") << QByteArray("[bitlabels]\n; none yet\n")
                                                     << "[bitlabels]\n" + generic + "; none yet\n";
    QTest::newRow("CRLF stays CRLF") << QByteArray("; c\r\n[bitlabels]\r\nStray=1\r\n")
                                     << "; c\r\n[bitlabels]\r\nStray=1\r\n" + genericLines("\r\n");
    QTest::newRow("last line without a line break")
            << QByteArray("; only a comment")
            << "; only a comment" + platformLineBreak() + platformLineBreak() + "[bitlabels]"
                    + platformLineBreak() + genericLines(platformLineBreak());
    QTest::newRow("section header last, without a line break")
            << QByteArray("; c\n[bitlabels]") << "; c\n[bitlabels]\n" + generic;
    QTest::newRow("byte order mark kept")
            << QByteArray("\xef\xbb\xbf; c\n") << "\xef\xbb\xbf; c\n\n[bitlabels]\n" + generic;
    QTest::newRow("blank lines only") << QByteArray("\n\n") << "\n\n[bitlabels]\n" + generic;
    QTest::newRow("section ending in a continued line: a new section instead")
            << QByteArray("[bitlabels]\nStray=1\\\n")
            << "[bitlabels]\nStray=1\\\n\n[bitlabels]\n" + generic;
}

void tst_LabelFile::defaultWriteKeepsText()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    writeFile(labelFile(), content);
    QvMaskCalcWindow window;
    verifyGenericShown(window);
    QCOMPARE(readFile(labelFile()), expected);
    QCOMPARE(genericAsRead(labelFile()), genericAsWritten());
}

void tst_LabelFile::unusableFileLeftAlone_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("binary file") << "binary";
    QTest::newRow("text with a NUL byte") << "nul";
    QTest::newRow("open quote swallowing the rest") << "quote";
    QTest::newRow("directory in its place") << "directory";
    QTest::newRow("file above the size limit") << "large";
#ifdef Q_OS_UNIX
    QTest::newRow("dangling symbolic link") << "dangling";
    QTest::newRow("named pipe in its place") << "pipe";
#endif
}

void tst_LabelFile::unusableFileLeftAlone()
{
    QFETCH(QString, kind);

    const QString path = labelFile();
    if (kind == QLatin1String("binary")) {
        QByteArray bytes;
        for (int i = 0; i < 4096; ++i)
            bytes.append(char((i * 37 + i / 256) & 0xff));
        writeFile(path, bytes);
    } else if (kind == QLatin1String("nul")) {
        writeFile(path, QByteArray("; c\n[bitlabels]\nStray=1\n\0\n", 25));
    } else if (kind == QLatin1String("quote")) {
        writeFile(path, "; c\n[bitlabels]\nStray=\"1\n");
    } else if (kind == QLatin1String("directory")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("large")) {
        // Sparse: the size is what counts, not the blocks.
        writeFile(path, "; c\n");
        QFile file(path);
        QVERIFY(file.resize(maxLabelFileSize + 1));
    } else if (kind == QLatin1String("dangling")) {
        QVERIFY(QFile::link(QStringLiteral("targets/missing.ini"), path));
#ifdef Q_OS_UNIX
    } else if (kind == QLatin1String("pipe")) {
        // Opening it would block until a writer comes.
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
#endif
    }
    const QStringList before = snapshot(QCoreApplication::applicationDirPath());

    QvMaskCalcWindow window;
    verifyGenericShown(window);
    QCOMPARE(snapshot(QCoreApplication::applicationDirPath()), before);
}

void tst_LabelFile::symbolicLink_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    // Symbolic links need rights of their own on Windows.
#ifdef Q_OS_UNIX
    QTest::newRow("link to a commented file")
            << QByteArray("; mine\n") << "; mine\n\n[bitlabels]\n" + genericLines("\n");
    QTest::newRow("link to an empty file") << QByteArray() << QByteArray();
#endif
}

void tst_LabelFile::symbolicLink()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    // The write goes through the link to its target, and the link stays a link.
    const QString targets = QCoreApplication::applicationDirPath() + QStringLiteral("/targets");
    QVERIFY(QDir().mkpath(targets));
    writeFile(targets + QStringLiteral("/labels.ini"), content);
    QVERIFY(QFile::link(QStringLiteral("targets/labels.ini"), labelFile()));

    QvMaskCalcWindow window;
    QCOMPARE(comboEntries(window), QStringList { "Generic" });
    QCOMPARE(QFileInfo(labelFile()).symLinkTarget(), targets + QStringLiteral("/labels.ini"));
    if (!expected.isEmpty())
        QCOMPARE(readFile(labelFile()), expected);
    QCOMPARE(genericAsRead(labelFile()), genericAsWritten());
}

void tst_LabelFile::withoutRights_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<bool>("directoryWritable");

    // File modes are POSIX.
#ifdef Q_OS_UNIX
    const QByteArray mine("; mine\n[other]\nkey=1\n");
    QTest::newRow("no file in a read-only directory") << QByteArray() << false << 0 << false;
    QTest::newRow("commented file in a read-only directory") << mine << true << 0644 << false;
    QTest::newRow("read-only file") << mine << true << 0444 << true;
    QTest::newRow("read-only empty file") << QByteArray() << true << 0444 << true;
    QTest::newRow("write-only file holding a set")
            << QByteArray("; mine\n[bitlabels]\nMotor\\Run=0\n") << true << 0200 << true;
    QTest::newRow("unreadable file") << mine << true << 0 << true;
#endif
}

void tst_LabelFile::withoutRights()
{
#ifdef Q_OS_UNIX
    QFETCH(QByteArray, content);
    QFETCH(bool, hasFile);
    QFETCH(int, fileMode);
    QFETCH(bool, directoryWritable);

    if (qEnvironmentVariableIsSet(childVariable)) {
        // The unprivileged run in the prepared directory.
        QvMaskCalcWindow window;
        verifyGenericShown(window);
        return;
    }

    // Rights are what is tested, and root has them all: a copy of this test runs as nobody, from
    // a directory of its own prepared here.
    QStringList prefix;
    if (!childrun::unprivilegedPrefix(&prefix)) {
        // Not QSKIP: in C++17 its empty "..." trips clang's -Wpedantic.
        QTest::qSkip("running as root without setpriv to drop the rights", __FILE__, __LINE__);
        return;
    }
    QTemporaryDir scratch;
    const QString program = childrun::copyRunningTest(scratch);
    QVERIFY(!program.isEmpty());
    const QString dir = QFileInfo(program).path();
    const QString path = dir + QStringLiteral("/K732-118.ini");
    if (hasFile)
        QVERIFY(childrun::placeFileForChild(path, content, fileMode));
    QCOMPARE(::chmod(QFile::encodeName(dir).constData(), directoryWritable ? 0777 : 0555), 0);
    const QStringList before = snapshot(dir);

    QByteArray output;
    QVERIFY2(childrun::runCurrentTest(prefix, program, childVariable, &output), output.constData());

    QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0755), 0);
    QCOMPARE(snapshot(dir), before);
    if (hasFile)
        QCOMPARE(readFile(path), content);
#endif
}

void tst_LabelFile::exampleFile()
{
    // The example that the README shows: two sets, listed by name, the first applied at start.
    QVERIFY(QFile::copy(QStringLiteral(EXAMPLE_LABEL_FILE), labelFile()));
    const QByteArray content = readFile(labelFile());

    QvMaskCalcWindow window;
    QCOMPARE(comboEntries(window), (QStringList { "Alarm", "Motor" }));
    QCOMPARE(boxTexts(window),
             expectedTexts({ "Supply low", QStringLiteral("Température haute"), "Door open" }));

    auto *combo = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
    combo->setCurrentIndex(1);
    QCOMPARE(boxTexts(window),
             expectedTexts({ "Ready", "Running", "Reverse", "Over current", "Over temperature",
                             "Stalled", "Brake on", "Fault" }));
    QCOMPARE(readFile(labelFile()), content);
}

QTEST_MAIN(tst_LabelFile)
#include "tst_labelfile.moc"
