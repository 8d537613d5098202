// SPDX-License-Identifier: MIT
// The window's reading of a label file and nothing else, as a process of its own: the floor that
// the label tool's check is measured against.
#include "labelfile.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const LabelSets sets =
            readLabelSetsFromFile(QString::fromLocal8Bit(argv[1]), QStringLiteral("bitlabels"));
    // The count is printed so that the reading cannot be left out; no set is a failure.
    std::printf("%lld\n", static_cast<long long>(sets.names.size()));
    return sets.names.isEmpty() ? 1 : 0;
}
