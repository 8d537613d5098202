// SPDX-License-Identifier: MIT
// devices: the devices of the installed packs; and --device NAME, which names a description by
// its device for the commands that read one.
#include "devices.h"

#include "labeltool.h"
#include "packs.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

QCommandLineOption packOption()
{
    return { QStringLiteral("pack"),
             QStringLiteral("Only the pack PACK, VENDOR::PACK at its newest installed version or "
                            "VENDOR::PACK@VERSION."),
             QStringLiteral("PACK") };
}

// The --pack given, or none; false after a usage error.
bool packSelection(const QCommandLineParser &parser, const QCommandLineOption &option,
                   const QString &command, PackSelection *selection)
{
    if (!parser.isSet(option))
        return true;
    if (parser.values(option).size() > 1) {
        usageError(command, QStringLiteral("--pack once only"));
        return false;
    }
    if (!parsePackSelection(parser.value(option), selection)) {
        usageError(command,
                   QStringLiteral("'%1' is no pack: VENDOR::PACK or VENDOR::PACK@VERSION")
                           .arg(parser.value(option)));
        return false;
    }
    return true;
}

void printWarnings(const PackRoot &root)
{
    for (const QString &warning : root.warnings)
        printErr(warning + u'\n');
}

} // namespace

DescriptionOptions::DescriptionOptions(QCommandLineParser &parser)
    : parser(parser),
      device(QStringLiteral("device"),
             QStringLiteral("Instead of SVD: the description of the device NAME "
                            "([VENDOR::]DEVICE[:CORE], without case) in the packs installed "
                            "under CMSIS_PACK_ROOT (by default ~/.cache/arm/packs), the newest "
                            "version of each."),
             QStringLiteral("NAME")),
      pack(packOption())
{
    parser.addOptions({ device, pack });
}

bool DescriptionOptions::resolve(const QString &command, QStringList *positional) const
{
    if (!parser.isSet(device)) {
        if (parser.isSet(pack)) {
            usageError(command, QStringLiteral("--pack narrows --device, which is not given"));
            return false;
        }
        return true;
    }
    if (parser.values(device).size() > 1) {
        usageError(command, QStringLiteral("--device once only"));
        return false;
    }
    DeviceName name;
    if (!parseDeviceName(parser.value(device), &name)) {
        usageError(command,
                   QStringLiteral("'%1' is no device name: [VENDOR::]DEVICE[:CORE]")
                           .arg(parser.value(device)));
        return false;
    }
    PackSelection selection;
    if (!packSelection(parser, pack, command, &selection))
        return false;
    bool fromEnvironment = false;
    const PackRoot root = readPackRoot(packRootPath(&fromEnvironment), selection);
    printWarnings(root);
    const ResolvedDevice resolved = resolveDevice(root, name, fromEnvironment);
    for (const QString &note : resolved.notes)
        printErr(note + u'\n');
    if (!resolved.error.isEmpty()) {
        printErr(resolved.error + u'\n');
        return false;
    }
    positional->prepend(resolved.path);
    return true;
}

int runDevices(const QStringList &arguments)
{
    const QString command = QStringLiteral("devices");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Lists the devices of the packs installed under CMSIS_PACK_ROOT (by default "
            "~/.cache/arm/packs), the newest version of each pack: one line per device, variant "
            "and core, tab-separated: the name, the core (empty for a part with one), the "
            "vendor, the pack as VENDOR::PACK@VERSION, and the path of the register "
            "description (empty when the part names none). PATTERN narrows them by name, "
            "without case: a wildcard ('STM32F4*'), or a word the name holds. Exit status 1 "
            "when no device matches.\n\n"
            "Example: the devices whose names begin with LPC55, and their cores:\n"
            "  K732-118-labels devices 'LPC55*'"));
    const QCommandLineOption pack = packOption();
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object a line (keys device, core, "
                                                 "vendor, pack, version, svd) instead."));
    parser.addOptions({ pack, json });
    parser.addPositionalArgument(QStringLiteral("PATTERN"),
                                 QStringLiteral("A word, or a wildcard ('LPC55*')."),
                                 QStringLiteral("[PATTERN]"));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(command, QStringLiteral("one PATTERN at most"));
    PackSelection selection;
    if (!packSelection(parser, pack, command, &selection))
        return ExitUnusable;
    const QString pattern = positional.value(0);
    const bool wildcard =
            pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'[');
    const QRegularExpression matcher(
            wildcard ? QRegularExpression::wildcardToRegularExpression(pattern)
                     : QRegularExpression::escape(pattern),
            QRegularExpression::CaseInsensitiveOption);
    if (!matcher.isValid())
        return usageError(command, QStringLiteral("'%1' is no wildcard pattern").arg(pattern));

    bool fromEnvironment = false;
    const PackRoot root = readPackRoot(packRootPath(&fromEnvironment), selection);
    const QString where = QDir::toNativeSeparators(root.path);
    if (!root.error.isEmpty())
        return fileError(where,
                         QStringLiteral("%1 (%2)").arg(
                                 root.error,
                                 fromEnvironment ? QStringLiteral("CMSIS_PACK_ROOT")
                                                 : QStringLiteral("the default pack root; "
                                                                  "CMSIS_PACK_ROOT names "
                                                                  "another")));
    printWarnings(root);
    // Written as it is made, a part at a time: a root's listing can be far larger than the root.
    QByteArray out;
    bool listed = false;
    const auto flush = [&out, &listed] {
        listed = listed || !out.isEmpty();
        printOut(out);
        out.clear();
    };
    QHash<QString, bool> exists; // each description looked at once, however many devices share it
    for (const PackDevice &device : root.devices) {
        if (!pattern.isEmpty() && !matcher.match(device.name).hasMatch())
            continue;
        const InstalledPack &installed = root.packs.at(device.pack);
        for (const PackCore &core : device.cores) {
            const QString path =
                    core.svd.isEmpty() ? QString() : descriptionPath(installed, core.svd);
            const QString key = path.isEmpty() ? installed.folder + u'/' + core.svd : path;
            if (!core.svd.isEmpty() && !exists.contains(key)) {
                const bool there = !path.isEmpty() && QFileInfo(path).isFile();
                exists.insert(key, there);
                if (!there)
                    printErr(QStringLiteral("%1:%2: warning: %3, the description of %4, %5\n")
                                     .arg(QDir::toNativeSeparators(installed.pdsc))
                                     .arg(core.line)
                                     .arg(core.svd, device.name,
                                          path.isEmpty() ? QStringLiteral("lies outside the "
                                                                          "pack's folder")
                                                         : QStringLiteral("does not exist")));
            }
            const QString shown = QDir::toNativeSeparators(path);
            if (parser.isSet(json)) {
                const QJsonObject object {
                    { QStringLiteral("device"), device.name },
                    { QStringLiteral("core"),
                      core.name.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(core.name) },
                    { QStringLiteral("vendor"), device.vendor },
                    { QStringLiteral("pack"),
                      installed.vendor + QLatin1String("::") + installed.name },
                    { QStringLiteral("version"), installed.version },
                    { QStringLiteral("svd"),
                      shown.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(shown) },
                };
                out += QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
            } else {
                out += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                               .arg(escapedField(device.name), escapedField(core.name),
                                    escapedField(device.vendor), escapedField(installed.id()),
                                    escapedField(shown))
                               .toUtf8();
            }
            if (out.size() > 65536)
                flush();
        }
    }
    flush();
    if (!listed) {
        printErr(QStringLiteral("%1: no device%2 in its %3 %4\n")
                         .arg(where,
                              pattern.isEmpty() ? QString()
                                                : QStringLiteral(" matches '%1'").arg(pattern))
                         .arg(root.packs.size())
                         .arg(root.packs.size() == 1 ? QStringLiteral("pack")
                                                     : QStringLiteral("packs")));
        return ExitFindings;
    }
    return ExitClean;
}
