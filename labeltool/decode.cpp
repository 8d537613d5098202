// SPDX-License-Identifier: MIT
// decode: a value in decimal, hexadecimal and binary, and the caption of each bit it sets.
#include "labeltool.h"

#include <QCommandLineParser>

int runDecode(const QStringList &arguments)
{
    const QString command = QStringLiteral("decode");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Prints VALUE in decimal, hexadecimal and binary (grouped by 4), then one line per "
            "set bit: the bit, a tab, its caption in SET. A backslash, tab, newline or carriage "
            "return in a caption is written \\\\, \\t, \\n or \\r, so that each row is one line. "
            "SET matches without case unless two sets differ only in case.\n\n"
            "Example: the bits of 0x25 in set Motor:\n"
            "  K732-118-labels decode my-labels.ini --set Motor 0x25"));
    const QCommandLineOption setOption(QStringLiteral("set"),
                                       QStringLiteral("The set to use (given once)."),
                                       QStringLiteral("SET"));
    parser.addOption(setOption);
    parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("The label file (default: K732-118.ini beside this program; - reads "
                           "standard input)."),
            QStringLiteral("[FILE]"));
    parser.addPositionalArgument(
            QStringLiteral("VALUE"),
            QStringLiteral("A number from 0 to 4294967295 (0x8000_0000), written as the tool's "
                           "--help says."));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 2)
        return usageError(command, QStringLiteral("one VALUE, after an optional FILE"));
    if (!parser.isSet(setOption))
        return usageError(command, QStringLiteral("--set SET is needed"));
    if (parser.values(setOption).size() > 1)
        return usageError(command, QStringLiteral("--set once only"));
    quint32 value = 0;
    // A lone FILE is no VALUE that fails to parse: the value is what is missing.
    if (positional.isEmpty()
        || (positional.size() == 1 && !parseMaskValue(positional.first(), &value)
            && isFileArgument(positional.first())))
        return usageError(command, QStringLiteral("a VALUE is needed"));
    if (!parseMaskValue(positional.constLast(), &value))
        return usageError(command,
                          QStringLiteral("'%1' is no value from 0 to 4294967295 (decimal, 0x "
                                         "hexadecimal or 0b binary, '_' between digits)")
                                  .arg(escapedField(positional.constLast())));
    const QString path = positional.size() == 2 ? positional.first() : defaultLabelFile();
    QStringList labels;
    if (!findShownSet(path, parser.value(setOption), &labels))
        return ExitUnusable;

    QString binary;
    for (int bit = 31; bit >= 0; --bit) {
        binary += (value >> bit) & 1 ? u'1' : u'0';
        if (bit % 4 == 0 && bit > 0)
            binary += u' ';
    }
    QString text = QStringLiteral("%1\n%2\n").arg(value).arg(hexValue(value)) + binary + u'\n';
    for (int bit = 0; bit < 32; ++bit) {
        if ((value >> bit) & 1)
            text += QStringLiteral("%1\t%2\n").arg(bit).arg(escapedField(boxCaption(labels, bit)));
    }
    printOut(text);
    return ExitClean;
}
