// SPDX-License-Identifier: MIT
// import-svd: label sets from a register description, printed, written to a new file or added.
#include "labeltool.h"
#include "svdimport.h"
#include "svdregisters.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace {

// The text the toolkit's writer makes of the sets as a new file: what --output writes.
bool newFileText(const QList<LabelSet> &sets, QByteArray *text)
{
    const QTemporaryDir scratch;
    const QString path = scratch.filePath(QStringLiteral("new.ini"));
    if (!scratch.isValid() || !insertLabelSets(readLabelFileText(path), labelGroup(), sets))
        return false;
    *text = readLabelFileText(path).bytes;
    return true;
}

} // namespace

int runImportSvd(const QStringList &arguments)
{
    const QString command = QStringLiteral("import-svd");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Makes one label set per register of a CMSIS-SVD device description that has a field "
            "bit below 32, named PERIPHERAL.REGISTER. Prints the new label file, or writes it "
            "with --output or adds its sets to a label file with --into. A summary and a note "
            "for each register skipped or set dropped go to standard error."));
    const QCommandLineOption only(
            QStringLiteral("only"),
            QStringLiteral("Keep the sets whose names match the wildcard PATTERN ('GPIOA.*'); "
                           "may be given several times."),
            QStringLiteral("PATTERN"));
    const QCommandLineOption into(
            QStringLiteral("into"),
            QStringLiteral("Add the sets to the existing label FILE, keeping every byte of it; "
                           "a set whose name is already there is not added. Not -: standard "
                           "input cannot be written."),
            QStringLiteral("FILE"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("Write a new label file; an existing file is "
                                                   "left alone. - is standard output."),
                                    QStringLiteral("NEWFILE"));
    const QCommandLineOption quiet(
            QStringList { QStringLiteral("q"), QStringLiteral("quiet") },
            QStringLiteral("Print neither the summary nor the notes; errors are still printed."));
    parser.addOptions({ only, into, output, quiet });
    parser.addPositionalArgument(
            QStringLiteral("SVD"),
            QStringLiteral("The device description (.svd); - reads standard input."));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return usageError(command, QStringLiteral("one SVD file is needed"));
    if (parser.isSet(into) && parser.isSet(output))
        return usageError(command, QStringLiteral("--into and --output exclude each other"));
    if (parser.values(into).size() > 1 || parser.values(output).size() > 1)
        return usageError(command, QStringLiteral("--into or --output once only"));
    if ((parser.isSet(into) && parser.value(into).isEmpty())
        || (parser.isSet(output) && parser.value(output).isEmpty()))
        return usageError(command, QStringLiteral("an empty name is no file"));
    if (parser.isSet(into) && isStandardStream(parser.value(into)))
        return usageError(command,
                          QStringLiteral("--into needs a label file: standard input cannot be "
                                         "written"));
    QList<QRegularExpression> patterns;
    for (const QString &pattern : parser.values(only))
        patterns.append(
                QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern)));

    // The target is looked at before the description is read: a wrong target costs nothing.
    const QString &svdPath = positional.first();
    QString target = parser.isSet(into) ? parser.value(into) : parser.value(output);
    if (isStandardStream(target))
        target.clear();
    LabelFileText targetText;
    QSet<QString> present;
    if (parser.isSet(into)) {
        const OpenedLabelFile file = openLabelFile(target);
        if (!file.error.isEmpty())
            return fileError(target, file.error);
        targetText = file.text;
        present = QSet<QString>(file.sets.names.cbegin(), file.sets.names.cend());
    } else if (!target.isEmpty()) {
        if (!isUsableFileName(target))
            return fileError(target, unusableNameReason());
        const QFileInfo info(target);
        const QFileInfo dir(info.absolutePath());
        if (!info.exists() && !info.isSymLink() && !dir.isDir())
            return fileError(target,
                             dir.exists() ? QStringLiteral("cannot be created: %1 is not a "
                                                           "directory")
                                                    .arg(info.path())
                                          : QStringLiteral("cannot be created: the directory %1 "
                                                           "does not exist")
                                                    .arg(info.path()));
        targetText = readLabelFileText(target);
        if (targetText.state != LabelFileState::Missing)
            return fileError(target,
                             info.exists() || info.isSymLink()
                                     ? QStringLiteral("exists: --output writes a new file only "
                                                      "(--into adds to a label file)")
                                     : QStringLiteral("cannot be created here"));
    }

    QByteArray xml;
    QString error;
    if (!readSvdFile(svdPath, &xml, &error))
        return fileError(svdPath, error);
    const SvdImport svd = importSvd(xml);
    if (!svd.error.isEmpty()) {
        printErr(QStringLiteral("%1:%2:%3: error: %4\n")
                         .arg(shownPath(svdPath))
                         .arg(svd.line)
                         .arg(svd.column)
                         .arg(svd.error));
        return ExitUnusable;
    }

    const auto wanted = [&patterns](const QString &name) {
        return patterns.isEmpty()
                || std::any_of(
                        patterns.cbegin(), patterns.cend(),
                        [&](const QRegularExpression &re) { return re.match(name).hasMatch(); });
    };
    QList<LabelSet> sets;
    QStringList notes;
    // A note that starts with a register's name is about that register: one left out by --only
    // is not talked about.
    for (const QString &note : svd.skipped) {
        const qsizetype colon = note.indexOf(QLatin1String(": "));
        if (colon < 0 || wanted(note.first(colon)))
            notes.append(note);
    }
    qsizetype leftOut = 0;
    for (const LabelSet &set : svd.sets) {
        if (!wanted(set.name))
            ++leftOut;
        else if (present.contains(set.name))
            notes.append(QStringLiteral("%1: already in %2, not added").arg(set.name, target));
        else
            sets.append(set);
    }

    const QString where = target.isEmpty() ? QStringLiteral("standard output") : target;
    // With no set left nothing is written, which the summary says.
    bool written = true;
    QByteArray text;
    if (!sets.isEmpty()) {
        written = target.isEmpty() ? newFileText(sets, &text)
                                   : insertLabelSets(targetText, labelGroup(), sets);
    }

    // The file first: a summary that says it was written comes only once it was.
    if (written && target.isEmpty())
        printOut(text);
    const qsizetype count = written ? sets.size() : 0;
    QString summary = QStringLiteral("%1: %2 registers read, %3 %4 written to %5")
                              .arg(shownPath(svdPath))
                              .arg(svd.registers)
                              .arg(count)
                              .arg(count == 1 ? QStringLiteral("set") : QStringLiteral("sets"))
                              .arg(where);
    if (!patterns.isEmpty())
        summary += QStringLiteral(", %1 left out by --only").arg(leftOut);
    summary += QStringLiteral(", %1 skipped or dropped%2\n")
                       .arg(notes.size())
                       .arg(sets.isEmpty() ? QStringLiteral(": nothing written") : QString());
    for (const QString &note : std::as_const(notes))
        summary += QStringLiteral("%1: note: %2\n").arg(shownPath(svdPath), note);
    if (!parser.isSet(quiet))
        printErr(summary);
    if (!written)
        return fileError(target.isEmpty() ? svdPath : target,
                         QStringLiteral("not written: the settings class would not read the "
                                        "sets back exactly, or the file cannot be written"));
    return ExitClean;
}
