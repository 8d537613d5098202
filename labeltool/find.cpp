// SPDX-License-Identifier: MIT
// find: the registers and fields of a register description whose names match a pattern.
#include "labeltool.h"
#include "svdregisters.h"

#include <QCommandLineParser>
#include <QRegularExpression>

int runFind(const QStringList &arguments)
{
    const QString command = QStringLiteral("find");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Lists the registers and fields of a CMSIS-SVD device description whose names match "
            "PATTERN, without case: a pattern with *, ? or [...] is a wildcard for the whole "
            "name (PERIPHERAL.REGISTER, PERIPHERAL.REGISTER.FIELD) or the element's own name; a "
            "plain word matches any name that holds it. One line each, tab-separated: the "
            "register's address, the name, and the register's size or the field's bits. Exit "
            "status 1 when nothing matches."));
    const QCommandLineOption text(QStringLiteral("text"),
                                  QStringLiteral("Match the descriptions too (anywhere in them)."));
    parser.addOption(text);
    parser.addPositionalArgument(
            QStringLiteral("SVD"),
            QStringLiteral("The device description (.svd); - reads standard input."));
    parser.addPositionalArgument(QStringLiteral("PATTERN"),
                                 QStringLiteral("A word, or a wildcard ('UART0.*', '*_EN')."));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2)
        return usageError(command, QStringLiteral("SVD and PATTERN are needed"));
    const QString &path = positional.at(0);
    const QString &pattern = positional.at(1);
    if (pattern.isEmpty())
        return usageError(command, QStringLiteral("the PATTERN is empty"));

    const bool wildcard =
            pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'[');
    // A plain word is looked for inside the names: a wildcard for it alone would have to name
    // the whole register, which nobody types.
    const QString anchored = wildcard ? QRegularExpression::wildcardToRegularExpression(pattern)
                                      : QRegularExpression::escape(pattern);
    const QString unanchored = wildcard ? QRegularExpression::wildcardToRegularExpression(
                                       pattern, QRegularExpression::UnanchoredWildcardConversion)
                                        : anchored;
    const QRegularExpression whole(anchored, QRegularExpression::CaseInsensitiveOption);
    const QRegularExpression anywhere(unanchored, QRegularExpression::CaseInsensitiveOption);
    if (!whole.isValid() || !anywhere.isValid())
        return usageError(command, QStringLiteral("'%1' is no wildcard pattern").arg(pattern));
    const bool descriptions = parser.isSet(text);
    const auto matches = [&](const QString &full, const QString &own, const QString &description) {
        return whole.match(full).hasMatch() || whole.match(own).hasMatch()
                || (descriptions && anywhere.match(description).hasMatch());
    };

    QByteArray xml;
    QString error;
    if (!readSvdFile(path, &xml, &error))
        return fileError(path, error);
    SvdRegisters registers;
    if (!loadSvdRegisters(path, xml, nullptr, nullptr, &registers))
        return ExitUnusable;
    QString out;
    for (const SvdRegister &reg : std::as_const(registers.registers)) {
        const QString address = hexDigits(reg.address, 32);
        if (matches(reg.name, reg.name.mid(reg.name.lastIndexOf(u'.') + 1), reg.description))
            out += QStringLiteral("%1\t%2\t%3 bits\n")
                           .arg(address, reg.name, QString::number(reg.size));
        for (const SvdField &field : reg.fields) {
            const QString full = reg.name + u'.' + field.name;
            if (matches(full, field.name, field.description))
                out += QStringLiteral("%1\t%2\t%3\n")
                               .arg(address, full, bitRange(field.lsb, field.width));
        }
    }
    if (out.isEmpty()) {
        printErr(QStringLiteral("%1: no register or field matches '%2'\n")
                         .arg(shownPath(path), pattern));
        return ExitFindings;
    }
    printOut(out);
    return ExitClean;
}
