// SPDX-License-Identifier: MIT
// The large label files the benchmarks generate, shared so that every one measures the same file.
#pragma once

#include <QLatin1Char>
#include <QSettings>
#include <QString>

// The name of the set numbered set: zero-padded, so that the sets sort in their order.
inline QString generatedSetName(int set)
{
    return QStringLiteral("Register %1").arg(set, 5, 10, QLatin1Char('0'));
}

// Written through QSettings so that the file is exactly what the toolkit writes for a user's sets.
// The labels sort in a different order from their bits, as real register names do.
inline bool writeGeneratedLabelFile(const QString &path, int sets)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("bitlabels"));
    for (int set = 0; set < sets; ++set) {
        settings.beginGroup(generatedSetName(set));
        for (int bit = 0; bit < 32; ++bit)
            settings.setValue(QStringLiteral("Flag %1").arg(bit + 1), bit);
        settings.endGroup();
    }
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}
