// Entry point of the label tool, the 32 Bit Mask Calculator's command-line companion.
#include "labeltool.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("K732-118-labels"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MASKCALC_VERSION));
    return runLabelTool(QCoreApplication::arguments());
}
