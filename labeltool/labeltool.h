// SPDX-License-Identifier: MIT
// The label tool's commands and what they share: the label file as the window reads it, output.
#pragma once

#include "labelfile.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The section the window reads its sets from (the window's own constant lives with its widgets).
inline constexpr char16_t labelGroupName[] = u"bitlabels";
inline QString labelGroup()
{
    return QString::fromUtf16(labelGroupName);
}

enum ExitCode : int {
    ExitClean = 0,
    ExitFindings = 1, // check found something; reg met bits no field covers; find found nothing
    ExitUnusable = 2, // a usage error, or a file that cannot be used
};

// K732-118.ini beside the tool's executable: the calculator's own file when both are installed
// side by side.
QString defaultLabelFile();

// UTF-8, unbuffered beyond the line, whatever the locale says. Output that cannot be written
// (a full disk, a closed pipe whose SIGPIPE is ignored) ends the tool with ExitUnusable, after a
// line on standard error where standard output failed: a result half written is no result.
void printOut(const QString &text);
void printOut(const QByteArray &bytes);
void printErr(const QString &text);
// Keeps memory that is freed for what a command makes next, rather than handing it back to the
// system to be faulted in again page by page; a command that reads a large description and then
// makes as much again calls it first.
void keepFreedMemory();
// Flushes and closes standard output: the status, or ExitUnusable (with its line on standard
// error) when what was written did not all arrive.
int finishOutput(int status);

// "-": standard input as FILE or SVD, standard output as --output.
bool isStandardStream(const QString &argument);
// A file's name in messages: its path, "<stdin>", or '' for an empty name.
QString shownPath(const QString &path);
// What standard input holds, read whole: false after filling error when it cannot be read or
// holds more than limit bytes.
bool readStandardInput(qint64 limit, QByteArray *bytes, QString *error);
// What the file at path holds, read whole ("-": standard input): false after filling error when it
// cannot be read or holds more than limit bytes. A pipe or a device is read up to the limit and no
// further, a regular file at its own size.
bool readInputFile(const QString &path, qint64 limit, QByteArray *bytes, QString *error);

// An argument whose bytes are not valid in the file name encoding decodes to another name (each
// bad byte a U+FFFD): main() tells the tool about each, so that such a name is never opened.
void noteUndecodableArgument(const QString &decoded, const QByteArray &bytes);
// Whether path names exactly what the user gave, so that it may be opened or written.
bool isUsableFileName(const QString &path);
// Why a name that is not usable is refused.
QString unusableNameReason();

// A field of a tab-separated row: a backslash, tab, newline and carriage return as \\, \t, \n and
// \r, so that every row stays one line of fields whatever a label holds.
QString escapedField(const QString &text);
// Whether text holds a control character (C0, DEL or C1).
bool hasControlCharacter(const QString &text);

// "K732-118-labels COMMAND: message" and a pointer to --help; returns ExitUnusable.
int usageError(const QString &command, const QString &message);
// "FILE: error: reason"; returns ExitUnusable.
int fileError(const QString &path, const QString &reason);

// Parses the command's arguments (arguments.first() is the command name); --help prints the
// command's help and exits 0. Returns false after a usage error has been printed.
bool parseCommandLine(QCommandLineParser &parser, const QString &command,
                      const QStringList &arguments);

// The label file as the window sees it: its text, and the sets its reader gives.
struct OpenedLabelFile
{
    LabelFileText text; // for "-", a copy of standard input that lives as long as the tool runs
    LabelSets sets;
    QString error; // why the window would not read it at all; empty when it was read
};
OpenedLabelFile openLabelFile(const QString &path);

// The sets the window lists for the file: its sets, or the default set it falls back to (and adds
// to the file) when there is none.
LabelSets shownLabelSets(const LabelSets &sets);
// The labels of the set the window lists under that name for the file at path; false after
// printing why there is none (a file the window would not read, or no such set).
bool findShownSet(const QString &path, const QString &name, QStringList *labels);
// The caption of a bit's box for that set's labels: the label, or "Unused" on a disabled box.
QString boxCaption(const QStringList &labels, int bit);
// Whether an optional leading FILE argument is a file rather than a set name or label: it is "-",
// names something that exists, or ends in ".ini".
bool isFileArgument(const QString &argument);

// 0x and eight upper-case hexadecimal digits.
QString hexValue(quint32 value);
// A number as every command takes one (values, addresses, field values): decimal (a leading 0 is
// no octal), 0x hexadecimal or 0b binary, the prefix and the digits in either case, with '_' or
// '\'' allowed between two digits ("0x8000_0000"). The whole text is the number or it is none:
// no blank, no sign, nothing after it. False for anything else, and beyond 64 bits.
bool parseNumber(QStringView text, quint64 *value);
// The same, within 32 bits.
bool parseMaskValue(const QString &text, quint32 *value);

// A wildcard pattern (*, ?, [...]) as --only and find take one, matched without case: against the
// whole name, or anywhere in a text when unanchored. False, with why, for a pattern that is none
// ("[" alone), which the caller reports as a usage error.
bool wildcardPattern(const QString &pattern, bool anchored, QRegularExpression *expression,
                     QString *error);

// The help text as QCommandLineParser gives it, each paragraph and list entry wrapped between
// words at the width: COLUMNS when set, else the terminal's on standard output, else 80.
QString wrappedHelp(const QString &text);
int helpColumns();
// "1 field", "2 fields": a count and its noun, singular for one.
QString counted(qint64 count, const QString &one, const QString &many);

// One finding of check, at a 1-based line of the file.
struct CheckWarning
{
    qint64 line = 0;
    QString message;
};
struct LabelFileCheck
{
    LabelSets shown; // what the window's reader gives for the file, which every warning is about
    QList<CheckWarning> warnings; // in line order
};
// A label of at most this many characters keeps the window within a 1024-pixel-wide screen even
// in wide capitals ("MWMW…"); ordinary text passes 1024 pixels only at about 110 characters.
inline constexpr qsizetype longLabelLength = 64;
LabelFileCheck checkLabelFile(const OpenedLabelFile &file);

// The whole tool: arguments as QCoreApplication::arguments() gives them; the exit status.
int runLabelTool(const QStringList &arguments);
// The commands: arguments.first() is the command's name; each returns the exit status.
int runCheck(const QStringList &arguments);
int runShow(const QStringList &arguments);
int runDecode(const QStringList &arguments);
int runEncode(const QStringList &arguments);
int runImportSvd(const QStringList &arguments);
int runReg(const QStringList &arguments);
int runFind(const QStringList &arguments);
int runDevices(const QStringList &arguments);
int runDump(const QStringList &arguments);
