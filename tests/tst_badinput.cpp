// Hostile and broken label files: for each, which sets the window offers, which labels they
// carry, and exactly what the file holds afterwards.
#include "childrun.h"
#include "labelfile.h"
#include "labelwindow.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using LabelLists = QList<QStringList>;

namespace {

// Set in the copies of this test that the rights tests start as an unprivileged user.
const char childVariable[] = "TST_BADINPUT_CHILD";

QString labelFile()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The bytes, or a marker that no file content can equal.
QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<no readable file>");
    return file.readAll();
}

QStringList directoryEntries(const QString &dir)
{
    return QDir(dir).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void removeLabelFile()
{
    const QFileInfo info(labelFile());
    if (info.isDir() && !info.isSymLink())
        QDir(labelFile()).removeRecursively();
    else
        QFile::remove(labelFile());
}

// The default set's lines as the program adds them to a file, in bit order.
QByteArray addedLines()
{
    QByteArray lines;
    for (int n = 1; n <= 32; ++n)
        lines += "Generic\\Bit%20" + QByteArray::number(n) + '=' + QByteArray::number(n - 1) + '\n';
    return lines;
}

// A file that held no text, written by the toolkit's own writer: keys in character order.
QByteArray writtenByToolkit()
{
    QByteArrayList lines = addedLines().split('\n');
    lines.removeAll(QByteArray());
    std::sort(lines.begin(), lines.end(), [](const QByteArray &a, const QByteArray &b) {
        return a.left(a.indexOf('=')) < b.left(b.indexOf('='));
    });
    return "[bitlabels]\n" + lines.join('\n') + '\n';
}

QByteArray appendedSection(const QByteArray &content)
{
    return content + "\n[bitlabels]\n" + addedLines();
}

// A window that shows only the default set, which it did not need to read from the file.
void verifyDefaultOnly(const QvMaskCalcWindow &window)
{
    QCOMPARE(comboEntries(window), QStringList { QStringLiteral("Generic") });
    QCOMPARE(boxTexts(window), numbered(QStringLiteral("Bit "), 32, 1));
}

// Numbers of five digits, so that character order is number order.
QStringList zeroPadded(const QString &prefix, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(prefix + QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')));
    return names;
}

} // namespace

class tst_BadInput : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void content_data();
    void content();
    void notAFile_data();
    void notAFile();
    void withoutRights_data();
    void withoutRights();
};

void tst_BadInput::init()
{
    // Whatever the file holds, neither the program nor the toolkit has anything to say about it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    if (!qEnvironmentVariableIsSet(childVariable))
        removeLabelFile();
}

void tst_BadInput::cleanup()
{
    if (!qEnvironmentVariableIsSet(childVariable))
        removeLabelFile();
}

void tst_BadInput::content_data()
{
    QTest::addColumn<QByteArray>("content");
    // The sets as read, in order; none means the default set, kept in memory.
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<LabelLists>("labels");
    QTest::addColumn<QByteArray>("after");

    const QStringList none;
    QTest::newRow("empty file") << QByteArray() << none << LabelLists() << writtenByToolkit();
    const QByteArray comments("; labels for the rig\n# to be filled in\n");
    QTest::newRow("only comments") << comments << none << LabelLists() << appendedSection(comments);
    const QByteArray otherCase("[BitLabels]\nMotor\\Run=0\n");
    QTest::newRow("bitlabels in other case is another group")
            << otherCase << none << LabelLists() << appendedSection(otherCase);
    // The toolkit takes a header without its bracket as far as the line goes.
    const QByteArray openHeader("[bitlabels\nMotor\\Run=0\n");
    QTest::newRow("header without end, holding a set")
            << openHeader << QStringList { "Motor" } << LabelLists { { "Run" } } << openHeader;
    const QByteArray openHeaderStray("[bitlabels\nStray=1\n");
    QTest::newRow("header without end, no set")
            << openHeaderStray << none << LabelLists() << openHeaderStray + addedLines();
    const QByteArray noEquals("[bitlabels]\nMotor\\Run\nMotor\\Stop=0\n");
    QTest::newRow("key without '=' is no key")
            << noEquals << QStringList { "Motor" } << LabelLists { { "Stop" } } << noEquals;
    const QByteArray noEqualsOnly("[bitlabels]\nMotor\\Run\n");
    QTest::newRow("only keys without '='")
            << noEqualsOnly << none << LabelLists() << noEqualsOnly + addedLines();

    // A backslash too many gives a sub-group without a name, which the toolkit cannot enter: its
    // labels would be the keys directly under bitlabels.
    const QByteArray noName("[bitlabels]\nStray=1\n\\Set\\A=0\n");
    QTest::newRow("a set without a name is no set")
            << noName << none << LabelLists() << noName + addedLines();
    // The toolkit cannot look up an empty key (it warns): a label without a value, bit 0.
    const QByteArray emptyLabel("[bitlabels]\nSet\\ =1\nSet\\A=0\n");
    QTest::newRow("an empty label")
            << emptyLabel << QStringList { "Set" } << LabelLists { { "A", "A" } } << emptyLabel;

    const QByteArray emptyKey("; c\n=5\n");
    QTest::newRow("an empty key before any section")
            << emptyKey << none << LabelLists() << appendedSection(emptyKey);

    // Set V: A, B and C name bits 0, 1 and 2; the value under test belongs to x, the fourth key.
    // A value read as bit 0 or 1 moves x there; a value outside the set leaves x in its place.
    const struct
    {
        const char *row;
        const char *value;
        QStringList labels;
    } values[] = {
        { "value x counts as bit 0", "x", { "x", "B", "C", "x" } },
        { "empty value counts as bit 0", "", { "x", "B", "C", "x" } },
        { "value -1 is skipped", "-1", { "A", "B", "C", "x" } },
        { "value 99 is skipped", "99", { "A", "B", "C", "x" } },
        { "value 4294967297 is skipped, not bit 1", "4294967297", { "A", "B", "C", "x" } },
        { "list value 1, 2 counts as bit 0", "1, 2", { "x", "B", "C", "x" } },
        { "hexadecimal 0x1f counts as bit 0", "0x1f", { "x", "B", "C", "x" } },
        { "quoted \"1\" is bit 1", "\"1\"", { "A", "x", "C", "x" } },
    };
    for (const auto &value : values) {
        const QByteArray text =
                QByteArray("[bitlabels]\nV\\A=0\nV\\B=1\nV\\C=2\nV\\x=") + value.value + '\n';
        QTest::newRow(value.row) << text << QStringList { "V" } << LabelLists { value.labels }
                                 << text;
    }

    const QByteArray twoSections("[bitlabels]\nMotor\\Run=0\nMotor\\Stop=1\n[other]\nk=1\n"
                                 "[bitlabels]\nMotor\\Run=1\nMotor\\Stop=0\nAlarm\\Low=0\n");
    QTest::newRow("two bitlabels sections: merged, the later value wins")
            << twoSections << QStringList { "Alarm", "Motor" }
            << LabelLists { { "Low" }, { "Stop", "Run" } } << twoSections;

    // Listed as L00000 … L09999, valued from 9999 down: the decoding reverses all of them.
    QByteArray manyLabels("[bitlabels]\n");
    const QStringList many = zeroPadded(QStringLiteral("L"), 10000);
    for (qsizetype i = 0; i < many.size(); ++i)
        manyLabels += "Many\\" + many.at(i).toLatin1() + '=' + QByteArray::number(9999 - i) + '\n';
    QStringList manyReversed(many.crbegin(), many.crend());
    QTest::newRow("a set of 10,000 labels")
            << manyLabels << QStringList { "Many" } << LabelLists { manyReversed } << manyLabels;

    const QString hugeLabel(qsizetype(1) << 20, u'w');
    const QByteArray huge = "[bitlabels]\nHuge\\" + hugeLabel.toLatin1() + "=1\nHuge\\a=0\n";
    QTest::newRow("a label of 1 MiB")
            << huge << QStringList { "Huge" } << LabelLists { { "a", hugeLabel } } << huge;

    QByteArray manySets("[bitlabels]\n");
    const QStringList setNames = zeroPadded(QStringLiteral("S"), 5000);
    LabelLists setLabels;
    for (const QString &name : setNames) {
        manySets += name.toLatin1() + "\\Bit=0\n";
        setLabels.append(QStringList { "Bit" });
    }
    QTest::newRow("5,000 sets") << manySets << setNames << setLabels << manySets;

    const QByteArray nulWithSet("[bitlabels]\nNul\\A=0\n\0\nNul\\B=1\n", 29);
    QTest::newRow("NUL byte in a file with a set")
            << nulWithSet << QStringList { "Nul" } << LabelLists { { "A", "B" } } << nulWithSet;
    // Binary content is no text to add lines to.
    const QByteArray nulOnly("; c\n\0[bitlabels]\nStray=1\n", 25);
    QTest::newRow("NUL byte in a file without a set") << nulOnly << none << LabelLists() << nulOnly;
    const QByteArray badUtf8("[bitlabels]\nBad\\\xc3\x28=0\nBad\\ok=1\n");
    QTest::newRow("invalid UTF-8 in a label")
            << badUtf8 << QStringList { "Bad" }
            << LabelLists { { QStringLiteral("\ufffd("), "ok" } } << badUtf8;
    const QByteArray badUtf8Only("; caf\xe9\n[bitlabels]\nStray=1\n");
    QTest::newRow("invalid UTF-8 in a file without a set")
            << badUtf8Only << none << LabelLists() << badUtf8Only + addedLines();
    const QByteArray bom("\xef\xbb\xbf[bitlabels]\nBom\\A=1\nBom\\B=0\n");
    QTest::newRow("UTF-8 byte order mark")
            << bom << QStringList { "Bom" } << LabelLists { { "B", "A" } } << bom;
    const QByteArray crlf("; c\r\n[bitlabels]\r\nCr\\A=1\r\nCr\\B=0\r\n");
    QTest::newRow("CRLF line ends")
            << crlf << QStringList { "Cr" } << LabelLists { { "B", "A" } } << crlf;
    const QByteArray crlfNoSet("; c\r\n[bitlabels]\r\n");
    QTest::newRow("CRLF line ends, no set")
            << crlfNoSet << none << LabelLists()
            << crlfNoSet + QByteArray(addedLines()).replace("\n", "\r\n");
}

void tst_BadInput::content()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, entries);
    QFETCH(LabelLists, labels);
    QFETCH(QByteArray, after);

    QVERIFY(writeFile(labelFile(), content));
    const QStringList filesBefore = directoryEntries(QCoreApplication::applicationDirPath());
    {
        QvMaskCalcWindow window;
        if (entries.isEmpty()) {
            verifyDefaultOnly(window);
        } else {
            QCOMPARE(comboEntries(window), entries);
            QCOMPARE(boxTexts(window), expectedTexts(labels.constFirst()));
            auto *combo = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
            combo->setCurrentIndex(combo->count() - 1);
            QCOMPARE(boxTexts(window), expectedTexts(labels.constLast()));
        }
    }
    // The file only ever grows by the default set, and nothing is left beside it.
    QCOMPARE(readFile(labelFile()), after);
    QCOMPARE(directoryEntries(QCoreApplication::applicationDirPath()), filesBefore);

    // Every label of every set, beyond the 32 that the boxes show.
    if (!entries.isEmpty()) {
        const LabelSets sets = readLabelSetsFromFile(labelFile(), bitLabelsGroup);
        QCOMPARE(sets.names, entries);
        QCOMPARE(sets.labels, labels);
    }
}

void tst_BadInput::notAFile_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("the file is a directory") << "directory";
#ifdef Q_OS_UNIX
    QTest::newRow("dangling symbolic link") << "dangling";
#endif
}

void tst_BadInput::notAFile()
{
    QFETCH(QString, kind);

    if (kind == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(labelFile() + QStringLiteral("/inside")));
    else
        QVERIFY(QFile::link(QStringLiteral("nowhere/K732-118.ini"), labelFile()));
    const QStringList filesBefore = directoryEntries(QCoreApplication::applicationDirPath());

    {
        QvMaskCalcWindow window;
        verifyDefaultOnly(window);
    }
    // Nothing created through the link, nothing put into or beside the directory.
    QCOMPARE(directoryEntries(QCoreApplication::applicationDirPath()), filesBefore);
    QVERIFY(!QFileInfo::exists(QCoreApplication::applicationDirPath()
                               + QStringLiteral("/nowhere")));
    if (kind == QLatin1String("directory"))
        QCOMPARE(directoryEntries(labelFile()), QStringList { "inside" });
}

void tst_BadInput::withoutRights_data()
{
    QTest::addColumn<bool>("hasFile");
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<QByteArray>("afterSecondStart");

    // File modes are POSIX.
#ifdef Q_OS_UNIX
    // Still unreadable at the second start: still no set read, still nothing written.
    QTest::newRow("unreadable file, twice") << true << 0 << QByteArray("; mine\n");
    // Made writable before the second start, which writes what the first could not.
    QTest::newRow("no file in a read-only directory, then writable")
            << false << 0 << writtenByToolkit();
#endif
}

void tst_BadInput::withoutRights()
{
#ifdef Q_OS_UNIX
    QFETCH(bool, hasFile);
    QFETCH(int, fileMode);
    QFETCH(QByteArray, afterSecondStart);

    if (qEnvironmentVariableIsSet(childVariable)) {
        // One start of the program, unprivileged, in the prepared directory.
        QvMaskCalcWindow window;
        verifyDefaultOnly(window);
        return;
    }

    // Rights are what is tested, and root has them all: copies of this test start as nobody.
    QStringList prefix;
    if (!childrun::unprivilegedPrefix(&prefix)) {
        QTest::qSkip("running as root without setpriv to drop the rights", __FILE__, __LINE__);
        return;
    }
    QTemporaryDir scratch;
    const QString program = childrun::copyRunningTest(scratch);
    QVERIFY(!program.isEmpty());
    const QByteArray dir = QFile::encodeName(QFileInfo(program).path());
    const QString path = QFileInfo(program).path() + QStringLiteral("/K732-118.ini");
    const QByteArray file = QFile::encodeName(path);
    if (hasFile)
        QVERIFY(childrun::placeFileForChild(path, "; mine\n", fileMode));

    // First start: the directory may be read but not written.
    const QStringList before = directoryEntries(QString::fromLocal8Bit(dir));
    QByteArray output;
    QCOMPARE(::chmod(dir.constData(), 0555), 0);
    const bool firstPassed = childrun::runCurrentTest(prefix, program, childVariable, &output);
    QCOMPARE(::chmod(dir.constData(), 0777), 0);
    QVERIFY2(firstPassed, output.constData());
    QCOMPARE(directoryEntries(QString::fromLocal8Bit(dir)), before);

    // Second start, the directory now writable: what the first could not write, it writes now.
    QVERIFY2(childrun::runCurrentTest(prefix, program, childVariable, &output), output.constData());
    if (hasFile)
        QCOMPARE(::chmod(file.constData(), 0644), 0);
    QCOMPARE(readFile(path), afterSecondStart);
#endif
}

QTEST_MAIN(tst_BadInput)
#include "tst_badinput.moc"
