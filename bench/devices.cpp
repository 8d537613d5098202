// SPDX-License-Identifier: MIT
// The label tool's devices and --device on a generated root of 2,000 pack versions, as whole
// processes, against a floor that walks the same folders and passes an XML reader over the same
// pack descriptions, nothing kept.
#include "processrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// One family with two sub-families of five devices, each with two variants, memories, features
// and a description: about 6 KiB, as a small vendor's pack writes it.
QByteArray pdscText(int pack)
{
    QByteArray text =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<package schemaVersion=\"1.7\">\n"
            "  <vendor>V</vendor>\n  <name>P</name>\n  <description>A generated pack"
            "</description>\n  <devices>\n    <family Dfamily=\"F\" Dvendor=\"Bench:1\">\n"
            "      <processor Dcore=\"Cortex-M4\" Dfpu=\"SP_FPU\" Dclock=\"100000000\"/>\n"
            "      <debug svd=\"SVD/device.svd\"/>\n"
            "      <description>The family</description>\n";
    for (int sub = 0; sub < 2; ++sub) {
        text += "      <subFamily DsubFamily=\"S" + QByteArray::number(sub) + "\">\n";
        for (int device = 0; device < 5; ++device) {
            const QByteArray name = "BENCH" + QByteArray::number(pack) + 'S'
                    + QByteArray::number(sub) + 'D' + QByteArray::number(device);
            text += "        <device Dname=\"" + name
                    + "\">\n"
                      "          <memory id=\"IROM1\" start=\"0x08000000\" size=\"0x100000\" "
                      "startup=\"1\" default=\"1\"/>\n"
                      "          <memory id=\"IRAM1\" start=\"0x20000000\" size=\"0x20000\" "
                      "init=\"0\" default=\"1\"/>\n"
                      "          <algorithm name=\"Flash/F.FLM\" start=\"0x08000000\" "
                      "size=\"0x100000\" default=\"1\"/>\n"
                      "          <feature type=\"Timer\" n=\"4\" m=\"32\"/>\n"
                      "          <variant Dvariant=\""
                    + name
                    + "A\"/>\n"
                      "          <variant Dvariant=\""
                    + name
                    + "B\"><debug svd=\"SVD/b.svd\"/>"
                      "</variant>\n"
                      "        </device>\n";
        }
        text += "      </subFamily>\n";
    }
    return text + "    </family>\n  </devices>\n</package>\n";
}

const QByteArray smallSvd = "<device><peripherals><peripheral><name>P</name><registers><register>"
                            "<name>R</name></register></registers></peripheral></peripherals>"
                            "</device>\n";

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
            && file.write(bytes) == bytes.size();
}

// packs packs of vendors vendors, each at two versions with their descriptions.
bool writeRoot(const QString &root, int packs, int vendors)
{
    for (int pack = 0; pack < packs; ++pack) {
        const QString vendor = QStringLiteral("Vendor%1").arg(pack % vendors);
        const QString name = QStringLiteral("Pack%1_DFP").arg(pack);
        for (const char *version : { "1.9.2", "1.10.0" }) {
            const QString folder =
                    QStringLiteral("%1/%2/%3/%4").arg(root, vendor, name, QLatin1String(version));
            if (!writeFile(QStringLiteral("%1/%2.%3.pdsc").arg(folder, vendor, name),
                           pdscText(pack))
                || !writeFile(folder + QStringLiteral("/SVD/device.svd"), "<device/>\n")
                || !writeFile(folder + QStringLiteral("/SVD/b.svd"), smallSvd))
                return false;
        }
    }
    return true;
}

// The floor: every folder listed, and the newest version's description passed through the XML
// reader.
int floorRun(const QString &root)
{
    qint64 tokens = 0;
    const QDir::Filters dirs = QDir::Dirs | QDir::NoDotAndDotDot;
    for (const QFileInfo &vendor : QDir(root).entryInfoList(dirs)) {
        for (const QFileInfo &pack : QDir(vendor.filePath()).entryInfoList(dirs)) {
            const QFileInfoList versions = QDir(pack.filePath()).entryInfoList(dirs, QDir::Name);
            if (versions.isEmpty())
                continue;
            // "1.9.2" sorts after "1.10.0" by name: the newest here.
            QFile file(
                    QStringLiteral("%1/%2.%3.pdsc")
                            .arg(versions.first().filePath(), vendor.fileName(), pack.fileName()));
            if (!file.open(QIODevice::ReadOnly))
                return 1;
            QXmlStreamReader reader(file.readAll());
            while (!reader.atEnd())
                tokens += reader.readNext() != QXmlStreamReader::Invalid;
            if (reader.hasError())
                return 1;
        }
    }
    return tokens > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--floor"))
        return floorRun(arguments.value(2));
    const int rounds = std::max(1, arguments.value(1, QStringLiteral("11")).toInt());

    const QString binDir = QCoreApplication::applicationDirPath();
    const QString tool = bench::programPath(
            "BENCH_LABELS_TOOL", QDir::cleanPath(binDir + QStringLiteral("/../K732-118-labels")));
    const QString root = binDir + QStringLiteral("/devices-work/packs");
    QDir(root).removeRecursively();
    const int packs = 1000;
    if (!writeRoot(root, packs, 50))
        bench::fail(QStringLiteral("cannot write the pack root %1").arg(root));
    qputenv("CMSIS_PACK_ROOT", QFile::encodeName(root));

    const QString self = QCoreApplication::applicationFilePath();
    bench::Run floor {
        QStringLiteral("floor"), self, { QStringLiteral("--floor"), root }, {}, {}, {}
    };
    bench::Run devices {
        QStringLiteral("devices"), tool, { QStringLiteral("devices") }, {}, {}, {}
    };
    // The last pack's device: every description is still read, to find it in no other.
    bench::Run device { QStringLiteral("find --device"),
                        tool,
                        { QStringLiteral("find"), QStringLiteral("--device"),
                          QStringLiteral("BENCH%1S1D4B").arg(packs - 1), QStringLiteral("P.R") },
                        {},
                        {},
                        {} };
    std::vector<bench::Run *> runs { &floor, &devices, &device };
    bench::runInTurns(runs, rounds, 2);

    std::printf("devices on a generated root: %d packs of 50 vendors, two versions each (%d pack "
                "versions, each with its .pdsc of %lld bytes, 30 devices and variants), %d runs "
                "of each process in turn\n\n",
                packs, 2 * packs, static_cast<long long>(pdscText(packs - 1).size()), rounds);
    std::printf("| process | ms, median | fastest | MiB | × floor, median |\n");
    std::printf("|---|---:|---:|---:|---:|\n");
    const double floorMs = bench::median(floor.wallMs);
    for (const bench::Run *run : runs) {
        std::printf("| %s | %.1f | %.1f | %.1f | %.2f |\n", qPrintable(run->name),
                    bench::median(run->wallMs), bench::fastest(run->wallMs),
                    bench::median(run->peakMiB), bench::median(run->wallMs) / floorMs);
    }
    return 0;
}
