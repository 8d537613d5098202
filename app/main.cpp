// SPDX-License-Identifier: MIT
// Entry point of the 32 Bit Mask Calculator.
#include "qvmaskcalcwindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QvMaskCalcWindow window;
    window.show();
    return app.exec();
}
