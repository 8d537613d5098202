// SPDX-License-Identifier: MIT
// Hostile and broken label files: for each, which sets the window offers, which labels they
// carry, and exactly what the file holds afterwards.
#include "childrun.h"
#include "guardedfile.h"
#include "labeldecoding.h"
#include "labelfile.h"
#include "labelwindow.h"
#include "settingsreference.h"

#include <QColor>
#include <QComboBox>
#include <QDataStream>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/mount.h>
#include <sys/xattr.h>
#endif

using LabelLists = QList<QStringList>;

namespace {

// Set in the copies of this test that the rights tests start as an unprivileged user.
const char childVariable[] = "TST_BADINPUT_CHILD";
// The directory, prepared by the parent, that such a copy writes its label file in.
const char dirVariable[] = "TST_BADINPUT_DIR";

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

bool insertGeneric(const QString &path)
{
    return insertLabelSets(readLabelFileText(path), bitLabelsGroup,
                           { { defaultSetName, defaultBitLabels } });
}

#ifdef Q_OS_LINUX
// Owner, group, mode, link count and every extended attribute, the ACL among them.
QStringList metadata(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st = {};
    if (::lstat(name.constData(), &st) != 0)
        return {};
    QStringList result { QStringLiteral("%1:%2 %3 links=%4")
                                 .arg(st.st_uid)
                                 .arg(st.st_gid)
                                 .arg(st.st_mode, 0, 8)
                                 .arg(st.st_nlink) };
    QByteArray list(65536, '\0');
    list.truncate(qMax<ssize_t>(::llistxattr(name.constData(), list.data(), 65536), 0));
    QByteArrayList attributes = list.split('\0');
    attributes.removeAll(QByteArray());
    std::sort(attributes.begin(), attributes.end());
    for (const QByteArray &attribute : std::as_const(attributes)) {
        QByteArray value(65536, '\0');
        value.truncate(qMax<ssize_t>(
                ::lgetxattr(name.constData(), attribute.constData(), value.data(), 65536), 0));
        result.append(QString::fromLatin1(attribute + '=' + value.toHex()));
    }
    return result;
}

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
}

// A full disk of its own: unmounted when the test is done with it, whatever happened.
struct SmallDisk
{
    QByteArray point;
    bool mount(const QString &dir)
    {
        point = QFile::encodeName(dir);
        if (QDir().mkpath(dir) && ::mount("tmpfs", point.constData(), "tmpfs", 0, "size=400k") == 0)
            return true;
        point.clear();
        return false;
    }
    ~SmallDisk()
    {
        if (!point.isEmpty())
            ::umount2(point.constData(), MNT_DETACH);
    }
};

// Writes until the disk refuses: what is left is less than a block.
void fillDisk(const QString &dir)
{
    QFile filler(dir + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    const QByteArray byte(1, 'f');
    while (filler.write(byte) == 1 && filler.flush()) {
    }
}

// The steps a write can be stopped at, in their order, as the signal rows name them.
GuardedWriteStep writeStep(const QString &name)
{
    static const QStringList steps { "created", "written", "metadata", "synced", "check",
                                     "busy",    "locked",  "named",    "renamed" };
    return GuardedWriteStep(steps.indexOf(name));
}

// A copy of this test on the current row, writing in dir, which says marker once it is where
// the parent wants it; output holds what it printed. What a killed child leaves in its temporary
// directory goes with temp.
bool startChild(QProcess *child, const QString &dir, const QTemporaryDir &temp,
                const QByteArray &marker, QByteArray *output)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
    environment.insert(QString::fromLatin1(dirVariable), dir);
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    child->setProcessEnvironment(environment);
    child->setProcessChannelMode(QProcess::MergedChannels);
    child->start(QCoreApplication::applicationFilePath(),
                 { QStringLiteral("faults:%1").arg(QString::fromUtf8(QTest::currentDataTag())) });
    output->clear();
    while (!output->contains(marker)) {
        if (!child->waitForReadyRead(60000)) {
            *output += child->readAll();
            return false;
        }
        *output += child->readAll();
    }
    return true;
}

// Ends the child however it stands, so that nothing warns about a process still running.
void endChild(QProcess *child)
{
    if (child->state() != QProcess::NotRunning) {
        child->kill();
        child->waitForFinished();
    }
}

void sayToParent(const char *marker)
{
    std::fputs(marker, stdout);
    std::fflush(stdout);
}

void waitForParent()
{
    char go = 0;
    while (::read(STDIN_FILENO, &go, 1) < 0 && errno == EINTR) {
    }
}

// The child's part of a signal row: a write that stops at the step until the signal ends it.
// The window installs no handlers, and neither may the test's own here.
void writeUntilSignalled(const QStringList &fault)
{
    for (const int number : { SIGTERM, SIGINT, SIGHUP })
        std::signal(number, SIG_DFL);
    setGuardedWriteNamedScratch(fault.contains(QStringLiteral("named-scratch")));
    const GuardedWriteStep stop = writeStep(fault.at(2));
    setGuardedWriteStepHook([stop](GuardedWriteStep step) {
        if (step != stop)
            return;
        sayToParent("stopped\n");
        while (true)
            ::pause();
    });
    insertGeneric(qEnvironmentVariable(dirVariable) + QStringLiteral("/K732-118.ini"));
    QFAIL("the write ended without reaching the step");
}

// A write in another process stopped at a step by a real signal: the file is the old one or
// the whole new one, and nothing is left beside it that the next write does not remove.
void signalledWrite(const QStringList &fault, const QString &dir, const QByteArray &content,
                    bool written)
{
    const QString path = dir + QStringLiteral("/K732-118.ini");
    const QByteArray before = content.isNull() ? QByteArray("<no readable file>") : content;
    const QByteArray after = content.isNull() ? writtenByToolkit() : appendedSection(content);
    const QStringList entriesBefore = directoryEntries(dir);
    const QStringList metadataBefore = metadata(path);

    const QTemporaryDir temp;
    QProcess child;
    const auto end = qScopeGuard([&] { endChild(&child); });
    QByteArray output;
    QVERIFY2(startChild(&child, dir, temp, "stopped\n", &output), output.constData());
    const qint64 pid = child.processId();
    const QMap<QString, int> numbers {
        { "TERM", SIGTERM }, { "INT", SIGINT }, { "HUP", SIGHUP }, { "KILL", SIGKILL }
    };
    QCOMPARE(::kill(pid_t(pid), numbers.value(fault.at(1))), 0);
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QCOMPARE(readFile(path), written ? after : before);
    if (!metadataBefore.isEmpty())
        QCOMPARE(metadata(path), metadataBefore);
    // Only a scratch file that had a name when its writer died stays, and only until the next
    // write.
    const bool named = (fault.at(2) == QLatin1String("named") && !content.isNull())
            || (fault.contains(QStringLiteral("named-scratch"))
                && fault.at(2) != QLatin1String("named")
                && fault.at(2) != QLatin1String("renamed"));
    QStringList stale = directoryEntries(dir);
    stale.removeAll(QStringLiteral("K732-118.ini"));
    for (const QString &entry : std::as_const(entriesBefore))
        stale.removeAll(entry);
    QCOMPARE(stale.size(), named ? 1 : 0);
    if (named)
        QVERIFY2(
                stale.constFirst().startsWith(QStringLiteral(".K732-118.ini.scratch-%1-").arg(pid)),
                qPrintable(stale.constFirst()));

    QCOMPARE(insertGeneric(path), !written);
    QCOMPARE(readFile(path), after);
    QStringList entriesAfter = entriesBefore;
    if (!entriesAfter.contains(QStringLiteral("K732-118.ini")))
        entriesAfter.append(QStringLiteral("K732-118.ini"));
    entriesAfter.sort();
    QCOMPARE(directoryEntries(dir), entriesAfter);
}

// The child's part of a lock row: it holds the directory lock the way the program's writers do,
// while the parent's write waits for it.
void holdDirectoryLock(const QString &fault)
{
    const QString dir = qEnvironmentVariable(dirVariable);
    if (fault == QLatin1String("dir lock winner")) {
        // A whole write of its own, holding the lock between its check and its rename until the
        // parent's write has its text ready.
        setGuardedWriteStepHook([](GuardedWriteStep step) {
            if (step != GuardedWriteStep::Locked)
                return;
            sayToParent("holding\n");
            waitForParent();
        });
        QVERIFY(insertGeneric(dir + QStringLiteral("/K732-118.ini")));
        return;
    }
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX), 0);
    sayToParent("holding\n");
    // A stuck holder never lets go; the parent ends it.
    while (fault == QLatin1String("dir lock stuck"))
        ::pause();
    waitForParent();
    ::close(fd);
}

// The executable in a directory named in Latin-1, started through a link of a valid name.
void startInLatin1Directory()
{
    QTemporaryDir scratch;
    // Latin-1 "Données": the é alone is no valid UTF-8.
    const QByteArray name("Donn\xe9"
                          "es");
    const QByteArray dir = QFile::encodeName(scratch.path()) + '/' + name;
    const QByteArray copy = dir + "/tst_badinput";
    // The toolkit cannot name what is in there, so cannot remove it either.
    const auto removeCopy = qScopeGuard([&] {
        ::unlink(copy.constData());
        ::rmdir(dir.constData());
    });
    QCOMPARE(::mkdir(dir.constData(), 0755), 0);
    QFile self(QCoreApplication::applicationFilePath());
    QVERIFY(self.open(QIODevice::ReadOnly));
    const QByteArray executable = self.readAll();
    const int fd = ::open(copy.constData(), O_WRONLY | O_CREAT | O_EXCL, 0755);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, executable.constData(), size_t(executable.size())),
             ssize_t(executable.size()));
    QCOMPARE(::close(fd), 0);
    const QString link = scratch.filePath(QStringLiteral("link"));
    QCOMPARE(::symlink(name.constData(), QFile::encodeName(link).constData()), 0);

    const bool rootFileBefore = QFileInfo::exists(QStringLiteral("/K732-118.ini"));
    QByteArray output;
    QVERIFY2(childrun::runCurrentTest({}, link + QStringLiteral("/tst_badinput"), childVariable,
                                      &output),
             output.constData());
    QCOMPARE(directoryEntries(link), QStringList { "tst_badinput" });
    QCOMPARE(QFileInfo::exists(QStringLiteral("/K732-118.ini")), rootFileBefore);
}
#endif

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
    void faults_data();
    void faults();
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

    QByteArray tooManySets("[bitlabels]\n");
    for (qsizetype i = 0; i <= maxLabelSets; ++i)
        tooManySets += 'S' + QByteArray::number(i) + "\\Bit=0\n";
    QTest::newRow("more sets than the limit: not read, nothing written")
            << tooManySets << none << LabelLists() << tooManySets;
    const QByteArray longNames = "[bitlabels]\n" + QByteArray(maxLabelSetNamesLength / 2, 'A')
            + "\\a=0\n" + QByteArray(maxLabelSetNamesLength / 2 + 1, 'B') + "\\b=0\n";
    QTest::newRow("set names longer than the limit in all: not read, nothing written")
            << longNames << none << LabelLists() << longNames;
    const QByteArray tooManyLines = QByteArray(";\n").repeated(maxLabelFileLines + 1);
    QTest::newRow("more lines than the limit: not read, nothing written")
            << tooManyLines << none << LabelLists() << tooManyLines;

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
    // Values that the settings class would deserialise: the reader keeps them as text, so they
    // name bit 0 like any other value that is no decimal integer, and cost no more than their
    // text. Through the settings class the first two overflowed the stack at every start (the
    // second while checking the first start's write), the third decoded the images.
    const QByteArray deep = variantValue(nestedLists(40000));
    const QByteArray deepLabel = "[bitlabels]\nDeep\\A=0\nDeep\\B=" + deep + '\n';
    QTest::newRow("a label holding lists 40,000 deep in @Variant")
            << deepLabel << QStringList { "Deep" } << LabelLists { { "B", "B" } } << deepLabel;
    const QByteArray deepOther = "; c\n[Other]\nx=" + deep + '\n';
    QTest::newRow("lists 40,000 deep in another section, first start")
            << deepOther << none << LabelLists() << appendedSection(deepOther);
    QByteArray images = "[bitlabels]\n";
    for (int k = 0; k < 3; ++k) {
        QImage image(4000, 4000, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(k * 100, 200, 200));
        QByteArray streamed;
        QDataStream stream(&streamed, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_4_0);
        stream << QVariant(image);
        images += "Images\\Picture " + QByteArray::number(k) + '=' + variantValue(streamed) + '\n';
    }
    images += "Images\\Text=1\n";
    QTest::newRow("images in @Variant")
            << images << QStringList { "Images" }
            << LabelLists { { "Picture 2", "Text", "Picture 2", "Text" } } << images;
    // A set section left from an earlier edit adds its keys to a set of its name: the default set
    // written there would show "Extra" on bit 0, so nothing is written.
    const QByteArray leftover("[bitlabels]\n[bitlabels\\Generic]\nExtra=0\n");
    QTest::newRow("a section of the default set left without it")
            << leftover << none << LabelLists() << leftover;
    const QByteArray leftoverDeeper("[bitlabels\\Generic]\nExtra=0\n");
    QTest::newRow("a section of the default set alone")
            << leftoverDeeper << none << LabelLists() << leftoverDeeper;
    const QByteArray leftoverOther("[bitlabels\\Motor]\nRun=0\n");
    QTest::newRow("a section of another set alone: the default set added")
            << leftoverOther << none << LabelLists() << appendedSection(leftoverOther);
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
            // Captions as the window shows them: a very long one cut.
            const auto shown = [](QStringList texts) {
                for (QString &text : texts)
                    text = shownCaption(text);
                return texts;
            };
            QCOMPARE(comboEntries(window), shown(entries));
            QCOMPARE(boxTexts(window), shown(expectedTexts(labels.constFirst())));
            auto *combo = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
            combo->setCurrentIndex(combo->count() - 1);
            QCOMPARE(boxTexts(window), shown(expectedTexts(labels.constLast())));
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

void tst_BadInput::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<bool>("unprivileged"); // the write runs as another user than the file's
    QTest::addColumn<bool>("written");

    // Mounts, extended attributes, ACLs and the rename that never replaces are Linux's.
#ifdef Q_OS_LINUX
    const QByteArray notes(
            "; notes on the rig, kept by hand\n[notes]\nfirst=the left valve sticks\n");
    QByteArray longer("; a longer file\n[notes]\n");
    while (longer.size() < 5500)
        longer += "line" + QByteArray::number(longer.size()) + "=some text to fill the file\n";
    const QByteArray none;
    const QByteArray empty("");
    QTest::newRow("disk full, a label-less file") << "disk full" << notes << false << false;
    QTest::newRow("disk full, a 5.5 KB file") << "disk full" << longer << false << false;
    QTest::newRow("disk full, an empty file") << "disk full" << empty << false << false;
    QTest::newRow("disk full, no file") << "disk full" << none << false << false;

    QTest::newRow("lock file is a dangling link") << "lock link" << none << false << true;
    QTest::newRow("lock file is a directory, empty file") << "lock dir" << empty << false << true;
    QTest::newRow("another user's stale lock file") << "lock stale" << none << false << true;
    QTest::newRow("six first starts at once: one writes") << "six" << none << false << true;

    QTest::newRow("saved anew by the user during the write") << "saved" << notes << false << false;
    QTest::newRow("edited in place during the write") << "edited" << notes << false << false;
    QTest::newRow("swapped for a link during the write") << "swapped" << notes << false << false;
    QTest::newRow("created by the user during a first start")
            << "created" << none << false << false;
    QTest::newRow("link pointed elsewhere during the write: the file read is written")
            << "repointed" << notes << false << true;

    QTest::newRow("an ACL entry for another user") << "acl" << notes << false << true;
    QTest::newRow("user extended attributes") << "xattr" << notes << false << true;
    QTest::newRow("mode 0640") << "mode" << notes << false << true;
    QTest::newRow("a second hard link") << "hard link" << notes << false << false;
    QTest::newRow("root starting a user's file") << "user's file" << notes << false << true;
    QTest::newRow("another owner's team file, writable by the group")
            << "team" << notes << true << false;
    QTest::newRow("own file of a group the user is not in") << "group" << notes << true << false;
    QTest::newRow("own file, unprivileged") << "own" << notes << true << true;

    QTest::newRow("executable in a Latin-1 directory") << "latin1" << none << false << false;
    // The lock on the directory needs it opened for reading.
    QTest::newRow("stale scratch files go, files only like them stay")
            << "lookalikes" << notes << false << true;
    QTest::newRow("a directory that may be written but not read")
            << "unreadable dir" << notes << true << false;

    // Another writer holds the directory lock while this write comes to its check.
    QTest::newRow("another writer replaces the file under the lock: this one refuses")
            << "dir lock winner" << notes << false << false;
    QTest::newRow("the lock held for a moment: waited for")
            << "dir lock brief" << notes << false << true;
    QTest::newRow("the lock held for ever: refused after the bounded wait")
            << "dir lock stuck" << notes << false << false;
    QTest::newRow("the lock held for ever, no file") << "dir lock stuck" << none << false << false;

    // A write in another process ended by a signal at one of its steps; written: the file is
    // the new one afterwards.
    const struct
    {
        const char *signal;
        const char *step;
        const char *row;
        bool missing;
        bool written;
    } signalled[] = {
        { "KILL", "created", "once the scratch file is created", false, false },
        { "KILL", "written", "once the text is written", false, false },
        { "KILL", "metadata", "once the metadata is copied", false, false },
        { "KILL", "synced", "once the text is synced", false, false },
        { "KILL", "check", "before the final check", false, false },
        { "KILL", "locked", "holding the lock", false, false },
        { "KILL", "named", "between naming and renaming", false, false },
        { "KILL", "renamed", "after the rename", false, true },
        { "KILL", "named", "once the missing file is created", true, true },
        { "KILL", "locked", "holding the lock, no file", true, false },
        { "TERM", "created", "once the scratch file is created", false, false },
        { "INT", "synced", "once the text is synced", false, false },
        { "HUP", "named", "between naming and renaming", false, false },
        { "TERM", "renamed", "after the rename", false, true },
    };
    for (const auto &row : signalled) {
        QTest::addRow("%s %s", row.signal, row.row)
                << QStringLiteral("signal %1 %2").arg(row.signal, row.step)
                << (row.missing ? none : notes) << false << row.written;
    }
    // Where the file system has no unnamed files, the scratch file has a name from the start.
    QTest::newRow("named scratch file, KILL once the text is written")
            << "signal KILL written named-scratch" << notes << false << false;
    QTest::newRow("named scratch file, TERM holding the lock")
            << "signal TERM locked named-scratch" << notes << false << false;
    QTest::newRow("named scratch file, KILL once the missing file is created")
            << "signal KILL named named-scratch" << none << false << true;

    QTest::newRow("the addition would pass the size limit")
            << "limit"
            << "; " + QByteArray(maxLabelFileSize - 203, 'x') + '\n'
            << false << false;
    QTest::newRow("the addition would pass the line limit")
            << "limit" << QByteArray(";\n").repeated(maxLabelFileLines - 10) << false << false;
    QByteArray fullSets("[bitlabels]\n");
    for (qsizetype i = 0; i < maxLabelSets; ++i)
        fullSets += 'S' + QByteArray::number(i) + "\\Bit=0\n";
    QTest::newRow("the addition would pass the set limit") << "limit" << fullSets << false << false;
#endif
}

void tst_BadInput::faults()
{
#ifdef Q_OS_LINUX
    QFETCH(QString, fault);
    QFETCH(QByteArray, content);
    QFETCH(bool, unprivileged);
    QFETCH(bool, written);

    if (qEnvironmentVariableIsSet(childVariable)) {
        if (fault.startsWith(QLatin1String("signal "))) {
            writeUntilSignalled(fault.split(u' '));
        } else if (fault.startsWith(QLatin1String("dir lock "))) {
            holdDirectoryLock(fault);
        } else if (fault == QLatin1String("latin1")) {
            QVERIFY(labelFileBesideExecutable().isEmpty());
            QvMaskCalcWindow window;
            verifyDefaultOnly(window);
        } else {
            QCOMPARE(insertGeneric(qEnvironmentVariable(dirVariable) + "/K732-118.ini"), written);
        }
        return;
    }
    if (fault == QLatin1String("latin1")) {
        startInLatin1Directory();
        return;
    }
    const bool root = ::geteuid() == 0;
    if ((unprivileged || fault == QLatin1String("user's file") || fault == "lock stale") && !root) {
        QTest::qSkip("other users' files need root", __FILE__, __LINE__);
        return;
    }

    QTemporaryDir scratch;
    QString dir = scratch.path();
    QStringList prefix;
    QString program;
    if (unprivileged) {
        if (!childrun::unprivilegedPrefix(&prefix)) {
            QTest::qSkip("running as root without setpriv to drop the rights", __FILE__, __LINE__);
            return;
        }
        program = childrun::copyRunningTest(scratch);
        QVERIFY(!program.isEmpty());
        dir = QFileInfo(program).path();
        QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0777), 0);
    }
    SmallDisk disk;
    if (fault == QLatin1String("disk full")) {
        dir = scratch.filePath(QStringLiteral("disk"));
        if (!disk.mount(dir)) {
            QTest::qSkip("mounting a small tmpfs is not permitted here", __FILE__, __LINE__);
            return;
        }
    }
    const QString path = dir + QStringLiteral("/K732-118.ini");
    const QByteArray file = QFile::encodeName(path);
    if (!content.isNull())
        QVERIFY(writeFile(path, content));
    if (fault.startsWith(QLatin1String("signal "))) {
        signalledWrite(fault.split(u' '), dir, content, written);
        return;
    }

    // What the label file (or what is checked in its place) must hold afterwards, and files
    // that must stay as they are.
    QString checked = path;
    QByteArray expected = !written ? content
            : content.isEmpty()    ? writtenByToolkit()
                                   : appendedSection(content);
    QMap<QString, QByteArray> untouched;
    QStringList removed; // entries the write removes
    const QByteArray userSave("; mine\n[bitlabels]\nMine\\Run=0\n");
    const QString lock = path + QStringLiteral(".lock");
    if (fault == QLatin1String("disk full")) {
        fillDisk(dir);
    } else if (fault == QLatin1String("lock link")) {
        QVERIFY(QFile::link(QStringLiteral("nowhere/K732-118.ini.lock"), lock));
    } else if (fault == QLatin1String("lock dir")) {
        QVERIFY(QDir().mkpath(lock + QStringLiteral("/inside")));
    } else if (fault == QLatin1String("lock stale")) {
        // In a shared sticky folder, as /tmp is: nobody but its owner may remove it.
        QVERIFY(writeFile(lock, "4194303\nK732-118\nelsewhere\n"));
        QCOMPARE(::chown(QFile::encodeName(lock).constData(), childrun::unprivilegedId,
                         childrun::unprivilegedId),
                 0);
        QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 01777), 0);
        untouched.insert(lock, "4194303\nK732-118\nelsewhere\n");
    } else if (fault == QLatin1String("saved")) {
        setLabelFileWriteHook([&] {
            writeFile(path + QStringLiteral(".new"), userSave);
            ::rename(QFile::encodeName(path + QStringLiteral(".new")).constData(),
                     file.constData());
        });
        expected = userSave;
    } else if (fault == QLatin1String("edited")) {
        setLabelFileWriteHook([&] {
            QFile edited(path);
            if (edited.open(QIODevice::Append))
                edited.write("; more\n");
        });
        expected = content + "; more\n";
    } else if (fault == QLatin1String("swapped")) {
        // Someone else's label-less file, swapped for a link to the victim's file.
        const QString victim = dir + QStringLiteral("/victim");
        QVERIFY(writeFile(victim, "victim\n"));
        setLabelFileWriteHook([&] {
            ::unlink(file.constData());
            ::symlink("victim", file.constData());
        });
        // Read through the link, the victim's text; written over the link, something else.
        checked = victim;
        expected = "victim\n";
        untouched.insert(path, expected);
    } else if (fault == QLatin1String("created")) {
        setLabelFileWriteHook([&] { writeFile(path, userSave); });
        expected = userSave;
    } else if (fault == QLatin1String("repointed")) {
        const QString first = dir + QStringLiteral("/first.ini");
        const QString second = dir + QStringLiteral("/second.ini");
        QVERIFY(QFile::rename(path, first));
        QVERIFY(writeFile(second, "; second\n"));
        QVERIFY(QFile::link(QStringLiteral("first.ini"), path));
        setLabelFileWriteHook([&] {
            ::unlink(file.constData());
            ::symlink("second.ini", file.constData());
        });
        checked = first;
        untouched.insert(second, "; second\n");
    } else if (fault == QLatin1String("acl")) {
        QVERIFY(run(QStringLiteral("setfacl"), { "-m", "u:65534:r", path }));
    } else if (fault == QLatin1String("xattr")) {
        QVERIFY(run(QStringLiteral("setfattr"), { "-n", "user.origin", "-v", "rig 7", path }));
        QVERIFY(run(QStringLiteral("setfattr"), { "-n", "user.empty", path }));
    } else if (fault == QLatin1String("mode")) {
        QCOMPARE(::chmod(file.constData(), 0640), 0);
    } else if (fault == QLatin1String("hard link")) {
        QCOMPARE(::link(file.constData(), QFile::encodeName(dir + "/second.ini").constData()), 0);
        untouched.insert(dir + QStringLiteral("/second.ini"), content);
    } else if (fault == QLatin1String("lookalikes")) {
        // Named like a stale scratch file, but each unlike one in some way: a running writer,
        // upper-case digits, a leading zero, another name; a directory, a link, a second hard
        // link, another user's file. Only the last one, a writer that cannot be running, goes.
        const QString like = QStringLiteral(".K732-118.ini.scratch-");
        const QString tag = QStringLiteral("-0123456789abcdef");
        const QString bak = dir + QStringLiteral("/.K732-118.ini.bak");
        for (const QString &other :
             { bak, like + u'1' + tag, like + QStringLiteral("2147483647-0123456789ABCDEF"),
               like + QStringLiteral("02147483647") + tag }) {
            const QString otherPath = other.startsWith(u'/') ? other : dir + u'/' + other;
            QVERIFY(writeFile(otherPath, "mine\n"));
            untouched.insert(otherPath, "mine\n");
        }
        QVERIFY(QDir(dir).mkdir(like + QStringLiteral("2147483646") + tag));
        QVERIFY(QFile::link(QStringLiteral("K732-118.ini"),
                            dir + u'/' + like + QStringLiteral("2147483645") + tag));
        QCOMPARE(::link(QFile::encodeName(bak).constData(),
                        QFile::encodeName(dir + u'/' + like + QStringLiteral("2147483644") + tag)
                                .constData()),
                 0);
        const QString others = dir + u'/' + like + QStringLiteral("2147483643") + tag;
        QVERIFY(writeFile(others, "theirs\n"));
        if (root)
            QCOMPARE(::chown(QFile::encodeName(others).constData(), childrun::unprivilegedId,
                             childrun::unprivilegedId),
                     0);
        else
            removed.append(like + QStringLiteral("2147483643") + tag);
        QVERIFY(writeFile(dir + u'/' + like + QStringLiteral("2147483642") + tag, "stale\n"));
        removed.append(like + QStringLiteral("2147483642") + tag);
    } else if (fault == QLatin1String("dir lock winner")) {
        expected = appendedSection(content);
    } else if (fault == QLatin1String("unreadable dir")) {
        QCOMPARE(::chown(file.constData(), childrun::unprivilegedId, childrun::unprivilegedId), 0);
        QCOMPARE(::chmod(QFile::encodeName(dir).constData(), 0333), 0);
    } else if (fault == QLatin1String("user's file") || fault == QLatin1String("own")) {
        QCOMPARE(::chown(file.constData(), childrun::unprivilegedId, childrun::unprivilegedId), 0);
    } else if (fault == QLatin1String("team")) {
        QCOMPARE(::chown(file.constData(), 1001, childrun::unprivilegedId), 0);
        QCOMPARE(::chmod(file.constData(), 0660), 0);
    } else if (fault == QLatin1String("group")) {
        QCOMPARE(::chown(file.constData(), childrun::unprivilegedId, 2000), 0);
    }
    const QStringList entriesBefore = directoryEntries(dir);
    const QStringList metadataBefore = metadata(checked);

    bool result = false;
    const QTemporaryDir holderTemp;
    QProcess holder;
    const auto endHolder = qScopeGuard([&] { endChild(&holder); });
    if (fault.startsWith(QLatin1String("dir lock "))) {
        QByteArray output;
        QVERIFY2(startChild(&holder, dir, holderTemp, "holding\n", &output), output.constData());
        // Let go once this write finds the lock taken: a write that does not wait for it
        // renames while the other one still holds its text, which would be lost.
        bool letGo = fault == QLatin1String("dir lock stuck");
        const auto letGoNow = [&] {
            letGo = true;
            holder.write("g");
            holder.waitForBytesWritten();
        };
        setGuardedWriteStepHook([&](GuardedWriteStep step) {
            if (step == GuardedWriteStep::LockBusy && !letGo)
                letGoNow();
        });
        // A set of its own, so that its text cannot pass for the winner's.
        result = insertLabelSets(readLabelFileText(path), bitLabelsGroup,
                                 { { QStringLiteral("Loser"), { QStringLiteral("a") } } });
        if (fault != QLatin1String("dir lock stuck")) {
            if (!letGo)
                letGoNow();
            QVERIFY(holder.waitForFinished(60000));
            output += holder.readAll();
            QVERIFY2(holder.exitStatus() == QProcess::NormalExit && holder.exitCode() == 0,
                     output.constData());
        }
        if (fault == QLatin1String("dir lock brief"))
            expected = content + "\n[bitlabels]\nLoser\\a=0\n";
    } else if (unprivileged) {
        qputenv(dirVariable, QFile::encodeName(dir));
        QByteArray output;
        result = childrun::runCurrentTest(prefix, program, childVariable, &output);
        QVERIFY2(result, output.constData());
        result = written;
    } else if (fault == QLatin1String("six")) {
        // All six have read the file as missing and hold their text when the first renames.
        std::mutex mutex;
        std::condition_variable allThere;
        int arrived = 0;
        setLabelFileWriteHook([&] {
            std::unique_lock<std::mutex> lock(mutex);
            ++arrived;
            allThere.notify_all();
            allThere.wait_for(lock, std::chrono::seconds(20), [&] { return arrived == 6; });
        });
        std::atomic<int> writers { 0 };
        std::vector<std::thread> starts;
        starts.reserve(6);
        for (int i = 0; i < 6; ++i)
            starts.emplace_back([&] { writers += insertGeneric(path) ? 1 : 0; });
        for (std::thread &start : starts)
            start.join();
        result = writers == 1;
    } else {
        result = insertGeneric(path);
    }
    setLabelFileWriteHook({});
    setGuardedWriteStepHook({});

    QCOMPARE(result, written);
    QCOMPARE(readFile(checked), expected.isNull() ? QByteArray("<no readable file>") : expected);
    if (!metadataBefore.isEmpty())
        QCOMPARE(metadata(checked), metadataBefore);
    for (auto it = untouched.cbegin(); it != untouched.cend(); ++it)
        QCOMPARE(readFile(it.key()), it.value());
    // Nothing left beside the file: no scratch file, no lock.
    QStringList entriesAfter = entriesBefore;
    if (!entriesAfter.contains(QStringLiteral("K732-118.ini")) && QFileInfo::exists(path))
        entriesAfter.append(QStringLiteral("K732-118.ini"));
    for (const QString &entry : std::as_const(removed))
        entriesAfter.removeAll(entry);
    entriesAfter.sort();
    QCOMPARE(directoryEntries(dir), entriesAfter);
#endif
}

QTEST_MAIN(tst_BadInput)
#include "tst_badinput.moc"
