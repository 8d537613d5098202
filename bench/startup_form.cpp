// SPDX-License-Identifier: MIT
// The floor of start-up: the window's form alone on a plain QMainWindow, shown, one event-loop
// turn.
#include "ui_qvmaskcalcwindow.h"

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    Ui_QvMaskCalcWindow ui;
    ui.setupUi(&window);
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    const int result = app.exec();
    // The bench driver gives the bare window this size.
    std::printf("%d %d\n", window.width(), window.height());
    return result;
}
