// SPDX-License-Identifier: MIT
// What the largest label files within the limits cost: the window's start and the label tool's
// reading commands, each run as a process of its own under the memory and processor-time bounds
// the README states, on generated worst cases. A run that passes a bound is killed and fails.
#include "labeldecoding.h"
#include "labelfile.h"
#include "qvmaskcalcwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QProcess>
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

const char childVariable[] = "MASKCALC_BOUNDS_CHILD";
constexpr rlim_t oneGiB = rlim_t(1) << 30;

// The bounds of one run: address space and processor seconds. Past the processor time the kernel
// ends the process with SIGXCPU, past the address space an allocation fails.
void limitThisProcess(rlim_t memory, rlim_t seconds)
{
    const rlimit space { memory, memory };
    const rlimit cpu { seconds, seconds + 1 };
    ::setrlimit(RLIMIT_AS, &space);
    ::setrlimit(RLIMIT_CPU, &cpu);
}

// The child: the program's own start, shown and drawn once, then ended. The window's size is
// printed for the parent's messages.
int runWindow(int argc, char **argv)
{
    limitThisProcess(oneGiB, 10);
    QApplication app(argc, argv);
    QvMaskCalcWindow window;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 3;
    window.repaint();
    QCoreApplication::processEvents();
    const auto *sets = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
    std::printf("%d sets, %dx%d pixels\n", sets ? sets->count() : -1, window.width(),
                window.height());
    return 0;
}

QByteArray repeated(const QByteArray &piece, qsizetype times)
{
    QByteArray text;
    text.reserve(piece.size() * times);
    for (qsizetype i = 0; i < times; ++i)
        text += piece;
    return text;
}

// The largest text that stays within the size limit after header and tail.
qsizetype roomFor(const QByteArray &header, const QByteArray &tail)
{
    return qsizetype(maxLabelFileSize) - header.size() - tail.size();
}

// Each worst case in its own words: a file is generated only for its own row.
QByteArray labelFile(const QString &kind)
{
    const QByteArray header = "[bitlabels]\n";
    if (kind == u"label of 100,000 capitals")
        return header + "S\\" + QByteArray(100000, 'M') + "=0\n";
    if (kind == u"set name of 100,000 characters")
        return header + QByteArray(100000, 'W') + "\\x=0\n";
    if (kind == u"label of 16 MiB") {
        const QByteArray tail = "=0\n";
        return header + "S\\" + QByteArray(roomFor(header + "S\\", tail), 'M') + tail;
    }
    if (kind == u"label of 16 MiB of three-em dashes") {
        const QByteArray tail = "=0\n";
        const QByteArray dash = "\xe2\xb8\xbb"; // U+2E3B, three ems wide
        return header + "S\\" + repeated(dash, roomFor(header + "S\\", tail) / 3) + tail;
    }
    if (kind == u"set name of a million characters and a 15 MiB label") {
        const QByteArray head = header + QByteArray(1000000, 'W') + '\\';
        const QByteArray tail = "=0\n";
        return head + QByteArray(roomFor(head, tail), 'M') + tail;
    }
    if (kind == u"32 labels as wide and as tall as shown") {
        // Each column's first box as wide as a caption is shown, every other box as tall: the
        // window takes the widest box of each column and the tallest of each row.
        QByteArray text = header;
        const QByteArray wide = repeated("\xe2\xb8\xbb", maxShownCaptionLength + 10);
        const QByteArray tall = repeated("W%0A", maxShownCaptionLength / 2);
        for (int bit = 0; bit < 32; ++bit) {
            const QByteArray number = QByteArray::number(bit);
            text += "S\\" + number + (bit % 8 == 0 ? wide : tall) + '=' + number + '\n';
        }
        return text;
    }
    if (kind == u"900,000 labels in one set") {
        QByteArray text = header;
        for (int i = 0; i < 900000; ++i)
            text += "S\\L" + QByteArray::number(i) + '=' + QByteArray::number(i) + '\n';
        return text;
    }
    if (kind == u"45,000 sets of 20 labels") {
        QByteArray text = header;
        for (int set = 0; set < 45000; ++set) {
            const QByteArray name = 'S' + QByteArray::number(set);
            for (int bit = 0; bit < 20; ++bit)
                text += name + "\\L" + QByteArray::number(bit) + '=' + QByteArray::number(bit)
                        + '\n';
        }
        return text;
    }
    if (kind == u"50,000 sets of 20-character names") {
        QByteArray text = header;
        for (int set = 0; set < 50000; ++set)
            text += QByteArray::number(set).rightJustified(20, 'N') + "\\a=0\n";
        return text;
    }
    if (kind == u"16 MiB of labels naming a bit out of range"
        || kind == u"a million labels naming one bit") {
        // Every line a warning of check's, on a bit or on a label.
        const QByteArray value = kind.contains(u"range") ? "=99999999\n" : "=9\n";
        QByteArray text = header;
        for (int i = 0; i < maxLabelFileLines - 10; ++i) {
            const QByteArray line = "S\\L" + QByteArray::number(i) + value;
            if (text.size() + line.size() > maxLabelFileSize)
                break;
            text += line;
        }
        return text;
    }
    if (kind == u"16 MiB of labels of 128 characters") {
        QByteArray text = header;
        const QByteArray label(maxShownCaptionLength - 8, 'M');
        for (int set = 0; text.size() < maxLabelFileSize - 200; ++set) {
            const QByteArray name = 'S' + QByteArray::number(set);
            for (int bit = 0; bit < 32 && text.size() < maxLabelFileSize - 200; ++bit)
                text += name + '\\' + label + QByteArray::number(bit).rightJustified(8, '0') + '='
                        + QByteArray::number(bit) + '\n';
        }
        return text;
    }
    return QByteArray();
}

void addLabelFileRows()
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : { "label of 100,000 capitals", "set name of 100,000 characters",
                              "label of 16 MiB", "label of 16 MiB of three-em dashes",
                              "set name of a million characters and a 15 MiB label",
                              "32 labels as wide and as tall as shown", "900,000 labels in one set",
                              "45,000 sets of 20 labels", "50,000 sets of 20-character names",
                              "16 MiB of labels of 128 characters" })
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

// Writes the row's file as the label file beside the test, where the child window reads it.
QString placeLabelFile(const QString &kind)
{
    const QByteArray content = labelFile(kind);
    QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini");
    QFile file(path);
    if (content.isEmpty() || content.size() > maxLabelFileSize || !isWithinLabelFileLimits(content)
        || !file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(content) != content.size())
        return QString();
    return path;
}

// How a bounded child ended, for the failure message.
QByteArray outcome(const QProcess &child, const QByteArray &output)
{
    if (child.exitStatus() == QProcess::CrashExit)
        return "ended by a signal (past its bounds, or a crash): " + output;
    return "exit status " + QByteArray::number(child.exitCode()) + ": " + output;
}

} // namespace

class tst_Bounds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void windowStart_data();
    void windowStart();
    void labelTool_data();
    void labelTool();
};

void tst_Bounds::initTestCase()
{
#ifdef MASKCALC_SANITIZED
    // Not QSKIP: its empty "..." is an extension that clang's -Wpedantic reports.
    QTest::qSkip("the sanitizers' shadow memory does not fit an address-space limit", __FILE__,
                 __LINE__);
#endif
}

void tst_Bounds::cleanup()
{
    QFile::remove(QCoreApplication::applicationDirPath() + QStringLiteral("/K732-118.ini"));
}

void tst_Bounds::windowStart_data()
{
    addLabelFileRows();
}

void tst_Bounds::windowStart()
{
    QFETCH(QString, kind);
    const QString path = placeLabelFile(kind);
    QVERIFY2(!path.isEmpty(), "the generated file is beyond the limits");
    const QByteArray before = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {});
    // Generous: the bound is the processor time the child is given, not this.
    QVERIFY(child.waitForFinished(300000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             outcome(child, output).constData());
    qInfo("%s", output.trimmed().constData());
    // The window read the sets, rather than passing the file over.
    const qsizetype sets = readLabelSetsFromFile(path, QStringLiteral("bitlabels")).names.size();
    QVERIFY(sets > 0);
    QVERIFY2(output.contains(QByteArray::number(sets) + " sets,"), output.constData());

    // A file that holds sets is only read.
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QVERIFY(after.readAll() == before);
}

void tst_Bounds::labelTool_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("arguments"); // the file is added after the command

    const QStringList check { "check" };
    const QStringList show { "show" };
    const QStringList decode { "decode", "--set", "S", "0xffffffff" };
    const QStringList encode { "encode", "--set", "S", "L1" };
    for (const char *kind :
         { "16 MiB of labels naming a bit out of range", "a million labels naming one bit" }) {
        for (const QStringList &arguments : { check, show, decode, encode })
            QTest::addRow("%s: %s", arguments.constFirst().toLatin1().constData(), kind)
                    << QString::fromLatin1(kind) << arguments;
    }
    for (const char *kind :
         { "label of 16 MiB", "set name of a million characters and a 15 MiB label",
           "45,000 sets of 20 labels", "16 MiB of labels of 128 characters" })
        QTest::addRow("check: %s", kind) << QString::fromLatin1(kind) << check;
}

// check, show, decode and encode on the worst files: within 1 GiB of address space and a minute
// of processor time (the README states what they take).
void tst_Bounds::labelTool()
{
    QFETCH(QString, kind);
    QFETCH(QStringList, arguments);
    const QString path = placeLabelFile(kind);
    QVERIFY2(!path.isEmpty(), "the generated file is beyond the limits");
    arguments.insert(1, path);

    QProcess tool;
    tool.setChildProcessModifier([] { limitThisProcess(oneGiB, 60); });
    tool.setStandardOutputFile(QProcess::nullDevice());
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(QStringLiteral(LABEL_TOOL), arguments);
    QVERIFY(tool.waitForFinished(600000));
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit,
             "ended by a signal (past its bounds, or a crash)");
    // 1: check found something to say, as it does of every line of some of these.
    QVERIFY2(tool.exitCode() == 0 || tool.exitCode() == 1,
             QByteArray::number(tool.exitCode()).constData());
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(childVariable))
        return runWindow(argc, argv);
    QApplication app(argc, argv);
    tst_Bounds test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_bounds.moc"
