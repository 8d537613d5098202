// SPDX-License-Identifier: MIT
// The toolkit's own floor: an empty QMainWindow of the form's size, shown, one event-loop turn.
#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdlib>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    if (argc > 2)
        window.resize(std::atoi(argv[1]), std::atoi(argv[2]));
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
