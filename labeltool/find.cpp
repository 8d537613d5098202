// SPDX-License-Identifier: MIT
// find: the registers and fields of a register description whose names match a pattern.
#include "devices.h"
#include "labeltool.h"
#include "svdregisters.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>

int runFind(const QStringList &arguments)
{
    const QString command = QStringLiteral("find");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Lists the registers and fields of a CMSIS-SVD device description whose names match "
            "PATTERN, without case: a pattern with *, ? or [...] is a wildcard for the whole "
            "name (PERIPHERAL.REGISTER, PERIPHERAL.REGISTER.FIELD) or the element's own name; a "
            "plain word matches any name that holds it. A PATTERN that is a number (0x4001_4000, "
            "written as the tool's --help says) is an address instead: the registers whose bytes "
            "take it in, aliases and alternate registers alike; a name with digits in it is "
            "found with a wildcard ('*29*'). One line each, tab-separated (on a terminal, in "
            "aligned columns): the register's address, the name, and the register's size or "
            "the field's bits. Exit status 1 when nothing matches.\n\n"
            "Example: the registers and fields about clock division, then as JSON:\n"
            "  K732-118-labels find rp2040.svd clkdiv\n"
            "  K732-118-labels find --json rp2040.svd clkdiv"));
    const QCommandLineOption text(QStringLiteral("text"),
                                  QStringLiteral("Match the descriptions too (anywhere in them)."));
    const QCommandLineOption json(
            QStringLiteral("json"),
            QStringLiteral("One JSON object a match instead of rows (JSON Lines), with reg "
                           "--json's keys: value and uncovered are null, and fields is empty "
                           "for a register that matches, or holds the one field that matches "
                           "(its value and enum null)."));
    parser.addOptions({ text, json });
    parser.addPositionalArgument(
            QStringLiteral("SVD"),
            QStringLiteral("The device description (.svd); - reads standard input."));
    parser.addPositionalArgument(
            QStringLiteral("PATTERN"),
            QStringLiteral("A word, a wildcard ('UART0.*', '*_EN') or an address (0x40014000)."));
    const DescriptionOptions description(parser);
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    QStringList positional = parser.positionalArguments();
    if (!description.resolve(command, &positional))
        return ExitUnusable;
    if (positional.size() != 2)
        return usageError(command, QStringLiteral("SVD and PATTERN are needed"));
    const QString &path = positional.at(0);
    const QString &pattern = positional.at(1);
    if (pattern.isEmpty())
        return usageError(command, QStringLiteral("the PATTERN is empty"));

    quint64 address = 0;
    const bool byAddress = parseNumber(pattern, &address);
    const bool wildcard =
            pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'[');
    // A plain word is looked for inside the names: a wildcard for it alone would have to name
    // the whole register, which nobody types.
    QRegularExpression whole(QRegularExpression::escape(pattern),
                             QRegularExpression::CaseInsensitiveOption);
    QRegularExpression anywhere = whole;
    QString why;
    if (wildcard
        && (!wildcardPattern(pattern, true, &whole, &why)
            || !wildcardPattern(pattern, false, &anywhere, &why)))
        return usageError(command, why);
    const bool descriptions = parser.isSet(text);
    if (byAddress && descriptions)
        return usageError(command, QStringLiteral("--text is for names, not for an address"));

    QByteArray xml;
    QString error;
    if (!readSvdFile(path, &xml, &error))
        return fileError(path, error);
    SvdRegisters registers;
    if (!loadSvdRegisters(path, xml, nullptr, nullptr, &registers,
                          descriptions ? SvdDescriptions::Read : SvdDescriptions::Skip))
        return ExitUnusable;
    const bool asJson = parser.isSet(json);
    bool found = false;
    // As JSON, a register of its own (its fields empty) or with the one field that matched.
    const auto add = [&](Rows *out, const SvdRegister &reg, const SvdField *field) {
        found = true;
        if (asJson) {
            out->addLine(registerJson(reg)
                                 .add(QLatin1String("value"), jsonNull)
                                 .add(QLatin1String("fields"),
                                      jsonArray(field ? QStringList { fieldJson(*field, jsonNull,
                                                                                jsonNull) }
                                                      : QStringList()))
                                 .add(QLatin1String("uncovered"), jsonNull)
                                 .text()
                         + u'\n');
        } else {
            out->add(Rows::Heading,
                     { hexDigits(reg.address, 32), field ? reg.name + u'.' + field->name : reg.name,
                       field ? bitRange(field->lsb, field->width)
                             : counted(reg.size, QStringLiteral("bit"), QStringLiteral("bits")) });
        }
        writePiece(out);
    };
    writeRows(!asJson && alignedOutput(), [&](Rows *out) {
        if (byAddress) {
            for (const SvdRegister *reg : SvdAddressIndex(registers).holding(address))
                add(out, *reg, nullptr);
            return;
        }
        // A plain word is looked for as it is, without a pattern's cost on every name.
        const QList<SvdPatternMatch> matches = wildcard
                ? svdRegistersMatching(registers, whole, descriptions ? &anywhere : nullptr)
                : svdRegistersHolding(registers, pattern, descriptions);
        for (const SvdPatternMatch &match : matches)
            add(out, *match.reg, match.field);
    });
    if (!found) {
        printErr(byAddress ? QStringLiteral("%1: no register at %2\n")
                                     .arg(shownPath(path), hexDigits(address, 32))
                           : QStringLiteral("%1: no register or field matches '%2'\n")
                                     .arg(shownPath(path), escapedField(pattern)));
        return ExitFindings;
    }
    return ExitClean;
}
