// The label tool's commands and what they share: the label file as the window reads it, output.
#pragma once

#include "labelfile.h"

#include <QList>
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

// UTF-8, unbuffered beyond the line, whatever the locale says.
void printOut(const QString &text);
void printErr(const QString &text);

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
    LabelFileText text;
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
// Whether an optional leading FILE argument is a file rather than a set name or label: it names
// something that exists, or ends in ".ini".
bool isFileArgument(const QString &argument);

// 0x and eight upper-case hexadecimal digits.
QString hexValue(quint32 value);
// A 32-bit value as decimal, 0x hexadecimal or 0b binary; false for anything else.
bool parseMaskValue(const QString &text, quint32 *value);

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
