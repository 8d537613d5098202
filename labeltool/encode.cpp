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
            "and in hexadecimal, one a line. A label shown on several boxes sets all of them. SET "
            "and the LABELs match without case unless two of them differ only in case.\n\n"
            "Example: the value that sets Ready and Stalled in set Motor:\n"
            "  K732-118-labels encode my-labels.ini --set motor ready stalled"));
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
    const qsizetype boxes = std::min<qsizetype>(labels.size(), 32);
    for (const QString &label : std::as_const(positional)) {
        // The label as written, else without case: unless that takes in labels written
        // differently ("EN" and "En"), when it must be given as it is written.
        quint32 exact = 0;
        quint32 folded = 0;
        QStringList spellings;
        for (int bit = 0; bit < boxes; ++bit) {
            if (labels.at(bit) == label)
                exact |= quint32(1) << bit;
            if (labels.at(bit).compare(label, Qt::CaseInsensitive) == 0) {
                folded |= quint32(1) << bit;
                if (!spellings.contains(labels.at(bit)))
                    spellings.append(labels.at(bit));
            }
        }
        if (!exact && spellings.size() > 1) {
            for (QString &spelling : spellings)
                spelling = escapedField(spelling);
            return fileError(path,
                             QStringLiteral("set \"%1\" shows several labels \"%2\" without "
                                            "case (%3): give it as it is written")
                                     .arg(escapedField(parser.value(setOption)),
                                          escapedField(label),
                                          spellings.join(QLatin1String(", "))));
        }
        if (!exact && !folded)
            return fileError(
                    path,
                    QStringLiteral("set \"%1\" shows no label \"%2\"")
                            .arg(escapedField(parser.value(setOption)), escapedField(label)));
        value |= exact ? exact : folded;
    }
    printOut(QStringLiteral("%1\n%2\n").arg(value).arg(hexValue(value)));
    return ExitClean;
}
