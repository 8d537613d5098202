// SPDX-License-Identifier: MIT
// Devices found by name in a root of installed packs: the description each name comes to, the
// versions compared, broken packs, and the devices command as a user runs it.
#include "packs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const QByteArray tinySvd = "<device><name>T</name><peripherals><peripheral><name>P</name>"
                           "<registers><register><name>R</name><fields><field><name>F</name>"
                           "<bitOffset>0</bitOffset></field></fields></register></registers>"
                           "</peripheral></peripherals></device>\n";

// Families, a sub-family, variants redefining the description, a device-level vendor.
const QByteArray demoNew = R"(<?xml version="1.0" encoding="UTF-8"?>
<package schemaVersion="1.7"><vendor>Keil</vendor><name>Demo_DFP</name>
<conditions><condition id="x"><require Dname="DEMO407VG"/></condition></conditions>
<devices>
  <family Dfamily="Demo" Dvendor="DemoSemi:99">
    <processor Dcore="Cortex-M4"/>
    <debug svd="SVD/family.svd"/>
    <memory id="IROM1" start="0" size="0x1000"/>
    <subFamily DsubFamily="Demo4">
      <debug svd="SVD\sub.svd"/>
      <device Dname="DEMO407">
        <variant Dvariant="DEMO407VG"/>
        <variant Dvariant="DEMO407ZG"><debug svd="SVD/zg.svd"/></variant>
        <variant Dvariant="DEMO407XX"><debug svd="SVD/missing.svd"/></variant>
      </device>
    </subFamily>
    <device Dname="DEMO100"/>
    <device Dname="DEMO101"><debug svd="../../../outside.svd"/></device>
  </family>
</devices></package>
)";

// Two cores with a description each, two cores sharing one, and a name another vendor has too.
const QByteArray dual = R"(<package><devices>
  <family Dfamily="Dual" Dvendor="Acme:1">
    <device Dname="DUAL55">
      <processor Pname="cm33_core0" Dcore="Cortex-M33"/>
      <processor Pname="cm33_core1" Dcore="Cortex-M33"/>
      <debug Pname="cm33_core0" svd="svd/core0.svd"/>
      <debug Pname="cm33_core1" svd="svd/core1.svd"/>
    </device>
    <device Dname="TWIN">
      <processor Pname="a"/><processor Pname="b"/>
      <debug svd="svd/core0.svd"/>
    </device>
    <device Dname="DEMO407VG"><debug svd="svd/core1.svd"/></device>
  </family>
</devices></package>
)";

struct PackFile
{
    const char *path; // under the root
    QByteArray bytes;
};

} // namespace

class tst_Packs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void versions_data();
    void versions();
    void resolve_data();
    void resolve();
    void brokenRoot_data();
    void brokenRoot();
    void command_data();
    void command();

private:
    QString root() const { return scratch.filePath(QStringLiteral("packs")); }
    QTemporaryDir scratch;
};

void tst_Packs::initTestCase()
{
    QVERIFY(scratch.isValid());
    const QByteArray demoOld = "<package><devices><family Dfamily=\"Demo\" Dvendor=\"DemoSemi:99\">"
                               "<device Dname=\"DEMO407\"><debug svd=\"old.svd\"/></device>"
                               "<device Dname=\"DEMO999\"><debug svd=\"old.svd\"/></device>"
                               "</family></devices></package>";
    const PackFile files[] = {
        { "Keil/Demo_DFP/1.9.2/Keil.Demo_DFP.pdsc", demoOld },
        { "Keil/Demo_DFP/1.9.2/old.svd", tinySvd },
        { "Keil/Demo_DFP/1.10.0/Keil.Demo_DFP.pdsc", demoNew },
        { "Keil/Demo_DFP/1.10.0/SVD/family.svd", tinySvd },
        { "Keil/Demo_DFP/1.10.0/SVD/sub.svd", tinySvd },
        { "Keil/Demo_DFP/1.10.0/SVD/zg.svd", tinySvd },
        { "Keil/Demo_DFP/1.10.0-rc1/Keil.Demo_DFP.pdsc", demoOld },
        { "Acme/Dual_DFP/2.0.0/Acme.Dual_DFP.pdsc", dual },
        { "Acme/Dual_DFP/2.0.0/svd/core0.svd", tinySvd },
        { "Acme/Dual_DFP/2.0.0/svd/core1.svd", tinySvd },
        // The index folders hold no installed pack, whatever they look like.
        { ".Web/Keil/Demo_DFP/9.0.0/Keil.Demo_DFP.pdsc", dual },
        { ".Local/Acme/Dual_DFP/9.0.0/Acme.Dual_DFP.pdsc", demoOld },
        // A newest version without its description: the one before is read.
        { "Half/Half_DFP/2.0.0/readme.txt", "" },
        { "Half/Half_DFP/1.0.0/Half.Half_DFP.pdsc",
          "<package><devices><family Dvendor=\"Half:1\"><device Dname=\"HALF1\"><debug "
          "svd=\"h.svd\"/></device><device Dname=\"HALF2\"><debug svd=\"svd/core0.svd\"/>"
          "</device></family></devices></package>" },
        { "Half/Half_DFP/1.0.0/h.svd", tinySvd },
        // Cut off in the middle: nothing of it is used, not even the device before the cut.
        { "Broken/Cut_DFP/1.0.0/Broken.Cut_DFP.pdsc",
          "<package><devices><family Dvendor=\"B:1\"><device Dname=\"CUT1\"/>\n<device "
          "Dname=\"CUT2\">" },
        { "Broken/Other_DFP/1.0.0/Broken.Other_DFP.pdsc", "<html><body/></html>" },
        // Expands an entity a billion times over, unless expansion is bounded.
        { "Broken/Laugh_DFP/1.0.0/Broken.Laugh_DFP.pdsc",
          "<?xml version=\"1.0\"?><!DOCTYPE package [<!ENTITY a \"aaaaaaaaaa\">"
          "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;"
          "&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;"
          "&d;&d;&d;\">]><package><devices><family Dvendor=\"L:1\"><device Dname=\"&e;\"/>"
          "</family></devices></package>" },
        { "Broken/Empty_DFP/1.0.0/readme.txt", "" },
    };
    for (const PackFile &file : files) {
        const QString path = root() + u'/' + QString::fromLatin1(file.path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.bytes) == file.bytes.size());
    }
#ifdef Q_OS_UNIX
    // A link back to the root, and one to itself.
    QCOMPARE(::symlink(QFile::encodeName(root()).constData(),
                       QFile::encodeName(root() + QStringLiteral("/Loop")).constData()),
             0);
    QCOMPARE(
            ::symlink("Self", QFile::encodeName(root() + QStringLiteral("/Acme/Self")).constData()),
            0);
#endif
}

void tst_Packs::versions_data()
{
    QTest::addColumn<QString>("older");
    QTest::addColumn<QString>("newer");
    QTest::newRow("by number, not by text") << "1.9.2"
                                            << "1.10.0";
    QTest::newRow("a part missing counts 0") << "1.2"
                                             << "1.2.1";
    QTest::newRow("a pre-release before its release") << "1.0.0-rc1"
                                                      << "1.0.0";
    QTest::newRow("pre-releases by number") << "1.0.0-rc.2"
                                            << "1.0.0-rc.10";
    QTest::newRow("a numeric pre-release before a word") << "1.0.0-1"
                                                         << "1.0.0-alpha";
    QTest::newRow("a longer pre-release after") << "1.0.0-alpha"
                                                << "1.0.0-alpha.1";
    QTest::newRow("numbers beyond 64 bits") << "1.99999999999999999999"
                                            << "1.100000000000000000000";
    QTest::newRow("a name that is no version first") << "latest"
                                                     << "0.0.1";
}

void tst_Packs::versions()
{
    QFETCH(QString, older);
    QFETCH(QString, newer);
    QCOMPARE(compareVersions(older, newer), -1);
    QCOMPARE(compareVersions(newer, older), 1);
    QCOMPARE(compareVersions(newer, newer), 0);
}

void tst_Packs::resolve_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pack"); // --pack; empty: every pack
    QTest::addColumn<QString>("path"); // under the root; empty: an error
    QTest::addColumn<QString>("message"); // a part of the error or the note; empty: neither

    QTest::newRow("a device: the sub-family's description, the newest version")
            << "DEMO407"
            << ""
            << "Keil/Demo_DFP/1.10.0/SVD/sub.svd"
            << "";
    QTest::newRow("a variant inherits") << "demo407zg"
                                        << ""
                                        << "Keil/Demo_DFP/1.10.0/SVD/zg.svd"
                                        << "";
    QTest::newRow("a device right under its family") << "Demo100"
                                                     << ""
                                                     << "Keil/Demo_DFP/1.10.0/SVD/family.svd"
                                                     << "";
    QTest::newRow("an older version named") << "DEMO407"
                                            << "Keil::Demo_DFP@1.9.2"
                                            << "Keil/Demo_DFP/1.9.2/old.svd"
                                            << "";
    QTest::newRow("an older version's device, not in the newest")
            << "DEMO999"
            << ""
            << ""
            << "no device \"DEMO999\" in its 6 packs (CMSIS_PACK_ROOT); did you mean DEMO100, "
               "DEMO101, DEMO407, DEMO407VG, DEMO407XX?";
    QTest::newRow("two vendors: the newest pack, and a note")
            << "DEMO407VG"
            << ""
            << "Acme/Dual_DFP/2.0.0/svd/core1.svd"
            << "Acme.Dual_DFP.pdsc:13: note: DEMO407VG of Acme is read from "
               "Acme::Dual_DFP@2.0.0, the newest; it is also in Keil::Demo_DFP@1.10.0 "
               "(DemoSemi): VENDOR::DEMO407VG or --pack picks another";
    QTest::newRow("two vendors: the device's vendor picks one")
            << "demosemi::DEMO407VG"
            << ""
            << "Keil/Demo_DFP/1.10.0/SVD/sub.svd"
            << "";
    QTest::newRow("two vendors: the pack's vendor picks one") << "Keil::DEMO407VG"
                                                              << ""
                                                              << "Keil/Demo_DFP/1.10.0/SVD/sub.svd"
                                                              << "";
    QTest::newRow("two vendors: --pack picks one") << "DEMO407VG"
                                                   << "Keil::Demo_DFP"
                                                   << "Keil/Demo_DFP/1.10.0/SVD/sub.svd"
                                                   << "";
    QTest::newRow("two cores with a description each: the core named")
            << "DUAL55:CM33_core1"
            << ""
            << "Acme/Dual_DFP/2.0.0/svd/core1.svd"
            << "";
    QTest::newRow("two cores with a description each: no core named")
            << "DUAL55"
            << ""
            << ""
            << "Acme.Dual_DFP.pdsc:3: error: the cores of DUAL55 have different descriptions: "
               "give one as DUAL55:CORE (cm33_core0, cm33_core1)";
    QTest::newRow("a core the part does not have")
            << "DUAL55:cm4"
            << ""
            << ""
            << "DUAL55 has no core \"cm4\" (its cores: cm33_core0, "
               "cm33_core1)";
    QTest::newRow("a core named on a part with one")
            << "DEMO100:cm4"
            << ""
            << ""
            << "DEMO100 has one core, which has no name: give no :cm4";
    QTest::newRow("two cores sharing a description need no core")
            << "twin"
            << ""
            << "Acme/Dual_DFP/2.0.0/svd/core0.svd"
            << "";
    QTest::newRow("a description that is missing: no other taken")
            << "DEMO407XX"
            << ""
            << ""
            << "Keil.Demo_DFP.pdsc:14: error: the description of DEMO407XX, ";
    QTest::newRow("a description outside the pack")
            << "DEMO101"
            << ""
            << ""
            << "the description ../../../outside.svd lies outside";
    QTest::newRow("a newest version without a description: the one before")
            << "HALF1"
            << ""
            << "Half/Half_DFP/1.0.0/h.svd"
            << "";
    QTest::newRow("a malformed description's device is no device") << "CUT1"
                                                                   << ""
                                                                   << ""
                                                                   << "no device \"CUT1\"";
    QTest::newRow("a vendor that does not have it") << "Acme::DEMO100"
                                                    << ""
                                                    << ""
                                                    << "no device \"DEMO100\" of vendor Acme";
    QTest::newRow("a version not installed") << "DEMO407"
                                             << "Keil::Demo_DFP@3.0"
                                             << ""
                                             << "in its 0 packs";
    QTest::newRow("nothing near") << "QQQQ"
                                  << ""
                                  << ""
                                  << "in its 6 packs (CMSIS_PACK_ROOT)\n";
}

void tst_Packs::resolve()
{
    QFETCH(QString, name);
    QFETCH(QString, pack);
    QFETCH(QString, path);
    QFETCH(QString, message);
    DeviceName device;
    QVERIFY(parseDeviceName(name, &device));
    PackSelection selection;
    QVERIFY(pack.isEmpty() || parsePackSelection(pack, &selection));
    const PackRoot packs = readPackRoot(root(), selection);
    const ResolvedDevice resolved = resolveDevice(packs, device, true);
    QCOMPARE(resolved.path, path.isEmpty() ? QString() : root() + u'/' + path);
    QCOMPARE(resolved.error.isEmpty(), !path.isEmpty());
    const QString said = resolved.error + u'\n' + resolved.notes.join(u'\n');
    QVERIFY2(message.isEmpty() ? said == u'\n' : said.contains(message), qPrintable(said));
}

void tst_Packs::brokenRoot_data()
{
    QTest::addColumn<QString>("warning");
    QTest::newRow("a newest version without its description")
            << "Half/Half_DFP: warning: no Half.Half_DFP.pdsc in version 2.0.0: version 1.0.0 is "
               "read instead";
    QTest::newRow("a pack without a description")
            << "Broken/Empty_DFP: warning: no Broken.Empty_DFP.pdsc in any version: the pack is "
               "not read";
    QTest::newRow("a description cut off") << "Broken.Cut_DFP.pdsc:2:";
    QTest::newRow("no pack description")
            << "Broken.Other_DFP.pdsc:1: warning: <html> is no pack description: not read";
    QTest::newRow("entities that expand without bound") << "Broken.Laugh_DFP.pdsc:1:";
#ifdef Q_OS_UNIX
    QTest::newRow("a link back to the root")
            << "Loop: warning: a link back to a folder above it: not read";
    QTest::newRow("a link to itself")
            << "Acme/Self: warning: a link that leads nowhere or in a loop: not read";
#endif
}

void tst_Packs::brokenRoot()
{
    QFETCH(QString, warning);
    const PackRoot packs = readPackRoot(root());
    QVERIFY(packs.error.isEmpty());
    const QString said = packs.warnings.join(u'\n');
    QVERIFY2(said.contains(warning), qPrintable(said));
    // The rest is read: the good packs, each at one version.
    QStringList ids;
    for (const InstalledPack &pack : packs.packs)
        ids.append(pack.id());
    QCOMPARE(ids,
             QStringList({ "Acme::Dual_DFP@2.0.0", "Broken::Cut_DFP@1.0.0",
                           "Broken::Laugh_DFP@1.0.0", "Broken::Other_DFP@1.0.0",
                           "Half::Half_DFP@1.0.0", "Keil::Demo_DFP@1.10.0" }));
}

void tst_Packs::command_data()
{
    QTest::addColumn<QString>("packRoot"); // CMSIS_PACK_ROOT, <root> for the test's root
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // exactly
    QTest::addColumn<QString>("err"); // a part of it

    QTest::newRow("every device of one pack")
            << "<root>" << QStringList { "devices", "--pack", "acme::dual_dfp" } << 0
            << "DUAL55\tcm33_core0\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/"
               "core0.svd\n"
               "DUAL55\tcm33_core1\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/"
               "core1.svd\n"
               "TWIN\ta\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/core0.svd\n"
               "TWIN\tb\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/core0.svd\n"
               "DEMO407VG\t\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/core1.svd\n"
            << "";
    QTest::newRow("a wildcard, a missing description warned of once")
            << "<root>" << QStringList { "devices", "demo407*" } << 0
            << "DEMO407VG\t\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/core1.svd\n"
               "DEMO407\t\tDemoSemi\tKeil::Demo_DFP@1.10.0\t<root>/Keil/Demo_DFP/1.10.0/SVD/"
               "sub.svd\n"
               "DEMO407VG\t\tDemoSemi\tKeil::Demo_DFP@1.10.0\t<root>/Keil/Demo_DFP/1.10.0/SVD/"
               "sub.svd\n"
               "DEMO407ZG\t\tDemoSemi\tKeil::Demo_DFP@1.10.0\t<root>/Keil/Demo_DFP/1.10.0/SVD/"
               "zg.svd\n"
               "DEMO407XX\t\tDemoSemi\tKeil::Demo_DFP@1.10.0\t<root>/Keil/Demo_DFP/1.10.0/SVD/"
               "missing.svd\n"
            << "Keil.Demo_DFP.pdsc:14: warning: SVD/missing.svd, the description of DEMO407XX, "
               "does not exist";
    QTest::newRow("JSON Lines")
            << "<root>" << QStringList { "devices", "--json", "half1" } << 0
            << "{\"core\":null,\"device\":\"HALF1\",\"pack\":\"Half::Half_DFP\",\"svd\":\"<root>/"
               "Half/"
               "Half_DFP/1.0.0/h.svd\",\"vendor\":\"Half\",\"version\":\"1.0.0\"}\n"
            << "";
    QTest::newRow("the same name in two packs, missing in one")
            << "<root>" << QStringList { "devices", "*[52]" } << 0
            << "DUAL55\tcm33_core0\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/"
               "core0.svd\n"
               "DUAL55\tcm33_core1\tAcme\tAcme::Dual_DFP@2.0.0\t<root>/Acme/Dual_DFP/2.0.0/svd/"
               "core1.svd\n"
               "HALF2\t\tHalf\tHalf::Half_DFP@1.0.0\t<root>/Half/Half_DFP/1.0.0/svd/core0.svd\n"
            << "Half.Half_DFP.pdsc:1: warning: svd/core0.svd, the description of HALF2, does not "
               "exist";
    QTest::newRow("nothing matches") << "<root>" << QStringList { "devices", "nrf*" } << 1 << ""
                                     << "packs: no device matches 'nrf*' in its 6 packs";
    QTest::newRow("a root that does not exist")
            << "<root>/nowhere" << QStringList { "devices" } << 2 << ""
            << "nowhere: error: does not exist (CMSIS_PACK_ROOT)";
    QTest::newRow("a root that is a file")
            << "<root>/Half/Half_DFP/1.0.0/h.svd" << QStringList { "devices" } << 2 << ""
            << "h.svd: error: is no folder";
    QTest::newRow("--device: a root that does not exist")
            << "<root>/nowhere" << QStringList { "find", "--device", "DEMO407", "R" } << 2 << ""
            << "nowhere: error: does not exist (CMSIS_PACK_ROOT)";
    QTest::newRow("--device: found, the real path in messages")
            << "<root>" << QStringList { "find", "--device", "Keil::demo407vg", "nothing" } << 1
            << ""
            << "<root>/Keil/Demo_DFP/1.10.0/SVD/sub.svd: no register or field matches 'nothing'";
    QTest::newRow("--device: a malformed name")
            << "<root>" << QStringList { "find", "--device", "Keil::", "R" } << 2 << ""
            << "'Keil::' is no device name: [VENDOR::]DEVICE[:CORE]";
    QTest::newRow("--pack: a malformed name")
            << "<root>" << QStringList { "devices", "--pack", "Keil" } << 2 << ""
            << "'Keil' is no pack: VENDOR::PACK or VENDOR::PACK@VERSION";
    QTest::newRow("--pack without --device")
            << "<root>" << QStringList { "reg", "x.svd", "R", "1", "--pack", "A::B" } << 2 << ""
            << "--pack narrows --device, which is not given";
}

void tst_Packs::command()
{
    QFETCH(QString, packRoot);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const auto resolved = [this](QString text) {
        return text.replace(QLatin1String("<root>"), root());
    };
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CMSIS_PACK_ROOT"), resolved(packRoot));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(LABEL_TOOL), arguments);
    QVERIFY(process.waitForFinished(60000));
    const QString errText = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), resolved(out));
    QVERIFY2(errText.contains(resolved(err)), qPrintable(errText));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
}

QTEST_MAIN(tst_Packs)
#include "tst_packs.moc"
