// SPDX-License-Identifier: MIT
// A whole run of the program, start to exit, without a user: main() as shipped, with Quit
// triggered once the event loop is running. Run under valgrind by the memcheck test.
#include "qvmaskcalcwindow.h"

#include <QAction>
#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QvMaskCalcWindow window;
    window.show();
    // Through the Quit action rather than app.quit(): shutdown then takes the user's own path.
    auto *quit = window.findChild<QAction *>(QStringLiteral("action_Quit"));
    if (quit == nullptr)
        return 2;
    QTimer::singleShot(0, quit, &QAction::trigger);
    return app.exec();
}
