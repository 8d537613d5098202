// SPDX-License-Identifier: MIT
// What the label tool's commands share: the label file as the window reads it, and the output.
#include "labeltool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif
#endif

namespace {

// Standard error is where this would be said; when it is standard error that fails, there is
// nowhere left to say it, and the exit status alone tells.
void reportOutputError(int error)
{
    const QByteArray line = QCoreApplication::applicationName().toUtf8()
            + ": error writing standard output: " + std::strerror(error) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

bool wroteStandardOutput = false;

void write(FILE *stream, const QByteArray &bytes)
{
    if (stream == stdout)
        wroteStandardOutput = true;
    errno = 0;
    const size_t written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    if (written == size_t(bytes.size()) && std::fflush(stream) == 0 && !std::ferror(stream))
        return;
    const int error = errno != 0 ? errno : EIO;
    if (stream == stdout)
        reportOutputError(error);
    std::exit(ExitUnusable);
}

struct UndecodableArgument
{
    QString decoded;
    QByteArray bytes;
};

QList<UndecodableArgument> &undecodableArguments()
{
    static QList<UndecodableArgument> arguments;
    return arguments;
}

// The bytes behind an argument that does not decode exactly, or null.
const QByteArray *undecodableBytes(const QString &argument)
{
    for (const UndecodableArgument &undecodable : undecodableArguments()) {
        // "--into=NAME" gives NAME as the option's value.
        if (undecodable.decoded == argument || undecodable.decoded.endsWith(u'=' + argument))
            return &undecodable.bytes;
    }
    return nullptr;
}

// Why a path that does not exist cannot be read or created: its directory is missing, or a part
// of it is no directory.
QString missingReason(const QFileInfo &info)
{
    const QFileInfo dir(info.absolutePath());
    if (!dir.exists())
        return QStringLiteral("no such file or directory: the directory %1 does not exist")
                .arg(QDir::toNativeSeparators(info.path()));
    if (!dir.isDir())
        return QStringLiteral("no such file or directory: %1 is not a directory")
                .arg(QDir::toNativeSeparators(info.path()));
    return QStringLiteral("no such file or directory");
}

// Why readLabelFileText found the file unusable, in the words of the window's rules.
QString unusableReason(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("is a dangling symbolic link");
    if (!info.exists())
        return missingReason(info);
    if (info.isDir())
        return QStringLiteral("is a directory");
    if (!info.isFile())
        return QStringLiteral("is not a regular file");
    if (info.size() > maxLabelFileSize)
        return QStringLiteral("is larger than %1 MiB")
                .arg(maxLabelFileSize / (qint64(1024) * 1024));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read: %1").arg(file.errorString());
    if (bytes.isEmpty()) {
        const QByteArray text = file.read(maxLabelFileSize + 1);
        if (!isWithinLabelFileLimits(text))
            return QStringLiteral("has more than %1 lines").arg(maxLabelFileLines);
    }
    return QStringLiteral("cannot be read whole");
}

} // namespace

QString defaultLabelFile()
{
    QString path = labelFileBesideExecutable(QStringLiteral("K732-118"));
    if (path.isEmpty()) {
        // Like the window, which then has no label file: nothing is opened anywhere.
        printErr(QStringLiteral("%1: the name of this program's directory cannot be represented, "
                                "so there is no label file beside it: give FILE\n")
                         .arg(QCoreApplication::applicationName()));
        std::exit(finishOutput(ExitUnusable));
    }
    return path;
}

void printOut(const QString &text)
{
    write(stdout, text.toUtf8());
}

void printOut(const QByteArray &bytes)
{
    write(stdout, bytes);
}

void printErr(const QString &text)
{
    write(stderr, text.toUtf8());
}

void keepFreedMemory()
{
#ifdef __GLIBC__
    // On a virtual machine a page fault costs as much as the reading that follows it (import-svd
    // of nrf5340_application: 8,000 page faults, then 5,200); the peak grows by a little.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
}

int finishOutput(int status)
{
    // Every write was flushed and checked, but a file system may report a failure only at close.
    errno = 0;
    const bool failed = std::ferror(stdout) || std::fclose(stdout) != 0;
    // A closed standard output is no failure for a command that had nothing to print there.
    if (failed && (errno != EBADF || wroteStandardOutput)) {
        reportOutputError(errno != 0 ? errno : EIO);
        return ExitUnusable;
    }
    if (std::fflush(stderr) != 0 || std::ferror(stderr))
        return ExitUnusable;
    return status;
}

bool isStandardStream(const QString &argument)
{
    return argument == u'-';
}

QString shownPath(const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("''");
    return isStandardStream(path) ? QStringLiteral("<stdin>") : path;
}

namespace {

// The rest of an open file, or false with the reason: more than limit bytes is an error.
bool readOpenFile(QFile &file, qint64 limit, QByteArray *bytes, QString *error)
{
    const auto tooLarge = [&] {
        *error = QStringLiteral("is larger than %1 MiB").arg(limit / (qint64(1024) * 1024));
        return false;
    };
    if (!file.isSequential() && file.size() > limit)
        return tooLarge();
    *bytes = file.isSequential() ? file.read(limit + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    if (bytes->size() > limit)
        return tooLarge();
    return true;
}

} // namespace

bool readStandardInput(qint64 limit, QByteArray *bytes, QString *error)
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot be read: %1").arg(in.errorString());
        return false;
    }
    return readOpenFile(in, limit, bytes, error);
}

bool readInputFile(const QString &path, qint64 limit, QByteArray *bytes, QString *error)
{
    if (path.isEmpty()) {
        *error = QStringLiteral("an empty name is no file");
        return false;
    }
    if (!isUsableFileName(path)) {
        *error = unusableNameReason();
        return false;
    }
    if (isStandardStream(path))
        return readStandardInput(limit, bytes, error);
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("no such file or directory");
        return false;
    }
    if (info.isDir()) {
        *error = QStringLiteral("is a directory");
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    return readOpenFile(file, limit, bytes, error);
}

void noteUndecodableArgument(const QString &decoded, const QByteArray &bytes)
{
    undecodableArguments().append({ decoded, bytes });
}

bool isUsableFileName(const QString &path)
{
    return !undecodableBytes(path);
}

QString unusableNameReason()
{
    return QStringLiteral("this name is not valid UTF-8 and cannot be used: it would name another "
                          "file");
}

QString escapedField(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QLatin1String("\\\\");
            break;
        case u'\t':
            escaped += QLatin1String("\\t");
            break;
        case u'\n':
            escaped += QLatin1String("\\n");
            break;
        case u'\r':
            escaped += QLatin1String("\\r");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

bool hasControlCharacter(const QString &text)
{
    // The control characters are U+0000 … U+001F and U+007F … U+009F, a set that Unicode keeps
    // for ever: no look-up in the character tables is needed.
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
    });
}

int usageError(const QString &command, const QString &message)
{
    const QString tool = QCoreApplication::applicationName();
    const QString where = command.isEmpty() ? tool : tool + u' ' + command;
    printErr(QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(where, message));
    return ExitUnusable;
}

int fileError(const QString &path, const QString &reason)
{
    printErr(QStringLiteral("%1: error: %2\n").arg(shownPath(path), reason));
    return ExitUnusable;
}

bool parseCommandLine(QCommandLineParser &parser, const QString &command,
                      const QStringList &arguments)
{
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Displays help on this command."));
    parser.addOption(help);
    if (!parser.parse(arguments)) {
        usageError(command, parser.errorText());
        return false;
    }
    if (parser.isSet(help)) {
        // The parser's help names the program; the command belongs after it.
        QString text = parser.helpText();
        text.replace(
                QStringLiteral("Usage: %1").arg(QCoreApplication::arguments().constFirst()),
                QStringLiteral("Usage: %1 %2").arg(QCoreApplication::applicationName(), command));
        printOut(wrappedHelp(text));
        std::exit(finishOutput(ExitClean));
    }
    return true;
}

OpenedLabelFile openLabelFile(const QString &path)
{
    OpenedLabelFile file;
    if (path.isEmpty()) {
        file.error = QStringLiteral("an empty name is no file");
        return file;
    }
    if (!isUsableFileName(path)) {
        file.error = unusableNameReason();
        return file;
    }
    if (isStandardStream(path)) {
        // The window's reader reads a file: standard input goes into one, which check may read
        // again, so it stays until the tool ends. Read once, it serves every later open.
        static QTemporaryDir scratch;
        static QString copy;
        static QString copyError;
        if (copy.isEmpty() && copyError.isEmpty()) {
            QByteArray bytes;
            const QString name = scratch.filePath(QStringLiteral("stdin.ini"));
            QFile out(name);
            if (!scratch.isValid())
                copyError = QStringLiteral("cannot be read: no scratch directory for it");
            else if (readStandardInput(maxLabelFileSize, &bytes, &copyError)) {
                if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size()
                    && out.flush())
                    copy = name;
                else
                    copyError = QStringLiteral("cannot be read: %1").arg(out.errorString());
            }
        }
        if (!copyError.isEmpty()) {
            file.error = copyError;
            return file;
        }
        return openLabelFile(copy);
    }
    file.text = readLabelFileText(path);
    switch (file.text.state) {
    case LabelFileState::Missing:
        file.error = QStringLiteral("no such file or directory");
        return file;
    case LabelFileState::Unusable:
        file.error = unusableReason(path, file.text.bytes);
        return file;
    case LabelFileState::Empty:
    case LabelFileState::Text:
    case LabelFileState::Binary: // the window reads it, though it never adds to it
        break;
    }
    bool overLimits = false;
    // The text that was read, not the file again: what another program may have put there since.
    file.sets = readLabelSetsFromText(file.text, labelGroup(), &overLimits);
    if (overLimits)
        file.error = QStringLiteral("holds more than %1 sets, or more than %2 characters of set "
                                    "names in all")
                             .arg(maxLabelSets)
                             .arg(maxLabelSetNamesLength);
    return file;
}

LabelSets shownLabelSets(const LabelSets &sets)
{
    if (!sets.names.isEmpty())
        return sets;
    QStringList labels;
    for (int n = 1; n <= 32; ++n)
        labels.append(QStringLiteral("Bit %1").arg(n));
    return { { QStringLiteral("Generic") }, { labels } };
}

bool findShownSet(const QString &path, const QString &name, QStringList *labels)
{
    const OpenedLabelFile file = openLabelFile(path);
    if (!file.error.isEmpty()) {
        fileError(path, file.error);
        return false;
    }
    const LabelSets sets = shownLabelSets(file.sets);
    qsizetype k = sets.names.indexOf(name);
    // Without case, as the settings class compares names on some systems: unless two sets differ
    // only in case, when the name must be given as it is written.
    QList<qsizetype> alike;
    for (qsizetype i = 0; k < 0 && i < sets.names.size(); ++i) {
        if (sets.names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            alike.append(i);
    }
    if (alike.size() == 1)
        k = alike.constFirst();
    if (alike.size() > 1) {
        QStringList names;
        for (const qsizetype i : std::as_const(alike))
            names.append(escapedField(sets.names.at(i)));
        fileError(path,
                  QStringLiteral("\"%1\" names several sets without case (%2): give it as it is "
                                 "written")
                          .arg(escapedField(name), names.join(QStringLiteral(", "))));
        return false;
    }
    if (k < 0) {
        QStringList names;
        for (const QString &known : sets.names)
            names.append(escapedField(known));
        fileError(path,
                  QStringLiteral("no set \"%1\" (the sets are: %2)")
                          .arg(escapedField(name), names.join(QStringLiteral(", "))));
        return false;
    }
    *labels = sets.labels.at(k);
    return true;
}

QString boxCaption(const QStringList &labels, int bit)
{
    return bit < labels.size() ? labels.at(bit) : QStringLiteral("Unused");
}

bool isFileArgument(const QString &argument)
{
    if (isStandardStream(argument) || argument.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive))
        return true;
    // An argument that does not decode exactly exists or not as the user's bytes say, never as
    // the name it decodes to.
    if (const QByteArray *bytes = undecodableBytes(argument)) {
#ifdef Q_OS_UNIX
        struct stat st = {};
        return ::lstat(bytes->constData(), &st) == 0;
#else
        return false;
#endif
    }
    return QFileInfo::exists(argument);
}

QString hexValue(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(8, u'0');
}

bool parseNumber(QStringView text, quint64 *value)
{
    int base = 10;
    QStringView digits = text;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits = text.mid(2);
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        base = 2;
        digits = text.mid(2);
    }
    const auto digitValue = [base](QChar c) {
        const char16_t u = c.unicode();
        int d = 99;
        if (u >= u'0' && u <= u'9')
            d = u - u'0';
        else if (u >= u'a' && u <= u'f')
            d = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            d = u - u'A' + 10;
        return d < base ? d : -1;
    };
    // toULongLong would take blanks and a sign; a number is digits only, with a separator that
    // groups them standing between two digits.
    quint64 number = 0;
    bool any = false;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        const QChar c = digits.at(i);
        if ((c == u'_' || c == u'\'') && i > 0 && i + 1 < digits.size()
            && digitValue(digits.at(i - 1)) >= 0 && digitValue(digits.at(i + 1)) >= 0)
            continue;
        const int d = digitValue(c);
        if (d < 0 || number > (~quint64(0) - quint64(d)) / quint64(base))
            return false;
        number = number * quint64(base) + quint64(d);
        any = true;
    }
    if (!any)
        return false;
    *value = number;
    return true;
}

bool parseMaskValue(const QString &text, quint32 *value)
{
    quint64 number = 0;
    if (!parseNumber(text, &number) || number > 0xffffffffULL)
        return false;
    *value = quint32(number);
    return true;
}

bool wildcardPattern(const QString &pattern, bool anchored, QRegularExpression *expression,
                     QString *error)
{
    *expression =
            QRegularExpression(QRegularExpression::wildcardToRegularExpression(
                                       pattern,
                                       anchored ? QRegularExpression::DefaultWildcardConversion
                                                : QRegularExpression::UnanchoredWildcardConversion),
                               QRegularExpression::CaseInsensitiveOption);
    if (expression->isValid())
        return true;
    *error = QStringLiteral("'%1' is no wildcard pattern (*, ? and [...], each [ with its "
                            "closing ])")
                     .arg(escapedField(pattern));
    return false;
}

int helpColumns()
{
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    if (ok && columns > 0)
        return columns;
#ifdef Q_OS_UNIX
    winsize size = {};
    if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0
        && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

namespace {

// Where the text of a line goes on when it is wrapped: under the second column of a two-column
// row ("  --diff <VALUE2>  Show …"), else under the line's own first character.
qsizetype hangingIndent(const QString &line)
{
    if (line.startsWith(QLatin1String("Usage: ")))
        return 7;
    qsizetype start = 0;
    while (start < line.size() && line.at(start) == u' ')
        ++start;
    if (start == 0 || start > 4)
        return start;
    const qsizetype gap = line.indexOf(QLatin1String("  "), start);
    if (gap < 0)
        return start + 4;
    qsizetype column = gap;
    while (column < line.size() && line.at(column) == u' ')
        ++column;
    return column < line.size() ? column : start + 4;
}

// One logical line as lines of at most width characters, broken between words only: a word
// longer than the room stays whole.
void wrapLine(const QString &line, int width, QString *out)
{
    const qsizetype indent = hangingIndent(line);
    // Too narrow a column for words: the text goes on under the line's beginning instead.
    const qsizetype hang = width - indent < 20 ? std::min<qsizetype>(indent, 8) : indent;
    QString rest = line;
    bool first = true;
    while (rest.size() > width) {
        // Breaks only after the first column and the indent, so that every line makes progress.
        const qsizetype from = first ? indent : hang;
        qsizetype cut = rest.lastIndexOf(u' ', width);
        if (cut <= from)
            cut = rest.indexOf(u' ', std::max<qsizetype>(from, width));
        if (cut < 0)
            break;
        qsizetype end = cut;
        while (end > 0 && rest.at(end - 1) == u' ')
            --end;
        *out += QStringView(rest).left(end);
        *out += u'\n';
        qsizetype next = cut;
        while (next < rest.size() && rest.at(next) == u' ')
            ++next;
        rest = QString(hang, u' ') + rest.mid(next);
        first = false;
    }
    *out += rest;
    *out += u'\n';
}

} // namespace

QString wrappedHelp(const QString &text)
{
    // One column kept free: a terminal that wraps at its last column would add empty lines.
    const int width = std::max(helpColumns(), 24) - 1;
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    // The parser wraps its option and argument lists at 79 columns: their continuation lines
    // (blank up to the description's column) join their entry again before wrapping anew.
    QStringList logical;
    bool inList = false;
    qsizetype column = 0;
    for (const QString &line : std::as_const(lines)) {
        if (line == QLatin1String("Options:") || line == QLatin1String("Arguments:")) {
            inList = true;
            logical.append(line);
            continue;
        }
        if (line.isEmpty())
            inList = false;
        if (inList && column > 2 && !logical.isEmpty() && line.size() > column
            && line.left(column).trimmed().isEmpty() && line.at(column) != u' ') {
            logical.last() += u' ' + line.mid(column);
            continue;
        }
        if (inList)
            column = hangingIndent(line);
        logical.append(line);
    }
    QString out;
    for (const QString &line : std::as_const(logical))
        wrapLine(line, width, &out);
    return out;
}

QString counted(qint64 count, const QString &one, const QString &many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}
