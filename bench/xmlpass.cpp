// SPDX-License-Identifier: MIT
// A bare pass of the toolkit's XML reader over a file, as a process of its own: the file read whole
// and every token read, nothing kept. The floor that import-svd, reg and find are measured against.
// With --lines DUMP it then reads DUMP whole and walks its lines, nothing kept: the floor of dump.
#include <QByteArrayView>
#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstring>

namespace {

bool readAll(const char *path, QByteArray *bytes)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool lines = argc == 4 && std::strcmp(argv[2], "--lines") == 0;
    if (argc != 2 && !lines) {
        std::fprintf(stderr, "usage: %s FILE [--lines DUMP]\n", argv[0]);
        return 2;
    }
    QByteArray bytes;
    if (!readAll(argv[1], &bytes))
        return 1;
    QXmlStreamReader reader(bytes);
    long long tokens = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        ++tokens;
    }
    std::printf("%lld\n", tokens);
    if (reader.hasError())
        return 1;
    if (lines) {
        QByteArray dump;
        if (!readAll(argv[3], &dump))
            return 1;
        long long count = 0;
        long long characters = 0;
        QByteArrayView rest(dump);
        while (!rest.isEmpty()) {
            const qsizetype end = rest.indexOf('\n');
            const QByteArrayView line = end < 0 ? rest : rest.first(end);
            characters += line.trimmed().size();
            ++count;
            rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        }
        std::printf("%lld lines, %lld characters\n", count, characters);
    }
    return 0;
}
