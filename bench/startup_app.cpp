// SPDX-License-Identifier: MIT
// The program's own start-up, exactly as app/main.cpp runs it, ended after the first event-loop
// turn.
#include "qvmaskcalcwindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QvMaskCalcWindow window;
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
