// SPDX-License-Identifier: MIT
// The label tool's first argument: a command, or --help and --version for the tool itself.
#include "labeltool.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <utility>

int runLabelTool(const QStringList &arguments)
{
    using Command = int (*)(const QStringList &);
    static const std::pair<const char *, Command> commands[] = {
        { "check", runCheck },
        { "show", runShow },
        { "decode", runDecode },
        { "encode", runEncode },
        { "import-svd", runImportSvd },
        { "reg", runReg },
        { "find", runFind },
        { "devices", runDevices },
        { "dump", runDump },
    };
    const QString first = arguments.value(1);
    for (const auto &[name, run] : commands) {
        if (first == QLatin1String(name))
            return run(arguments.mid(1));
    }

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "The 32 Bit Mask Calculator's label files, read as the window reads them.\n\n"
            "Commands (each has its own --help):\n"
            "  check [FILE]                       lines the window reads otherwise than they "
            "seem to say\n"
            "  show [FILE] [SET]                  the sets, or the 32 boxes of one set\n"
            "  decode [FILE] --set SET VALUE      the captions of the bits a value sets\n"
            "  encode [FILE] --set SET LABEL...   the value of the named bits\n"
            "  import-svd SVD [--only PATTERN]... [--into FILE | --output NEWFILE] [-q|-v]\n"
            "                                     label sets from a CMSIS-SVD register "
            "description\n"
            "  reg SVD REGISTER VALUE [--diff VALUE2] | FIELD=VALUE...\n"
            "                                     a register's value field by field, or one "
            "composed\n"
            "  find SVD PATTERN [--text]          registers and fields by name, or by address\n"
            "  dump SVD [DUMP] [--changed | --diff DUMP2] [--base ADDRESS] [--big-endian]\n"
            "                                     every register a memory dump covers, "
            "decoded\n"
            "  devices [PATTERN] [--pack VENDOR::PACK[@VERSION]]\n"
            "                                     the devices of the installed CMSIS packs and "
            "their descriptions\n\n"
            "In place of SVD, --device NAME ([VENDOR::]DEVICE[:CORE]) takes the description of "
            "a device from the packs installed under CMSIS_PACK_ROOT (by default "
            "~/.cache/arm/packs).\n\n"
            "FILE defaults to K732-118.ini beside this program; every message about a file names "
            "its path. A FILE or SVD of - is standard input (<stdin> in messages), --output - "
            "standard output. A file name that is not valid UTF-8 is refused, never taken for "
            "another.\n\n"
            "Numbers (values, addresses, field values) are written alike in every command: "
            "decimal (a leading 0 is no octal: 010 is ten), 0x hexadecimal or 0b binary, in "
            "either case, with _ or ' between two digits (0x4001_4000, 0b1010_0101). An argument "
            "is a number only when the whole of it is one: 2mA is a name.\n\n"
            "Names (sets, labels, registers, fields, enumerated values) and --only and find "
            "patterns match without case.\n\n"
            "Exit status: 0 done or clean, 1 findings (check: warnings; reg: bits no field "
            "covers are set; find: nothing matches; import-svd: an --only PATTERN matches no "
            "register; dump: lines it cannot read), 2 usage error, a file that cannot be used, or "
            "output that cannot be "
            "written.\n\n"
            "Example: the bits of 0x25 in the set Motor of the default label file:\n"
            "  K732-118-labels decode --set Motor 0x25"));
    // Not addHelpOption(): its --help-all would offer Qt's own options, which this tool has none
    // of.
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") },
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."));
    if (!parser.parse(arguments))
        return usageError(QString(), parser.errorText());
    // Printed here rather than by the parser, which exits without telling whether they arrived.
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(QStringLiteral("Usage: %1").arg(QCoreApplication::arguments().constFirst()),
                     QStringLiteral("Usage: %1").arg(QCoreApplication::applicationName()));
        printOut(wrappedHelp(text));
        return ExitClean;
    }
    if (parser.isSet(version)) {
        printOut(QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                               QCoreApplication::applicationVersion()));
        return ExitClean;
    }
    if (first.isEmpty())
        return usageError(QString(), QStringLiteral("a command is needed"));
    return usageError(QString(), QStringLiteral("unknown command '%1'").arg(first));
}
