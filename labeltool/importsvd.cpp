// SPDX-License-Identifier: MIT
// import-svd: label sets from a register description, printed, written to a new file or added.
#include "devices.h"
#include "labeltool.h"
#include "svdlabels.h"
#include "svdregisters.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>

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

// Which limit of a label file the sets added to existing (empty for a new file), whose present
// sets are named, would pass, said for the user; empty when none would, as far as can be told
// before writing.
QString passedLimit(const QByteArray &existing, const QSet<QString> &present,
                    const QList<LabelSet> &sets)
{
    const qint64 setCount = present.size() + sets.size();
    if (setCount > maxLabelSets)
        return QStringLiteral("%1 sets, beyond the label file's limit of %2 sets")
                .arg(setCount)
                .arg(maxLabelSets);
    qint64 names = 0;
    for (const QString &name : present)
        names += name.size();
    qint64 lines = existing.count('\n') + 1;
    qint64 bytes = existing.size();
    for (const LabelSet &set : sets) {
        names += set.name.size();
        lines += set.labels.size();
        const qint64 name = set.name.toUtf8().size();
        for (const QString &label : set.labels)
            bytes += name + label.toUtf8().size() + 4; // "\", "=", a digit, a line break
    }
    if (names > maxLabelSetNamesLength)
        return QStringLiteral("set names of %1 characters in all, beyond the label file's "
                              "limit of %2")
                .arg(names)
                .arg(maxLabelSetNamesLength);
    if (lines > maxLabelFileLines)
        return QStringLiteral("%1 lines, beyond the label file's limit of %2 lines")
                .arg(lines)
                .arg(maxLabelFileLines);
    if (bytes > maxLabelFileSize)
        return QStringLiteral("over %1 MiB, beyond the label file's limit of %2 MiB")
                .arg(bytes / (qint64(1024) * 1024))
                .arg(maxLabelFileSize / (qint64(1024) * 1024));
    return {};
}

// A note "NAME: REASON; skipped (line N)" split as skipNote splits it, without the pattern
// engine where NAME is printable ASCII: the reason holds no ':', so the ':' before it is the last
// one. Any other note is left to skipNote.
bool splitSkipNote(const QString &note, const QRegularExpression &skipNote, QString *name,
                   QString *reason)
{
    const QLatin1String tail("; skipped (line ");
    qsizetype digits = note.size() - 1;
    if (note.endsWith(u')')) {
        while (digits > 0 && note.at(digits - 1) >= u'0' && note.at(digits - 1) <= u'9')
            --digits;
    }
    const qsizetype end = digits - tail.size();
    if (digits < note.size() - 1 && end >= 0 && QStringView(note).sliced(end).startsWith(tail)) {
        const qsizetype colon = QStringView(note).first(end).lastIndexOf(u':');
        if (colon >= 0 && colon + 1 < end && note.at(colon + 1) == u' '
            && std::all_of(note.cbegin(), note.cbegin() + colon,
                           [](QChar c) { return c >= u' ' && c < u'\x7f'; })) {
            *name = note.first(colon);
            *reason = note.sliced(colon + 2, end - colon - 2);
            return true;
        }
    }
    const QRegularExpressionMatch skip = skipNote.match(note);
    if (!skip.hasMatch())
        return false;
    *name = skip.captured(1);
    *reason = skip.captured(2);
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
            "with --output or adds its sets to a label file with --into. One summary line goes to "
            "standard error: the registers read, then what became of them, counts that add up "
            "to those read (sets written, left out by --only, already in the file, skipped for "
            "each reason); --verbose adds a note for each register skipped and each label "
            "dropped. A --only PATTERN that matches no register is a warning and exit status 1; "
            "one that is no pattern, a usage error.\n\n"
            "Example: the sets of UART0's registers, added to a label file:\n"
            "  K732-118-labels import-svd e310x.svd --only 'uart0.*' --into my.ini"));
    const QCommandLineOption only(
            QStringLiteral("only"),
            QStringLiteral("Keep the sets whose names match the wildcard PATTERN ('GPIOA.*'), "
                           "without case; may be given several times."),
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
            QStringLiteral("Print neither the summary nor the notes; warnings and errors are "
                           "still printed."));
    const QCommandLineOption verboseOption(
            QStringList { QStringLiteral("v"), QStringLiteral("verbose") },
            QStringLiteral("After the summary, a note for each register skipped and each label "
                           "or field dropped, with its line."));
    parser.addOptions({ only, into, output, quiet, verboseOption });
    parser.addPositionalArgument(
            QStringLiteral("SVD"),
            QStringLiteral("The device description (.svd); - reads standard input."));
    const DescriptionOptions description(parser);
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    QStringList positional = parser.positionalArguments();
    if (!description.resolve(command, &positional))
        return ExitUnusable;
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
    for (const QString &pattern : parser.values(only)) {
        QRegularExpression expression;
        QString why;
        if (!wildcardPattern(pattern, true, &expression, &why))
            return usageError(command, why);
        patterns.append(expression);
    }

    // The target is looked at before the description is read: a wrong target costs nothing.
    const QString &svdPath = positional.first();
    QString target = parser.isSet(into) ? parser.value(into) : parser.value(output);
    if (isStandardStream(target))
        target.clear();
    LabelFileText targetText;
    QSet<QString> presentNames;
    if (parser.isSet(into)) {
        const OpenedLabelFile file = openLabelFile(target);
        if (!file.error.isEmpty())
            return fileError(target, file.error);
        targetText = file.text;
        presentNames = QSet<QString>(file.sets.names.cbegin(), file.sets.names.cend());
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

    keepFreedMemory();
    QByteArray xml;
    QString error;
    if (!readSvdFile(svdPath, &xml, &error))
        return fileError(svdPath, error);
    const SvdImport svd = importSvd(xml);
    // Not needed again: the write's peak holds the new text and the sets, not the description.
    xml = QByteArray();
    if (!svd.error.isEmpty()) {
        printErr(QStringLiteral("%1:%2:%3: error: %4\n")
                         .arg(shownPath(svdPath))
                         .arg(svd.line)
                         .arg(svd.column)
                         .arg(svd.error));
        return ExitUnusable;
    }

    // Which registers each pattern matched, skipped ones too: a pattern that matches none is a
    // mistyped one.
    QList<bool> matched(patterns.size(), false);
    const auto wanted = [&patterns, &matched](const QString &name) {
        bool any = patterns.isEmpty();
        for (qsizetype k = 0; k < patterns.size(); ++k) {
            if (patterns.at(k).match(name).hasMatch()) {
                matched[k] = true;
                any = true;
            }
        }
        return any;
    };
    // Each register read either gives a set or is skipped with a note "NAME: REASON; skipped
    // (line N)": the summary counts both by reason, so that its counts add up to those read.
    QList<LabelSet> sets;
    QStringList notes;
    QStringList reasons; // in the order first met
    QHash<QString, qsizetype> skippedFor;
    qsizetype skipped = 0;
    qsizetype leftOut = 0;
    static const QRegularExpression skipNote(
            QStringLiteral("\\A(.*?): ([^:]*); skipped \\(line \\d+\\)\\z"));
    QString skippedName;
    QString reason;
    for (const QString &note : svd.skipped) {
        const bool isSkip = splitSkipNote(note, skipNote, &skippedName, &reason);
        const qsizetype colon = note.indexOf(QLatin1String(": "));
        const bool about = colon < 0 || wanted(note.first(colon));
        if (isSkip) {
            ++skipped;
            if (!wanted(skippedName)) {
                ++leftOut;
                continue;
            }
            if (!skippedFor.contains(reason))
                reasons.append(reason);
            ++skippedFor[reason];
        }
        // A note about a register that --only leaves out is not talked about.
        if (about)
            notes.append(note);
    }
    qsizetype present = 0;
    for (const LabelSet &set : svd.sets) {
        if (!wanted(set.name)) {
            ++leftOut;
        } else if (presentNames.contains(set.name)) {
            ++present;
            notes.append(QStringLiteral("%1: already in %2, not added").arg(set.name, target));
        } else {
            sets.append(set);
        }
    }
    // Beyond the notes' limit a skipped register goes unnamed: counted, by no reason.
    const qsizetype unnamed = svd.registers - svd.sets.size() - skipped;

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
    // Registers read = sets written + every reason it was not: the reasons with a count only.
    QStringList parts { QStringLiteral("%1 written to %2")
                                .arg(counted(count, QStringLiteral("set"), QStringLiteral("sets")),
                                     where) };
    if (!written && !sets.isEmpty())
        parts.append(QStringLiteral("%1 not written").arg(sets.size()));
    if (!patterns.isEmpty())
        parts.append(QStringLiteral("%1 left out by --only").arg(leftOut));
    if (present > 0)
        parts.append(QStringLiteral("%1 already in %2").arg(present).arg(target));
    for (const QString &reason : std::as_const(reasons))
        parts.append(QStringLiteral("%1 skipped (%2)").arg(skippedFor.value(reason)).arg(reason));
    if (unnamed > 0)
        parts.append(QStringLiteral("%1 skipped beyond the notes' limit").arg(unnamed));
    QString summary = QStringLiteral("%1: %2 read: %3")
                              .arg(shownPath(svdPath),
                                   counted(svd.registers, QStringLiteral("register"),
                                           QStringLiteral("registers")),
                                   parts.join(QLatin1String(", ")));
    if (sets.isEmpty())
        summary += QStringLiteral("; nothing written");
    const bool verbose = parser.isSet(verboseOption);
    if (!notes.isEmpty() && !verbose)
        summary += QStringLiteral("; %1, listed with --verbose")
                           .arg(counted(notes.size(), QStringLiteral("note"),
                                        QStringLiteral("notes")));
    summary += u'\n';
    if (verbose) {
        for (const QString &note : std::as_const(notes))
            summary += QStringLiteral("%1: note: %2\n").arg(shownPath(svdPath), note);
    }
    // Warnings are said even with --quiet, as errors are: the exit status alone would not say
    // which pattern it was.
    QString warnings;
    for (qsizetype k = 0; k < patterns.size(); ++k) {
        if (!matched.at(k))
            warnings += QStringLiteral("%1: warning: --only '%2' matches no register\n")
                                .arg(shownPath(svdPath), escapedField(parser.values(only).at(k)));
    }
    if (!parser.isSet(quiet))
        printErr(summary);
    printErr(warnings);
    if (!written) {
        const QString limit = passedLimit(targetText.bytes, presentNames, sets);
        return fileError(target.isEmpty() ? svdPath : target,
                         limit.isEmpty()
                                 ? QStringLiteral("not written: the window would not show the sets "
                                                  "exactly as given, or the file cannot be "
                                                  "written")
                                 : QStringLiteral("not written: the sets make %1; choose fewer "
                                                  "with --only")
                                           .arg(limit));
    }
    return warnings.isEmpty() ? ExitClean : ExitFindings;
}
