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

enum class LabelFileState {
    Missing, // nothing there: the toolkit's writer may create the file
    Empty, // a readable, writable-looking empty file: nothing in it can be lost
    Text, // text that was read whole: keys may be added to it
    Unusable, // anything else: the file must not be written
};

// Reads the file whole, into text, when it holds text. A dangling link, something other than a
// regular file, a file that cannot be read whole, holds a NUL byte or is above maxLabelFileSize
// is Unusable.
LabelFileState readLabelFileText(const QString &path, QByteArray *text);

// Adds the set to the label file at path, whose whole content is text, keeping every line of
// text byte for byte and in its order, and replaces the file atomically (writing through a
// symbolic link to its target). Writes only when the toolkit reads the new content as the old
// one plus exactly this set; returns whether the file was replaced.
bool insertLabelSet(const QString &path, const QByteArray &text, const QString &group,
                    const QString &setName, const QStringList &labels);
