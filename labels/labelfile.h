// The label settings file: reading its sets, and adding a set without disturbing the rest of it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class QSettings;

struct LabelSets
{
    // In the settings class's order; labels[k] is the label list of the set names[k].
    QStringList names;
    QList<QStringList> labels;
};

// No label file comes near this size; a larger file is neither read nor written, so that a file
// put there by mistake costs neither the memory nor the time to parse it.
inline constexpr qint64 maxLabelFileSize = qint64(64) * 1024 * 1024;

// Every named sub-group of group is a set; its keys are the labels and their values the bits.
LabelSets readLabelSets(QSettings &settings, const QString &group);

// The same from the file at path. Something other than a regular file (a directory, a pipe, a
// device) or a file above maxLabelFileSize is not opened and holds no set.
LabelSets readLabelSetsFromFile(const QString &path, const QString &group);

// A named label list, as a set is added to a file.
struct LabelSet
{
    QString name;
    QStringList labels; // labels[i] names bit i
};

enum class LabelFileState {
    Missing, // nothing there: the toolkit's writer may create the file
    Empty, // a readable, writable-looking empty file: nothing in it can be lost
    Text, // text that was read whole: keys may be added to it
    Unusable, // anything else: the file must not be written
};

// What was read of a label file: what a later write starts from and checks against.
struct LabelFileText
{
    QString path; // the path as given
    QByteArray bytes; // the whole content (empty unless Text)
    LabelFileState state = LabelFileState::Unusable;
};

// Reads the file whole when it holds text. A dangling link, something other than a regular file,
// a file that cannot be read whole, holds a NUL byte or is above maxLabelFileSize is Unusable.
LabelFileText readLabelFileText(const QString &path);

// Adds the sets to the label file that was read as file (Missing, Empty or Text), keeping every
// line already there byte for byte and in its order, and replaces the file atomically (writing
// through a symbolic link to its target). Writes only when the toolkit reads the new content as
// the old one plus exactly these sets; returns whether the file was written.
bool insertLabelSets(const LabelFileText &file, const QString &group, const QList<LabelSet> &sets);
