// SPDX-License-Identifier: MIT
// A bare pass of the toolkit's XML reader over a file, as a process of its own: the file read whole
// and every token read, nothing kept. The floor that import-svd is measured against.
#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = file.readAll();
    QXmlStreamReader reader(bytes);
    long long tokens = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        ++tokens;
    }
    std::printf("%lld\n", tokens);
    return reader.hasError() ? 1 : 0;
}
