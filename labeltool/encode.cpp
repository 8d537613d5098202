// SPDX-License-Identifier: MIT
// encode: the value that sets the bits of the named labels.
#include "labeltool.h"

#include <QCommandLineParser>

int runEncode(const QStringList &arguments)
{
    const QString command = QStringLiteral("encode");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Prints the value whose set bits are those that show the LABELs in SET, in decimal "
            "and in hexadecimal, one a line. A label shown on several boxes sets all of them."));
    const QCommandLineOption setOption(QStringLiteral("set"),
                                       QStringLiteral("The set to use (given once)."),
                                       QStringLiteral("SET"));
    parser.addOption(setOption);
    parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("The label file (default: K732-118.ini beside this program; - reads "
                           "standard input). The first argument is FILE when it is -, names an "
                           "existing file or ends in .ini."),
            QStringLiteral("[FILE]"));
    parser.addPositionalArgument(QStringLiteral("LABEL"), QStringLiteral("A caption of the set."),
                                 QStringLiteral("LABEL..."));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    QStringList positional = parser.positionalArguments();
    if (!parser.isSet(setOption))
        return usageError(command, QStringLiteral("--set SET is needed"));
    if (parser.values(setOption).size() > 1)
        return usageError(command, QStringLiteral("--set once only"));
    if (positional.isEmpty() || (positional.size() == 1 && isFileArgument(positional.first())))
        return usageError(command, QStringLiteral("at least one LABEL is needed"));
    const QString path =
            isFileArgument(positional.first()) ? positional.takeFirst() : defaultLabelFile();
    QStringList labels;
    if (!findShownSet(path, parser.value(setOption), &labels))
        return ExitUnusable;

    quint32 value = 0;
    for (const QString &label : std::as_const(positional)) {
        bool found = false;
        for (int bit = 0; bit < std::min<qsizetype>(labels.size(), 32); ++bit) {
            if (labels.at(bit) == label) {
                value |= quint32(1) << bit;
                found = true;
            }
        }
        if (!found)
            return fileError(
                    path,
                    QStringLiteral("set \"%1\" shows no label \"%2\"")
                            .arg(escapedField(parser.value(setOption)), escapedField(label)));
    }
    printOut(QStringLiteral("%1\n%2\n").arg(value).arg(hexValue(value)));
    return ExitClean;
}
