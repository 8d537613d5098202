// SPDX-License-Identifier: MIT
// The label settings file: reading its sets, and adding a set without disturbing the rest of it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct LabelSets
{
    // In the settings class's order (UTF-16 code units); labels[k] is the label list of names[k].
    QStringList names;
    QList<QStringList> labels;
};

// No label file comes near these limits; a larger file, or one of more lines, is neither read nor
// written, so that a file put there by mistake costs neither the memory nor the time to parse it.
// Together they bound what reading and extending any accepted file takes (README: "Limits").
inline constexpr qint64 maxLabelFileSize = qint64(16) * 1024 * 1024;
inline constexpr qsizetype maxLabelFileLines = 1000000;
// A file of more sets, or of longer set names in all, is not read either: each set is an entry of
// the drop-down, which measures every name's width once.
inline constexpr qsizetype maxLabelSets = 50000;
inline constexpr qsizetype maxLabelSetNamesLength = 1000000; // UTF-16 units, all names together

// Whether a file of these sets (their names) is within maxLabelSets and maxLabelSetNamesLength.
bool isWithinLabelSetLimits(const QStringList &names);

// Whether text is within both limits, as the settings class counts lines ("\n", "\r\n", "\r").
bool isWithinLabelFileLimits(QByteArrayView text);

// The label file beside the running executable, named after the application (or after
// applicationName, for another program installed beside it), or an empty string when the
// directory's name cannot be represented (not valid in the file name encoding): then there is no
// label file.
QString labelFileBesideExecutable(const QString &applicationName = QString());

// The label sets of group in the file at path: every named sub-group of group is a set, its keys
// are the labels and their values the bits, read by the label file's reader (inireader.h) as the
// settings class reads them, every value as text. Something other than a regular file (a
// directory, a pipe, a device) is not opened; it, or a file beyond the limits (size, lines,
// sets), holds no set. overLimits, when given, tells whether the file was passed over for its
// sets' number or names.
LabelSets readLabelSetsFromFile(const QString &path, const QString &group,
                                bool *overLimits = nullptr);

struct IniLabelSetIndex;

// The sets of a label file as readLabelSetsFromFile reads them, each set's labels read only when
// they are asked for: a file of thousands of sets costs little more than their names.
class LabelSetIndex
{
public:
    QStringList names;
    // The labels of names[k], as readLabelSetsFromFile gives them.
    QStringList labels(qsizetype k) const;

private:
    friend LabelSetIndex indexLabelSetsFromFile(const QString &, const QString &, bool *);
    friend class IndexedLabelLists;
    std::shared_ptr<const IniLabelSetIndex> index;
};

// readLabelSetsFromFile's sets, indexed.
LabelSetIndex indexLabelSetsFromFile(const QString &path, const QString &group,
                                     bool *overLimits = nullptr);

// Label lists in order, each given whole or as a set of an index, whose labels are read each
// time the list is asked for.
class IndexedLabelLists
{
public:
    void append(const QStringList &labels) { entries.append({ labels, {}, 0 }); }
    void append(const LabelSetIndex &sets, qsizetype k);
    QStringList at(qsizetype k) const;
    qsizetype size() const { return entries.size(); }
    bool isEmpty() const { return entries.isEmpty(); }

private:
    struct Entry
    {
        QStringList labels;
        std::shared_ptr<const IniLabelSetIndex> index; // or none: labels
        qsizetype set;
    };
    QList<Entry> entries;
};

// A named label list, as a set is added to a file.
struct LabelSet
{
    QString name;
    QStringList labels; // labels[i] names bit i
};

enum class LabelFileState {
    Missing, // nothing there: the file may be created, if it is still missing then
    Empty, // a readable, writable-looking empty file: nothing in it can be lost
    Text, // text that was read whole: keys may be added to it
    // Read whole but holding a NUL byte: its sets are read as from any other text (the window shows
    // them), but a binary file gets no lines added.
    Binary,
    Unusable, // anything else: the file must not be written
};

// What was read of a label file: what a later write starts from and checks against.
struct LabelFileText
{
    QString path; // the path as given
    // Where the file is, its symbolic links resolved once when it was read: a write goes beside
    // this, never through a link that appears later.
    QString target;
    QByteArray bytes; // the whole content (empty unless Text)
    LabelFileState state = LabelFileState::Unusable;
    // The identity of what was read (Empty, Text): the write replaces only that very file.
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
};

// Reads the file whole when it holds text. A dangling link, something other than a regular file,
// a file that cannot be read whole or is beyond the limits is Unusable; one that holds a NUL byte
// is Binary.
LabelFileText readLabelFileText(const QString &path);
// The sets of a file's text that readLabelFileText read, as readLabelSetsFromFile gives them: the
// text's size and lines were checked as it was read.
LabelSets readLabelSetsFromText(const LabelFileText &file, const QString &group,
                                bool *overLimits = nullptr);

// Adds the sets to the label file that was read as file, keeping every line already there byte
// for byte and in its order. A Missing or Empty file gets exactly the bytes the toolkit's writer
// would give it. The new text goes into a scratch file beside the target, synced, with the old
// file's owner, group, mode, ACL and extended attributes, and is renamed over the target only if
// the target is still the file that was read (a Missing file: only if it is still missing). Writes
// nothing when any step fails, when the metadata cannot be carried over exactly (more than one
// hard link, another owner), when the result would be beyond the limits, or when the label file's
// reader would not read the new text as the old one (every key with its value's text) plus exactly
// these sets. Returns whether it wrote the file.
bool insertLabelSets(const LabelFileText &file, const QString &group, const QList<LabelSet> &sets);

// Called in a write just before the final check of the target: tests replace the file there to
// show that the write then leaves it alone. Not for anything else.
void setLabelFileWriteHook(std::function<void()> hook);
