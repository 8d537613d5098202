// SPDX-License-Identifier: MIT
// --device NAME in place of a command's SVD: the description of a device in the installed packs.
#pragma once

#include <QCommandLineOption>
#include <QStringList>

class QCommandLineParser;

class DescriptionOptions
{
public:
    // Adds --device and --pack to the command's options.
    explicit DescriptionOptions(QCommandLineParser &parser);
    // After parsing: with --device, the path of the device's description goes first in positional,
    // where SVD stands; false after printing why there is none.
    bool resolve(const QString &command, QStringList *positional) const;

private:
    QCommandLineParser &parser;
    QCommandLineOption device;
    QCommandLineOption pack;
};
