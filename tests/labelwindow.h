// SPDX-License-Identifier: MIT
// What a window shows of its label sets, read through object names as a user would see it.
#pragma once

#include "qvmaskcalcwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QStringList>

inline QStringList comboEntries(const QvMaskCalcWindow &window)
{
    const auto *combo = window.findChild<QComboBox *>(QStringLiteral("cbLabels"));
    QStringList entries;
    for (int i = 0; combo && i < combo->count(); ++i)
        entries.append(combo->itemText(i));
    return entries;
}

// The text of each bit box, marked when its enabled state does not go with it (a used box is
// enabled, an "Unused" one is not).
inline QStringList boxTexts(const QvMaskCalcWindow &window)
{
    QStringList texts;
    for (int bit = 0; bit < 32; ++bit) {
        const auto *box = window.findChild<QCheckBox *>(QStringLiteral("bit_%1").arg(bit));
        if (!box)
            texts.append(QStringLiteral("<missing>"));
        else if (box->isEnabled() == (box->text() == QLatin1String("Unused")))
            texts.append(QStringLiteral("<enabled=%1> ").arg(box->isEnabled()) + box->text());
        else
            texts.append(box->text());
    }
    return texts;
}

inline QStringList expectedTexts(const QStringList &labels)
{
    QStringList texts;
    for (qsizetype bit = 0; bit < 32; ++bit)
        texts.append(bit < labels.size() ? labels.at(bit) : QStringLiteral("Unused"));
    return texts;
}

// prefix + first, prefix + (first + 1), …: numbered("Bit ", 32, 1) is the default set.
inline QStringList numbered(const QString &prefix, int count, int first = 0)
{
    QStringList labels;
    for (int i = 0; i < count; ++i)
        labels.append(prefix + QString::number(first + i));
    return labels;
}
