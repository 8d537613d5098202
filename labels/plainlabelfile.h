// Reading the label sets of a plainly written label file in one pass, without the settings class.
#pragma once

#include "labelfile.h"

#include <QByteArrayView>
#include <QString>

// The sets of group in the INI text, exactly as readLabelSets gives them through the settings
// class (same names in the same order, same labels), for text in the plain form that the
// toolkit's writer and simple scripts produce: sections with plain names, comment lines, and in
// the group's section one "set\label=number" line per label, the key escaped as the toolkit
// escapes it. Returns false, leaving sets untouched, for anything else (quotes, continued lines,
// keys outside a section, a repeated key or section, names that differ only in case, a value
// that is not a plain integer, ...): such text must go through the settings class.
bool readPlainLabelSets(QByteArrayView text, const QString &group, LabelSets *sets);
