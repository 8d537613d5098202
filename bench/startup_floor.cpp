// SPDX-License-Identifier: MIT
// The floor of a start-up with many label sets: the form alone with its drop-down holding the same
// set names, shown, one event-loop turn. The names come from a plain list (one a line) or are made
// as the generated label files name their sets, so that nothing of a label file is read here: what
// is left is what the toolkit costs for the form and for measuring every name on first show.
#include "generatedlabels.h"
#include "ui_qvmaskcalcwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <cstdio>

namespace {

QStringList namesFromList(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        names.append(QString::fromUtf8(line));
    }
    return names;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList names;
    if (argc == 3 && qstrcmp(argv[1], "--names") == 0) {
        names = namesFromList(QString::fromLocal8Bit(argv[2]));
    } else if (argc == 3 && qstrcmp(argv[1], "--generated") == 0) {
        const int sets = QByteArray(argv[2]).toInt();
        names.reserve(sets);
        for (int set = 0; set < sets; ++set)
            names.append(generatedSetName(set));
    } else {
        std::fprintf(stderr, "usage: %s --names LIST | --generated SETS\n", argv[0]);
        return 2;
    }
    if (names.isEmpty())
        return 1;
    QMainWindow window;
    Ui_QvMaskCalcWindow ui;
    ui.setupUi(&window);
    ui.cbLabels->addItems(names);
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
