// SPDX-License-Identifier: MIT
// The CMSIS packs installed under one root: the folders walked, the pack descriptions read, and a
// device's description found by its name.
#include "packs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>
#include <vector>

namespace {

// A version's parts: the numbers of its core, and its pre-release identifiers.
struct VersionParts
{
    bool valid = false;
    QList<QStringView> numbers;
    QList<QStringView> preRelease;
};

bool allDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= u'0' && c <= u'9';
    });
}

VersionParts versionParts(const QString &text)
{
    VersionParts parts;
    QStringView version(text);
    const qsizetype plus = version.indexOf(u'+'); // build metadata has no order
    if (plus >= 0)
        version = version.first(plus);
    const qsizetype dash = version.indexOf(u'-');
    if (dash >= 0) {
        parts.preRelease = version.mid(dash + 1).split(u'.');
        version = version.first(dash);
    }
    parts.numbers = version.split(u'.');
    parts.valid = std::all_of(parts.numbers.cbegin(), parts.numbers.cend(), allDigits);
    return parts;
}

// Numbers of any length: without leading zeros, the longer is the larger.
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

QString withoutNumber(const QString &vendor)
{
    const qsizetype colon = vendor.indexOf(u':');
    return colon < 0 ? vendor : vendor.left(colon);
}

// The folders of a directory, hidden ones left out, in name order; a link that leads nowhere,
// in a loop, or back to a folder already on the way is a warning instead.
QFileInfoList subfolders(const QString &dir, const QSet<QString> &ancestors, qsizetype *budget,
                         QStringList *warnings)
{
    QFileInfoList folders;
    const QFileInfoList entries = QDir(dir).entryInfoList(
            QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (entries.isEmpty() && !QFileInfo(dir).isReadable())
        warnings->append(QStringLiteral("%1: warning: cannot be read: permission denied")
                                 .arg(QDir::toNativeSeparators(dir)));
    for (const QFileInfo &entry : entries) {
        if (--*budget < 0) {
            warnings->append(QStringLiteral("%1: warning: more than %2 folders under the pack "
                                            "root: the rest are not read")
                                     .arg(QDir::toNativeSeparators(dir))
                                     .arg(maxPackFolders));
            return folders;
        }
        if (entry.isSymLink()) {
            const QString target = entry.canonicalFilePath();
            if (!entry.exists() || target.isEmpty()) {
                warnings->append(QStringLiteral("%1: warning: a link that leads nowhere or in a "
                                                "loop: not read")
                                         .arg(QDir::toNativeSeparators(entry.filePath())));
                continue;
            }
            if (ancestors.contains(target)) {
                warnings->append(QStringLiteral("%1: warning: a link back to a folder above it: "
                                                "not read")
                                         .arg(QDir::toNativeSeparators(entry.filePath())));
                continue;
            }
        }
        if (entry.isDir())
            folders.append(entry);
    }
    return folders;
}

QString canonical(const QFileInfo &info)
{
    const QString path = info.canonicalFilePath();
    return path.isEmpty() ? info.absoluteFilePath() : path;
}

// One level of the device tree while it is read, and what it says for the levels below.
struct Level
{
    enum Kind { Family, SubFamily, Device, Variant } kind = Family;
    QString vendor; // Dvendor, when this level gives one
    struct Debug
    {
        QString processor; // Pname; empty for every processor
        QString svd;
        qint64 line = 0;
    };
    QStringList processors; // Pname of each <processor> that has one
    QList<Debug> debugs; // those with an svd
    qsizetype record = -1; // the device's entry in the list, for a device or variant
    qsizetype ignoredEntries = 0;
    // The cores that this level and those above give, once worked out: the devices and variants
    // below that add nothing of their own share them, so that a family of thousands of variants
    // costs one look-up.
    QList<PackCore> cores;
    bool coresKnown = false;
};

// The description that the levels give a core: the nearest level that names one for it, or one
// for every core.
const Level::Debug *debugFor(const std::vector<Level> &levels, const QString &core, bool single)
{
    for (auto level = levels.crbegin(); level != levels.crend(); ++level) {
        const Level::Debug *general = nullptr;
        for (const Level::Debug &debug : level->debugs) {
            if (debug.processor.compare(core, Qt::CaseInsensitive) == 0 && !core.isEmpty())
                return &debug;
            if (!general && (debug.processor.isEmpty() || single))
                general = &debug;
        }
        if (general)
            return general;
    }
    return nullptr;
}

// The cores of the device or variant whose level is the last of levels.
QList<PackCore> coresOf(std::vector<Level> &levels, qint64 line)
{
    Level &own = levels.back();
    if (own.coresKnown)
        return own.cores;
    if (own.processors.isEmpty() && own.debugs.isEmpty() && levels.size() > 1) {
        Level &parent = levels[levels.size() - 2];
        if (!parent.coresKnown) {
            Level kept = std::move(levels.back());
            levels.pop_back();
            parent.cores = coresOf(levels, line);
            parent.coresKnown = true;
            levels.push_back(std::move(kept));
        }
        return levels[levels.size() - 2].cores;
    }
    QStringList names;
    for (auto level = levels.crbegin(); level != levels.crend(); ++level) {
        for (const QString &name : level->processors) {
            if (names.size() < maxCoresPerLevel && !names.contains(name, Qt::CaseInsensitive))
                names.append(name);
        }
    }
    if (names.isEmpty())
        names.append(QString());
    QList<PackCore> cores;
    for (const QString &name : std::as_const(names)) {
        PackCore core { name, QString(), line };
        if (const Level::Debug *debug = debugFor(levels, name, names.size() == 1)) {
            core.svd = debug->svd;
            core.line = debug->line;
        }
        cores.append(core);
    }
    return cores;
}

// The bounded edit distance of two names: limit + 1 once it is certain to be beyond limit.
qsizetype boundedDistance(QStringView a, QStringView b, qsizetype limit)
{
    if (std::abs(a.size() - b.size()) > limit)
        return limit + 1;
    std::vector<qsizetype> row(std::size_t(b.size() + 1));
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[std::size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        // Only the band within limit of the diagonal can stay within limit.
        const qsizetype from = std::max<qsizetype>(1, i - limit);
        const qsizetype to = std::min<qsizetype>(b.size(), i + limit);
        qsizetype diagonal = row[std::size_t(from - 1)];
        row[std::size_t(from - 1)] = from == 1 ? i : limit + 1;
        qsizetype best = row[std::size_t(from - 1)];
        for (qsizetype j = from; j <= to; ++j) {
            const qsizetype above = row[std::size_t(j)];
            const qsizetype cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            const qsizetype value =
                    std::min({ above + 1, row[std::size_t(j - 1)] + 1, diagonal + cost });
            row[std::size_t(j)] = std::min(value, limit + 1);
            diagonal = above;
            best = std::min(best, row[std::size_t(j)]);
        }
        if (to < b.size())
            row[std::size_t(to + 1)] = limit + 1;
        if (best > limit)
            return limit + 1;
    }
    return row[std::size_t(b.size())];
}

} // namespace

int compareVersions(const QString &a, const QString &b)
{
    const VersionParts x = versionParts(a);
    const VersionParts y = versionParts(b);
    if (x.valid != y.valid)
        return x.valid ? 1 : -1;
    if (!x.valid)
        return sign(a.compare(b));
    for (qsizetype k = 0; k < std::max(x.numbers.size(), y.numbers.size()); ++k) {
        const int c = compareNumbers(x.numbers.value(k, u"0"), y.numbers.value(k, u"0"));
        if (c != 0)
            return sign(c);
    }
    // A pre-release comes before its release.
    if (x.preRelease.isEmpty() != y.preRelease.isEmpty())
        return x.preRelease.isEmpty() ? 1 : -1;
    for (qsizetype k = 0; k < std::min(x.preRelease.size(), y.preRelease.size()); ++k) {
        const QStringView p = x.preRelease.at(k);
        const QStringView q = y.preRelease.at(k);
        int c = 0;
        if (allDigits(p) && allDigits(q))
            c = compareNumbers(p, q);
        else if (allDigits(p) != allDigits(q))
            c = allDigits(p) ? -1 : 1;
        else
            c = p.compare(q);
        if (c != 0)
            return sign(c);
    }
    if (x.preRelease.size() != y.preRelease.size())
        return x.preRelease.size() < y.preRelease.size() ? -1 : 1;
    return sign(a.compare(b));
}

bool parsePackSelection(const QString &text, PackSelection *selection)
{
    const qsizetype separator = text.indexOf(QLatin1String("::"));
    if (separator <= 0)
        return false;
    selection->vendor = text.left(separator);
    QString rest = text.mid(separator + 2);
    const qsizetype at = rest.indexOf(u'@');
    selection->version = at < 0 ? QString() : rest.mid(at + 1);
    selection->name = at < 0 ? rest : rest.left(at);
    return !selection->name.isEmpty() && (at < 0 || !selection->version.isEmpty())
            && !selection->name.contains(u':') && !selection->name.contains(u'/')
            && !selection->vendor.contains(u'/');
}

QString packRootPath(bool *fromEnvironment)
{
    const QString given = qEnvironmentVariable("CMSIS_PACK_ROOT");
    if (fromEnvironment)
        *fromEnvironment = !given.isEmpty();
    if (!given.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(given));
#ifdef Q_OS_WIN
    return QDir::cleanPath(qEnvironmentVariable("LOCALAPPDATA") + QStringLiteral("/Arm/Packs"));
#else
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.cache/arm/packs"));
#endif
}

PackRoot readPackRoot(const QString &root, const PackSelection &selection)
{
    PackRoot result;
    result.path = root;
    const QFileInfo info(root);
    if (!info.exists()) {
        result.error = info.isSymLink() ? QStringLiteral("is a link that leads nowhere")
                                        : QStringLiteral("does not exist");
        return result;
    }
    if (!info.isDir()) {
        result.error = QStringLiteral("is no folder");
        return result;
    }
    if (!info.isReadable() || !info.isExecutable()) {
        result.error = QStringLiteral("cannot be read: permission denied");
        return result;
    }
    qsizetype budget = maxPackFolders;
    QSet<QString> ancestors { canonical(info) };
    for (const QFileInfo &vendor : subfolders(root, ancestors, &budget, &result.warnings)) {
        if (selection.isSet() && vendor.fileName().compare(selection.vendor, Qt::CaseInsensitive))
            continue;
        ancestors.insert(canonical(vendor));
        const QFileInfoList packs =
                subfolders(vendor.filePath(), ancestors, &budget, &result.warnings);
        for (const QFileInfo &pack : packs) {
            if (selection.isSet() && pack.fileName().compare(selection.name, Qt::CaseInsensitive))
                continue;
            ancestors.insert(canonical(pack));
            QFileInfoList versions =
                    subfolders(pack.filePath(), ancestors, &budget, &result.warnings);
            ancestors.remove(canonical(pack));
            if (selection.isSet() && !selection.version.isEmpty()) {
                versions.removeIf([&](const QFileInfo &version) {
                    return compareVersions(version.fileName(), selection.version) != 0;
                });
                if (versions.isEmpty()) {
                    result.warnings.append(
                            QStringLiteral("%1: warning: version %2 is not installed")
                                    .arg(QDir::toNativeSeparators(pack.filePath()),
                                         selection.version));
                    continue;
                }
            }
            std::sort(versions.begin(), versions.end(), [](const QFileInfo &a, const QFileInfo &b) {
                return compareVersions(a.fileName(), b.fileName()) > 0;
            });
            const QString pdscName =
                    vendor.fileName() + u'.' + pack.fileName() + QLatin1String(".pdsc");
            QStringList missing;
            for (const QFileInfo &version : std::as_const(versions)) {
                const QString pdsc = version.filePath() + u'/' + pdscName;
                if (!QFileInfo(pdsc).isFile()) {
                    missing.append(version.fileName());
                    continue;
                }
                if (!missing.isEmpty())
                    result.warnings.append(
                            QStringLiteral("%1: warning: no %2 in version %3: version %4 is read "
                                           "instead")
                                    .arg(QDir::toNativeSeparators(pack.filePath()), pdscName,
                                         missing.join(QLatin1String(", ")), version.fileName()));
                result.packs.append({ vendor.fileName(), pack.fileName(), version.fileName(),
                                      version.filePath(), pdsc });
                missing.clear();
                break;
            }
            if (!missing.isEmpty())
                result.warnings.append(
                        QStringLiteral("%1: warning: no %2 in any version: the "
                                       "pack is not read")
                                .arg(QDir::toNativeSeparators(pack.filePath()), pdscName));
        }
        ancestors.remove(canonical(vendor));
    }

    for (qsizetype k = 0; k < result.packs.size(); ++k) {
        const QString &path = result.packs.at(k).pdsc;
        QFile file(path);
        if (file.size() > maxPdscFileSize) {
            result.warnings.append(QStringLiteral("%1: warning: larger than %2 MiB: not read")
                                           .arg(QDir::toNativeSeparators(path))
                                           .arg(maxPdscFileSize / (qint64(1024) * 1024)));
            continue;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            result.warnings.append(
                    QStringLiteral("%1: warning: cannot be read: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
            continue;
        }
        // As large as it was found, within the limit: a file may grow while it is read, and a
        // buffer of the limit's size for each of thousands of small files would cost more than
        // reading them.
        const QByteArray xml = file.read(std::min(file.size(), maxPdscFileSize));
        readPdsc(xml, QDir::toNativeSeparators(path), k, &result.devices, &result.warnings);
    }
    return result;
}

bool readPdsc(const QByteArray &xml, const QString &path, qsizetype pack,
              QList<PackDevice> *devices, QStringList *warnings)
{
    QXmlStreamReader reader(xml);
    reader.setEntityExpansionLimit(maxPdscEntityExpansion);
    const qsizetype first = devices->size();
    std::vector<Level> levels;
    QStringList skipped;
    const auto warn = [&](qint64 line, const QString &message) {
        warnings->append(QStringLiteral("%1:%2: warning: %3").arg(path).arg(line).arg(message));
    };
    bool inDevices = false;
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            if (!levels.empty() && depth == int(levels.size()) + 1) {
                const qsizetype record = levels.back().record;
                if (record >= 0)
                    (*devices)[record].cores = coresOf(levels, devices->at(record).line);
                const Level &level = levels.back();
                if (level.ignoredEntries > 0)
                    warn(reader.lineNumber(),
                         QStringLiteral("more than %1 processors or debug entries at one level: "
                                        "%2 left out")
                                 .arg(maxCoresPerLevel)
                                 .arg(level.ignoredEntries));
                levels.pop_back();
            } else if (depth == 1) {
                inDevices = false;
            }
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++depth;
        const QStringView element = reader.name();
        const QXmlStreamAttributes attributes = reader.attributes();
        const qint64 line = reader.lineNumber();
        if (depth == 1) {
            if (element != u"package") {
                warn(line,
                     QStringLiteral("<%1> is no pack description: not read")
                             .arg(element.toString()));
                devices->resize(first);
                return false;
            }
            continue;
        }
        if (depth == 2) {
            inDevices = element == u"devices";
            if (!inDevices) {
                reader.skipCurrentElement();
                --depth;
            }
            continue;
        }
        if (!inDevices)
            continue;
        const Level::Kind parent = levels.empty() ? Level::Family : levels.back().kind;
        const bool atLevel = depth == int(levels.size()) + 3;
        Level::Kind kind = Level::Family;
        bool opens = false;
        if (depth == 3 && element == u"family") {
            opens = true;
        } else if (atLevel && !levels.empty()) {
            if (element == u"subFamily" && parent == Level::Family) {
                kind = Level::SubFamily;
                opens = true;
            } else if (element == u"device"
                       && (parent == Level::Family || parent == Level::SubFamily)) {
                kind = Level::Device;
                opens = true;
            } else if (element == u"variant" && parent == Level::Device) {
                kind = Level::Variant;
                opens = true;
            }
        }
        if (opens) {
            Level level;
            level.kind = kind;
            if (attributes.hasAttribute(QLatin1String("Dvendor")))
                level.vendor = withoutNumber(attributes.value(QLatin1String("Dvendor")).toString());
            if (kind == Level::Device || kind == Level::Variant) {
                const QString name =
                        attributes
                                .value(kind == Level::Device ? QLatin1String("Dname")
                                                             : QLatin1String("Dvariant"))
                                .toString()
                                .trimmed();
                if (name.isEmpty()) {
                    warn(line,
                         QStringLiteral("a <%1> without a name: left out").arg(element.toString()));
                } else {
                    QString vendor;
                    for (auto above = levels.crbegin(); above != levels.crend() && vendor.isEmpty();
                         ++above)
                        vendor = above->vendor;
                    if (!level.vendor.isEmpty())
                        vendor = level.vendor;
                    level.record = devices->size();
                    devices->append({ name, vendor, pack, line, {} });
                }
            }
            levels.push_back(level);
            continue;
        }
        if (atLevel && !levels.empty() && (element == u"processor" || element == u"debug")) {
            Level &level = levels.back();
            level.coresKnown = false;
            const QString processor = attributes.value(QLatin1String("Pname")).toString();
            if (element == u"processor") {
                if (!processor.isEmpty() && !level.processors.contains(processor)) {
                    if (level.processors.size() < maxCoresPerLevel)
                        level.processors.append(processor);
                    else
                        ++level.ignoredEntries;
                }
            } else if (attributes.hasAttribute(QLatin1String("svd"))) {
                QString svd = attributes.value(QLatin1String("svd")).toString().trimmed();
                svd.replace(u'\\', u'/');
                if (level.debugs.size() < maxCoresPerLevel)
                    level.debugs.append({ processor, svd, line });
                else
                    ++level.ignoredEntries;
            }
        }
        // What else a level holds (memories, features, books) is passed by, still checked as XML.
        reader.skipCurrentElement();
        --depth;
    }
    if (reader.hasError()) {
        warnings->append(QStringLiteral("%1:%2:%3: warning: %4: its devices are not used")
                                 .arg(path)
                                 .arg(reader.lineNumber())
                                 .arg(reader.columnNumber())
                                 .arg(reader.errorString()));
        devices->resize(first);
        return false;
    }
    return true;
}

QString descriptionPath(const InstalledPack &pack, const QString &svd)
{
    const QString relative = QDir::cleanPath(svd);
    if (relative.isEmpty() || QDir::isAbsolutePath(relative) || relative == QLatin1String("..")
        || relative.startsWith(QLatin1String("../")))
        return {};
    return QDir::cleanPath(pack.folder + u'/' + relative);
}

bool parseDeviceName(const QString &text, DeviceName *name)
{
    QString rest = text.trimmed();
    const qsizetype separator = rest.indexOf(QLatin1String("::"));
    name->vendor = separator < 0 ? QString() : rest.left(separator);
    if (separator >= 0)
        rest = rest.mid(separator + 2);
    const qsizetype colon = rest.indexOf(u':');
    name->core = colon < 0 ? QString() : rest.mid(colon + 1);
    name->device = colon < 0 ? rest : rest.left(colon);
    return !name->device.isEmpty() && (separator < 0 || !name->vendor.isEmpty())
            && (colon < 0 || (!name->core.isEmpty() && !name->core.contains(u':')));
}

ResolvedDevice resolveDevice(const PackRoot &root, const DeviceName &name, bool fromEnvironment)
{
    ResolvedDevice result;
    const QString where = QDir::toNativeSeparators(root.path);
    const QString whence = fromEnvironment
            ? QStringLiteral("CMSIS_PACK_ROOT")
            : QStringLiteral("the default pack root; CMSIS_PACK_ROOT names another");
    if (!root.error.isEmpty()) {
        result.error = QStringLiteral("%1: error: %2 (%3)").arg(where, root.error, whence);
        return result;
    }
    std::vector<const PackDevice *> found;
    for (const PackDevice &device : root.devices) {
        if (device.name.compare(name.device, Qt::CaseInsensitive) != 0)
            continue;
        const InstalledPack &pack = root.packs.at(device.pack);
        if (!name.vendor.isEmpty() && device.vendor.compare(name.vendor, Qt::CaseInsensitive)
            && pack.vendor.compare(name.vendor, Qt::CaseInsensitive))
            continue;
        found.push_back(&device);
    }
    if (found.empty()) {
        QStringList near;
        for (const QString &candidate : nearestDeviceNames(root.devices, name.device))
            near.append(candidate);
        result.error = QStringLiteral("%1: error: no device \"%2\"%3 in its %4 %5 (%6)%7")
                               .arg(where, name.device,
                                    name.vendor.isEmpty()
                                            ? QString()
                                            : QStringLiteral(" of vendor %1").arg(name.vendor))
                               .arg(root.packs.size())
                               .arg(root.packs.size() == 1 ? QStringLiteral("pack")
                                                           : QStringLiteral("packs"))
                               .arg(whence,
                                    near.isEmpty() ? QString()
                                                   : QStringLiteral("; did you mean %1?")
                                                             .arg(near.join(QLatin1String(", "))));
        return result;
    }
    // The newest version wins; between packs of the same version, the first by name, so that the
    // choice is the same on every run.
    const auto newer = [&root](const PackDevice *a, const PackDevice *b) {
        const int c =
                compareVersions(root.packs.at(a->pack).version, root.packs.at(b->pack).version);
        return c != 0 ? c > 0 : a->pack < b->pack;
    };
    std::stable_sort(found.begin(), found.end(), newer);
    const PackDevice &device = *found.front();
    const InstalledPack &pack = root.packs.at(device.pack);
    const QString pdsc = QDir::toNativeSeparators(pack.pdsc);
    QStringList others;
    for (const PackDevice *other : found) {
        const InstalledPack &otherPack = root.packs.at(other->pack);
        const QString id = QStringLiteral("%1 (%2)").arg(otherPack.id(), other->vendor);
        if (other->pack != device.pack && !others.contains(id))
            others.append(id);
    }
    if (!others.isEmpty())
        result.notes.append(QStringLiteral("%1:%2: note: %3 of %4 is read from %5, the newest; it "
                                           "is also in %6: VENDOR::%3 or --pack picks another")
                                    .arg(pdsc)
                                    .arg(device.line)
                                    .arg(device.name, device.vendor, pack.id(),
                                         others.join(QLatin1String(", "))));

    QStringList coreNames;
    for (const PackCore &core : device.cores)
        coreNames.append(core.name);
    const PackCore *chosen = nullptr;
    if (!name.core.isEmpty()) {
        for (const PackCore &core : device.cores) {
            if (!core.name.isEmpty() && core.name.compare(name.core, Qt::CaseInsensitive) == 0)
                chosen = &core;
        }
        if (!chosen) {
            result.error = device.cores.size() == 1 && device.cores.first().name.isEmpty()
                    ? QStringLiteral("%1:%2: error: %3 has one core, which has no name: give "
                                     "no :%4")
                              .arg(pdsc)
                              .arg(device.line)
                              .arg(device.name, name.core)
                    : QStringLiteral("%1:%2: error: %3 has no core \"%4\" (its cores: %5)")
                              .arg(pdsc)
                              .arg(device.line)
                              .arg(device.name, name.core, coreNames.join(QLatin1String(", ")));
            return result;
        }
    } else {
        QStringList files;
        for (const PackCore &core : device.cores) {
            if (core.svd.isEmpty())
                continue;
            if (!files.contains(core.svd))
                files.append(core.svd);
            if (!chosen)
                chosen = &core;
        }
        if (files.size() > 1) {
            result.error = QStringLiteral("%1:%2: error: the cores of %3 have different "
                                          "descriptions: give one as %3:CORE (%4)")
                                   .arg(pdsc)
                                   .arg(device.line)
                                   .arg(device.name, coreNames.join(QLatin1String(", ")));
            return result;
        }
    }
    if (!chosen || chosen->svd.isEmpty()) {
        result.error =
                QStringLiteral("%1:%2: error: %3 has no register description (no <debug "
                               "svd>)")
                        .arg(pdsc)
                        .arg(device.line)
                        .arg(device.name + (name.core.isEmpty() ? QString() : u':' + chosen->name));
        return result;
    }
    const QString path = descriptionPath(pack, chosen->svd);
    if (path.isEmpty()) {
        result.error = QStringLiteral("%1:%2: error: the description %3 lies outside the pack's "
                                      "folder: not read")
                               .arg(pdsc)
                               .arg(chosen->line)
                               .arg(chosen->svd);
        return result;
    }
    if (!QFileInfo(path).isFile()) {
        result.error = QStringLiteral("%1:%2: error: the description of %3, %4, does not exist")
                               .arg(pdsc)
                               .arg(chosen->line)
                               .arg(device.name, QDir::toNativeSeparators(path));
        return result;
    }
    result.path = path;
    return result;
}

QStringList nearestDeviceNames(const QList<PackDevice> &devices, const QString &wanted)
{
    // Beyond this a name is no mistyped device name, and comparing it costs for nothing.
    constexpr qsizetype maxLength = 64;
    const QString key = wanted.toCaseFolded().left(maxLength);
    const qsizetype limit = std::max<qsizetype>(2, key.size() / 3);
    struct Candidate
    {
        qsizetype rank;
        QString name;
        bool operator<(const Candidate &other) const
        {
            return rank != other.rank ? rank < other.rank : name < other.name;
        }
    };
    std::vector<Candidate> best; // the five best so far, in order
    QSet<QString> seen;
    for (const PackDevice &device : devices) {
        const QString name = device.name.toCaseFolded().left(maxLength);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        const qsizetype distance = boundedDistance(key, name, limit);
        qsizetype rank = distance;
        if (distance > limit) {
            qsizetype shared = 0;
            while (shared < std::min(key.size(), name.size()) && key.at(shared) == name.at(shared))
                ++shared;
            if (shared == key.size())
                rank = limit + 1 + (name.size() - key.size());
            else if (shared >= 3)
                rank = limit + 1 + maxLength + (maxLength - shared);
            else
                continue;
        }
        const Candidate candidate { rank, device.name };
        if (best.size() == 5 && !(candidate < best.back()))
            continue;
        best.insert(std::upper_bound(best.begin(), best.end(), candidate), candidate);
        if (best.size() > 5)
            best.pop_back();
    }
    QStringList names;
    for (const Candidate &candidate : best)
        names.append(candidate.name);
    return names;
}
