// Entry point of the 32 Bit Mask Calculator.
// SPDX-License-Identifier: MIT
#include "qvmaskcalcwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QvMaskCalcWindow window;
    window.show();
    return app.exec();
}
