// What the label tool's commands share: the label file as the window reads it, and the output.
#include "labeltool.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

void write(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Why readLabelFileText found the file unusable, in the words of the window's rules.
QString unusableReason(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("is a dangling symbolic link");
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
        if (text.contains('\0'))
            return QStringLiteral("holds a NUL byte: it is not a text file");
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
        std::exit(ExitUnusable);
    }
    return path;
}

void printOut(const QString &text)
{
    write(stdout, text);
}

void printErr(const QString &text)
{
    write(stderr, text);
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
    printErr(QStringLiteral("%1: error: %2\n").arg(path, reason));
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
        printOut(text);
        std::exit(ExitClean);
    }
    return true;
}

OpenedLabelFile openLabelFile(const QString &path)
{
    OpenedLabelFile file;
    file.text = readLabelFileText(path);
    switch (file.text.state) {
    case LabelFileState::Missing:
        file.error = QStringLiteral("no such file");
        return file;
    case LabelFileState::Unusable:
        file.error = unusableReason(path, file.text.bytes);
        return file;
    case LabelFileState::Empty:
    case LabelFileState::Text:
        break;
    }
    bool overLimits = false;
    // The text that was read, not the file again: what another program may have put there since.
    file.sets = readLabelSetsFromText(file.text.bytes, labelGroup(), &overLimits);
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
    const qsizetype k = sets.names.indexOf(name);
    if (k < 0) {
        fileError(path,
                  QStringLiteral("no set \"%1\" (the sets are: %2)")
                          .arg(name, sets.names.join(QStringLiteral(", "))));
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
    return argument.endsWith(QLatin1String(".ini"), Qt::CaseInsensitive)
            || QFileInfo::exists(argument);
}

QString hexValue(quint32 value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(8, u'0');
}

bool parseMaskValue(const QString &text, quint32 *value)
{
    int base = 10;
    QStringView digits(text);
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits = digits.mid(2);
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        base = 2;
        digits = digits.mid(2);
    }
    // toULongLong would take blanks and a sign; a value is digits only.
    if (digits.isEmpty() || digits.size() > 64)
        return false;
    for (const QChar c : digits) {
        const bool digit = base == 16 ? c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f')
                                      : c >= u'0' && c.unicode() < u'0' + base;
        if (!digit || c.unicode() > 0x7f)
            return false;
    }
    bool ok = false;
    const qulonglong number = digits.toULongLong(&ok, base);
    if (!ok || number > 0xffffffffULL)
        return false;
    *value = quint32(number);
    return true;
}
