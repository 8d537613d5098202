// The floor for reg: a process that reads the file and only runs the XML reader over it.
#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

int main(int argc, char *argv[])
{
    const QCoreApplication app(argc, argv);
    QFile file(QCoreApplication::arguments().value(1));
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    QXmlStreamReader reader(file.readAll());
    while (!reader.atEnd())
        reader.readNext();
    return reader.hasError() ? 1 : 0;
}
