// SPDX-License-Identifier: MIT
// The CMSIS packs installed under one root: their devices, each core's register description, and
// a device found by its name.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The limits of a walk through a pack root, each far beyond a real installation.
// A pack description of the largest vendors' packs runs to a few MiB.
inline constexpr qint64 maxPdscFileSize = qint64(64) * 1024 * 1024;
// Folders looked at under the root (vendors, packs and versions together): a root of every pack
// ever published holds some tens of thousands.
inline constexpr qsizetype maxPackFolders = 200000;
// Processors and <debug> entries at one level of the device tree, and the cores of one device:
// real parts have up to a dozen cores, and each device's cores are looked up through these lists.
inline constexpr qsizetype maxCoresPerLevel = 16;
// Entities a description may expand: none of a real one needs any.
inline constexpr int maxPdscEntityExpansion = 1000;

// A pack's version as the folder names it, compared semantically: 1.10.0 > 1.9.2, and a
// pre-release (1.0.0-rc1) before its release; a name that is no version before every version.
// Negative, zero or positive as a is older, the same or newer than b.
int compareVersions(const QString &a, const QString &b);

struct InstalledPack
{
    QString vendor; // the folder names: VENDOR/PACK/VERSION
    QString name;
    QString version;
    QString folder; // the version folder, against which descriptions are named
    QString pdsc; // VENDOR.PACK.pdsc in it

    // "VENDOR::PACK@VERSION", as the pack tools write it.
    QString id() const { return vendor + QLatin1String("::") + name + u'@' + version; }
};

struct PackCore
{
    QString name; // the processor's Pname; empty for a part with one core
    QString svd; // the description, relative to the version folder ('/' separators); may be empty
    qint64 line = 0; // of the <debug> that names it (or of the device when none does)
};

struct PackDevice
{
    QString name; // Dname, or Dvariant for a variant
    QString vendor; // Dvendor without its number ("STMicroelectronics:13" gives STMicroelectronics)
    qsizetype pack = 0; // index into PackRoot::packs
    qint64 line = 0; // of the <device> or <variant>
    QList<PackCore> cores; // in the order the description declares them; one for a single core
};

// A pack named as the pack tools write it: VENDOR::PACK[@VERSION].
struct PackSelection
{
    QString vendor;
    QString name;
    QString version; // empty: the newest installed
    bool isSet() const { return !name.isEmpty(); }
};
bool parsePackSelection(const QString &text, PackSelection *selection);

struct PackRoot
{
    QString path;
    QList<InstalledPack> packs; // the version read of each pack, in folder name order
    QList<PackDevice> devices; // in pack order, then as each description lists them
    QStringList warnings; // one line each: "PATH[:LINE]: warning: …"
    QString error; // the root cannot be used at all; empty when it was read
};

// CMSIS_PACK_ROOT, or where the pack tools install by default (~/.cache/arm/packs, on Windows
// %LOCALAPPDATA%\Arm\Packs); whether it came from the environment.
QString packRootPath(bool *fromEnvironment = nullptr);

// Reads the newest installed version of each pack under root (the index folders .Web, .Download,
// .Local and every other hidden folder left out), or only the pack selected. A pack whose newest
// version has no description falls back to the one before, a description that is malformed or
// too large gives no devices: each with a warning, the rest read as usual.
PackRoot readPackRoot(const QString &root, const PackSelection &selection = {});

// The devices and variants of one pack description, appended to devices; false after a warning
// for a description that is malformed (its devices are then left out).
bool readPdsc(const QByteArray &xml, const QString &path, qsizetype pack,
              QList<PackDevice> *devices, QStringList *warnings);

// The absolute path of a description named relative to the pack's version folder; empty for one
// that is absolute or lies outside the folder.
QString descriptionPath(const InstalledPack &pack, const QString &svd);

// A device named as the pack tools write it: [VENDOR::]DEVICE[:CORE].
struct DeviceName
{
    QString vendor;
    QString device;
    QString core;
};
bool parseDeviceName(const QString &text, DeviceName *name);

// What a device name comes to: the description's path, or why there is none.
struct ResolvedDevice
{
    QString path; // absolute; empty on an error
    QString error; // one line, "WHERE: error: …"
    QStringList notes; // "WHERE: note: …" lines, for a name found in more than one pack
};
ResolvedDevice resolveDevice(const PackRoot &root, const DeviceName &name, bool fromEnvironment);

// Up to five device names nearest to wanted, without case: the fewest edits (at most a third of
// the name), then those it begins, then those sharing the longest beginning. Each comparison is
// bounded by the allowed edits, so thousands of names cost little.
QStringList nearestDeviceNames(const QList<PackDevice> &devices, const QString &wanted);
