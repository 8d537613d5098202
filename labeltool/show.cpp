// SPDX-License-Identifier: MIT
// show: the sets as the window's drop-down lists them, or the 32 boxes of one set.
#include "labeltool.h"

#include <QCommandLineParser>

int runShow(const QStringList &arguments)
{
    const QString command = QStringLiteral("show");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Without SET, lists the sets in the order of the window's drop-down, one a line: the "
            "name, a tab, the number of labels. With SET, prints its 32 boxes, bit 0 first: the "
            "bit, a tab, the caption, a tab, enabled or disabled. A backslash, tab, newline or "
            "carriage return in a name or caption is written \\\\, \\t, \\n or \\r, so that each "
            "row is one line. SET matches without case unless two sets differ only in case.\n\n"
            "Example: the boxes of set Motor:\n"
            "  K732-118-labels show my-labels.ini Motor"));
    parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("The label file (default: K732-118.ini beside this program; - reads "
                           "standard input). A single argument is FILE when it is -, names an "
                           "existing file or ends in .ini."),
            QStringLiteral("[FILE]"));
    parser.addPositionalArgument(QStringLiteral("SET"), QStringLiteral("A set name."),
                                 QStringLiteral("[SET]"));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    QStringList positional = parser.positionalArguments();
    if (positional.size() > 2)
        return usageError(command, QStringLiteral("FILE and SET at most"));
    const QString path =
            positional.size() == 2 || (positional.size() == 1 && isFileArgument(positional.first()))
            ? positional.takeFirst()
            : defaultLabelFile();

    if (positional.isEmpty()) {
        const OpenedLabelFile file = openLabelFile(path);
        if (!file.error.isEmpty())
            return fileError(path, file.error);
        if (file.sets.names.isEmpty())
            printErr(QStringLiteral("%1: note: no set: the window shows its default set and adds "
                                    "it to the file\n")
                             .arg(shownPath(path)));
        const LabelSets sets = shownLabelSets(file.sets);
        for (qsizetype k = 0; k < sets.names.size(); ++k)
            printOut(QStringLiteral("%1\t%2\n")
                             .arg(escapedField(sets.names.at(k)))
                             .arg(sets.labels.at(k).size()));
        return ExitClean;
    }

    QStringList labels;
    if (!findShownSet(path, positional.first(), &labels))
        return ExitUnusable;
    QString text;
    for (int bit = 0; bit < 32; ++bit)
        text += QStringLiteral("%1\t%2\t%3\n")
                        .arg(bit)
                        .arg(escapedField(boxCaption(labels, bit)),
                             bit < labels.size() ? QStringLiteral("enabled")
                                                 : QStringLiteral("disabled"));
    printOut(text);
    return ExitClean;
}
