// SPDX-License-Identifier: MIT
// dump: every register a memory dump covers, decoded as reg decodes one; or what differs between
// two dumps.
#include "devices.h"
#include "dumpreader.h"
#include "labeltool.h"
#include "svdregisters.h"

#include <QCommandLineParser>
#include <QHash>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr quint64 maxAddress = std::numeric_limits<quint64>::max();

// A dump's values may make at most this many bytes: each costs 16 bytes of memory while a dump out
// of order is sorted (2 once laid out, and no more in a dump of rising addresses), so that a dump
// of whole 64-bit registers by a short name ("R 0", eight bytes from four characters) stays within
// about 300 MiB. Real dumps make a few hundred KiB.
constexpr std::size_t maxDumpBytes = std::size_t(16) * 1024 * 1024;

// One byte of the dump: the last value given for its address. Lines fit 27 bits: a dump of
// maxDumpSize bytes has at most that many lines.
struct Byte
{
    quint64 address = 0;
    quint64 line : 27; // of the value that gave it
    quint64 earlier : 27; // of an earlier value at the same address, overridden; 0: none
    quint64 value : 8;
    quint64 readable : 1;

    Byte() : line(0), earlier(0), value(0), readable(0) { }
    Byte(quint64 address, quint64 line, quint64 value, bool readable)
        : address(address), line(line), earlier(0), value(value), readable(readable ? 1 : 0)
    {
    }
};
static_assert(sizeof(Byte) == 16, "a byte of the dump takes 16 bytes");

// The description's registers, looked up by address and by name.
struct RegisterIndex
{
    const SvdRegisters &registers;
    SvdAddressIndex addresses;

    explicit RegisterIndex(const SvdRegisters &registers)
        : registers(registers), addresses(registers)
    {
    }
    // The first register of the name in the file; the names are indexed when a dump first names
    // one, which most dumps never do.
    const SvdRegister *named(const QString &name) const
    {
        if (!names)
            names = std::make_unique<SvdNameIndex>(registers);
        return names->first(name);
    }
    // The first register in the file at address.
    const SvdRegister *at(quint64 address) const
    {
        const QList<const SvdRegister *> found = addresses.at(address);
        return found.isEmpty() ? nullptr : found.constFirst();
    }

private:
    mutable std::unique_ptr<SvdNameIndex> names;
};

int byteCount(const SvdRegister &reg)
{
    return (reg.size + 7) / 8;
}

// A byte given more than once: where, and the lines of the value that counts and of an earlier
// one.
struct Repeat
{
    std::size_t index = 0; // in DumpBytes::bytes
    quint64 address = 0;
    quint64 line = 0;
    quint64 earlier = 0;
};

// Consecutive addresses: the bytes from first up to the next run's first.
struct Run
{
    quint64 address = 0;
    std::size_t first = 0;
};

// A dump read and laid out byte by byte, or why it cannot be used. Two bytes of memory a byte:
// the addresses are runs, and the bytes given twice, which are few, are kept apart.
struct DumpBytes
{
    QString path;
    std::vector<quint16> bytes; // in address order, one per address: the value, readableBit
    std::vector<Run> runs; // in address order, no two consecutive
    std::vector<Repeat> repeats; // in address order
    QStringList warnings; // whole lines, "DUMP:LINE: warning: …", the first maxDumpWarnings
    qint64 moreWarnings = 0; // not kept
    QString error; // a whole line, "DUMP:LINE: error: …"
};

constexpr quint16 readableBit = 0x100;

void warn(DumpBytes *dump, const QString &line)
{
    if (dump->warnings.size() >= maxDumpWarnings)
        ++dump->moreWarnings;
    else
        dump->warnings.append(line);
}

DumpBytes loadDump(const QString &path, const DumpOptions &options, const RegisterIndex &index,
                   bool bigEndian)
{
    DumpBytes dump;
    dump.path = path;
    const QString shown = shownPath(path);
    QByteArray text;
    QString error;
    if (!readInputFile(path, maxDumpSize, &text, &error)) {
        dump.error = QStringLiteral("%1: error: %2").arg(shown, error);
        return dump;
    }
    DumpContents contents = readDump(text, options);
    text.clear();
    const auto at = [&](qint64 line) { return QStringLiteral("%1:%2: ").arg(shown).arg(line); };
    if (!contents.error.isEmpty()) {
        dump.error = (contents.line > 0 ? at(contents.line) : shown + QLatin1String(": "))
                + QLatin1String("error: ") + contents.error;
        return dump;
    }
    for (const DumpWarning &warning : std::as_const(contents.warnings))
        dump.warnings.append(at(warning.line) + QLatin1String("warning: ") + warning.message);
    dump.moreWarnings = contents.moreWarnings;
    // Each value placed (its address and size in bytes, 0: none), then laid out byte by byte into
    // a vector of exactly the size needed: the largest dumps are mostly bytes.
    std::size_t total = 0;
    for (DumpValue &value : contents.values) {
        int count = value.bytes;
        const SvdRegister *reg = nullptr;
        if (value.name >= 0) {
            const QString &name = contents.names.at(value.name);
            reg = index.named(name);
            if (!reg) {
                warn(&dump,
                     at(value.line) + QStringLiteral("warning: no register \"%1\"").arg(name));
                value.bytes = 0;
                continue;
            }
            value.address = reg->address;
        } else if (count == 0) {
            reg = index.at(value.address);
        }
        if (count == 0 && reg) {
            if (value.value & ~reg->valueMask()) {
                dump.error = at(value.line)
                        + QStringLiteral("error: %1 does not fit %2, whose size is %3 bits")
                                  .arg(hexDigits(value.value, 1), reg->name,
                                       QString::number(reg->size));
                return dump;
            }
            count = byteCount(*reg);
        } else if (count == 0) {
            // No register there: as many bytes as the value needs, in units.
            count = value.value > 0xFFFFFFFFU ? 8
                    : value.value > 0xFFFF    ? 4
                    : value.value > 0xFF      ? 2
                                              : 1;
        }
        if (quint64(count - 1) > maxAddress - value.address) {
            dump.error = at(value.line)
                    + QStringLiteral("error: the value at %1 runs past the last address of 64 "
                                     "bits")
                              .arg(hexDigits(value.address, 32));
            return dump;
        }
        value.bytes = quint8(count);
        total += std::size_t(count);
    }
    if (total > maxDumpBytes) {
        dump.error = QStringLiteral("%1: error: its values make more than %2 bytes")
                             .arg(shown)
                             .arg(maxDumpBytes);
        return dump;
    }
    const auto place = [&](quint64 address, quint8 value, bool readable) {
        if (dump.runs.empty()
            || address != dump.runs.back().address + (dump.bytes.size() - dump.runs.back().first))
            dump.runs.push_back({ address, dump.bytes.size() });
        dump.bytes.push_back(quint16(value | (readable ? readableBit : 0)));
    };
    // A dump of rising addresses, each given once, as debuggers print them, is laid out as it
    // comes.
    bool rising = true;
    bool started = false;
    bool full = false; // a value took the last address of 64 bits: none may follow
    quint64 next = 0; // the address after the last value's bytes
    for (const DumpValue &value : std::as_const(contents.values)) {
        if (value.bytes == 0)
            continue;
        if (started && (full || value.address < next)) {
            rising = false;
            break;
        }
        started = true;
        next = value.address + value.bytes;
        full = next == 0;
    }
    if (rising) {
        dump.bytes.reserve(total);
        for (const DumpValue &value : std::as_const(contents.values)) {
            const int count = value.bytes;
            for (int k = 0; k < count; ++k) {
                const int shift = 8 * (bigEndian ? count - 1 - k : k);
                place(value.address + quint64(k), quint8(value.value >> shift), value.readable);
            }
        }
        return dump;
    }
    std::vector<Byte> bytes(total);
    Byte *out = bytes.data();
    for (const DumpValue &value : std::as_const(contents.values)) {
        const int count = value.bytes;
        // Only the address and the byte's value change from one byte of a value to the next.
        Byte byte(value.address, quint64(value.line), 0, value.readable);
        for (int k = 0; k < count; ++k) {
            const int shift = 8 * (bigEndian ? count - 1 - k : k);
            byte.address = value.address + quint64(k);
            byte.value = (value.value >> shift) & 0xFF;
            *out++ = byte;
        }
    }
    contents = DumpContents();
    // Later values win. No two values of a line share an address, so the line orders them; and
    // std::sort needs no buffer beside the bytes.
    const auto before = [](const Byte &a, const Byte &b) {
        return a.address < b.address || (a.address == b.address && a.line < b.line);
    };
    if (!std::is_sorted(bytes.cbegin(), bytes.cend(), before))
        std::sort(bytes.begin(), bytes.end(), before);
    const auto sameAddress = [](const Byte &a, const Byte &b) { return a.address == b.address; };
    const std::size_t repeated = std::size_t(
            std::adjacent_find(bytes.cbegin(), bytes.cend(), sameAddress) - bytes.cbegin());
    std::size_t kept = repeated;
    for (std::size_t k = repeated; k < bytes.size(); ++k) {
        if (kept > 0 && bytes[kept - 1].address == bytes[k].address) {
            Byte &last = bytes[kept - 1];
            const quint64 earlier = last.earlier ? last.earlier : last.line;
            last = bytes[k];
            last.earlier = earlier;
        } else {
            bytes[kept++] = bytes[k];
        }
    }
    bytes.resize(kept);
    // Beside the bytes being read, not the values: no more memory than those took.
    dump.bytes.reserve(kept);
    for (const Byte &byte : bytes) {
        if (byte.earlier)
            dump.repeats.push_back({ dump.bytes.size(), byte.address, byte.line, byte.earlier });
        place(byte.address, quint8(byte.value), byte.readable != 0);
    }
    return dump;
}

enum class Coverage { None, Partial, Unreadable, Full };

// How the dump covers a register, its value when it does, and where its bytes are.
struct Covered
{
    Coverage coverage = Coverage::None;
    quint64 value = 0;
    std::size_t first = 0; // index of its first byte in the dump
    int count = 0; // of its bytes in the dump
    quint64 address = 0; // of its first byte in the dump
    const Repeat *overridden = nullptr; // a byte given twice
};

// The first byte given twice among count bytes from first, or nullptr.
const Repeat *firstRepeat(const DumpBytes &dump, std::size_t first, std::size_t count)
{
    const auto found = std::lower_bound(
            dump.repeats.cbegin(), dump.repeats.cend(), first,
            [](const Repeat &repeat, std::size_t index) { return repeat.index < index; });
    return found != dump.repeats.cend() && found->index < first + count ? &*found : nullptr;
}

Covered cover(const DumpBytes &dump, const SvdRegister &reg, bool bigEndian)
{
    Covered covered;
    const int size = byteCount(reg);
    if (quint64(size - 1) > maxAddress - reg.address)
        return covered;
    const quint64 end = reg.address + quint64(size - 1);
    // The run that holds the register's first byte, or the first run after it.
    auto run = std::upper_bound(dump.runs.cbegin(), dump.runs.cend(), reg.address,
                                [](quint64 address, const Run &r) { return address < r.address; });
    const auto runEnd = [&](std::vector<Run>::const_iterator r) {
        return std::next(r) == dump.runs.cend() ? dump.bytes.size() : std::next(r)->first;
    };
    if (run != dump.runs.cbegin()) {
        const auto before = std::prev(run);
        if (reg.address - before->address < runEnd(before) - before->first)
            run = before;
    }
    bool readable = true;
    bool first = true;
    for (; run != dump.runs.cend() && run->address <= end; ++run) {
        const quint64 from = std::max(run->address, reg.address);
        const std::size_t length = runEnd(run) - run->first;
        // The run's last address, which is below 2^64: its bytes were placed there.
        const quint64 last = run->address + (length - 1);
        const quint64 to = std::min(last, end);
        if (from > to)
            continue;
        const std::size_t index = run->first + std::size_t(from - run->address);
        if (first) {
            covered.first = index;
            covered.address = from;
            first = false;
        }
        for (quint64 address = from;; ++address) {
            const quint16 byte = dump.bytes[index + std::size_t(address - from)];
            readable = readable && (byte & readableBit) != 0;
            const int k = int(address - reg.address);
            covered.value |= quint64(byte & 0xFF) << (8 * (bigEndian ? size - 1 - k : k));
            ++covered.count;
            if (address == to)
                break;
        }
    }
    covered.overridden = firstRepeat(dump, covered.first, std::size_t(covered.count));
    covered.value &= reg.valueMask();
    covered.coverage = covered.count == 0 ? Coverage::None
            : covered.count < size        ? Coverage::Partial
            : !readable                   ? Coverage::Unreadable
                                          : Coverage::Full;
    return covered;
}

// Rows for a person or a script, or JSON; and what the rows need to know.
struct Output
{
    bool json = false;
    bool aligned = false;
};

// A register named with a note in place of its value: its header's first columns and the note.
void addRegisterNote(Rows *rows, const SvdRegister &reg, const QString &note)
{
    rows->add(Rows::Heading,
              { reg.name, hexDigits(reg.address, 32), QStringLiteral("%1 bits").arg(reg.size),
                note });
}

// As JSON: the register with its value (or old and new) as given, no fields, and the note.
QString registerNoteJson(const SvdRegister &reg, const QString &value, const QString &uncovered,
                         const QString &note)
{
    return registerJson(reg)
                   .add(QLatin1String("value"), value)
                   .add(QLatin1String("fields"), jsonArray({}))
                   .add(QLatin1String("uncovered"), uncovered)
                   .add(QLatin1String("note"), jsonString(note))
                   .text()
            + u'\n';
}

QString coverageNote(const Covered &covered, const SvdRegister &reg)
{
    return covered.coverage == Coverage::Partial
            ? QStringLiteral("partly in the dump: %1 of %2 bytes, not decoded")
                      .arg(covered.count)
                      .arg(byteCount(reg))
            : QStringLiteral("not readable in the dump");
}

void warnOverridden(DumpBytes *dump, const Covered &covered, const QString &what)
{
    if (covered.overridden)
        warn(dump,
             QStringLiteral("%1:%2: warning: %3 given again (first on line %4): "
                            "the later value counts")
                     .arg(shownPath(dump->path))
                     .arg(covered.overridden->line)
                     .arg(what)
                     .arg(covered.overridden->earlier));
}

// Prints the warnings kept and how many more there were; whether there were any.
bool printWarnings(const DumpBytes &dump)
{
    QString text;
    for (const QString &warning : dump.warnings)
        text += warning + u'\n';
    if (dump.moreWarnings > 0)
        text += QStringLiteral("%1: … and %2 more warnings\n")
                        .arg(shownPath(dump.path))
                        .arg(dump.moreWarnings);
    if (!text.isEmpty())
        printErr(text);
    return !text.isEmpty();
}

// What differs in a register between two dumps: its fields, or where it is missing.
void writeComparison(Rows *out, const SvdRegister &reg, const Covered &old, const Covered &now,
                     const QString &first, const QString &second, bool json)
{
    if (old.coverage == Coverage::Full && now.coverage == Coverage::Full) {
        if (old.value == now.value)
            return;
        if (json)
            out->addLine(comparedRegisterJson(reg, old.value, now.value, false));
        else
            comparedRegister(reg, old.value, now.value, false, out);
        return;
    }
    if (old.coverage == Coverage::None && now.coverage == Coverage::None)
        return;
    QStringList notes;
    if (old.coverage == Coverage::None && now.coverage == Coverage::Full)
        notes.append(QStringLiteral("only in %1").arg(second));
    else if (now.coverage == Coverage::None && old.coverage == Coverage::Full)
        notes.append(QStringLiteral("only in %1").arg(first));
    else {
        for (const auto &[covered, path] : { std::pair(&old, first), std::pair(&now, second) }) {
            if (covered->coverage == Coverage::None)
                notes.append(QStringLiteral("not in %1").arg(path));
            else if (covered->coverage == Coverage::Partial)
                notes.append(QStringLiteral("partly in %1: %2 of %3 bytes")
                                     .arg(path)
                                     .arg(covered->count)
                                     .arg(byteCount(reg)));
            else if (covered->coverage == Coverage::Unreadable)
                notes.append(QStringLiteral("not readable in %1").arg(path));
        }
    }
    const QString note = notes.join(QLatin1String("; "));
    if (!json) {
        addRegisterNote(out, reg, note);
        return;
    }
    // A value given whole in one dump is said, with its uncovered bits.
    const auto value = [&](const Covered &covered) {
        return covered.coverage == Coverage::Full ? jsonHex(covered.value, reg.size) : jsonNull;
    };
    const auto uncovered = [&](const Covered &covered) {
        return covered.coverage == Coverage::Full ? uncoveredJson(reg, covered.value) : jsonNull;
    };
    out->addLine(registerNoteJson(reg, jsonOldNew(value(old), value(now)),
                                  jsonOldNew(uncovered(old), uncovered(now)), note));
}

int decodeDump(DumpBytes *dump, const RegisterIndex &index, bool bigEndian, bool changedOnly,
               const Output &output)
{
    // What is shown, found first (with the warnings, once): registers in address order, and the
    // runs of bytes that no register takes (first and count only).
    std::vector<std::pair<const SvdRegister *, Covered>> shown;
    std::vector<Covered> runs;
    std::vector<char> used(dump->bytes.size(), 0);
    for (const SvdRegister *reg : index.addresses.inAddressOrder()) {
        const Covered covered = cover(*dump, *reg, bigEndian);
        if (covered.coverage == Coverage::None)
            continue;
        for (int k = 0; k < covered.count; ++k)
            used[covered.first + std::size_t(k)] = 1;
        warnOverridden(dump, covered, reg->name);
        if (covered.coverage != Coverage::Full
                    ? !changedOnly
                    : !changedOnly || ((covered.value ^ reg->resetValue) & reg->resetMask))
            shown.emplace_back(reg, covered);
    }
    // The runs of consecutive addresses, walked beside the bytes: a byte starts a run of no
    // register where the addresses break, as where a register's bytes end.
    std::size_t run = 0;
    const auto runOf = [&](std::size_t index) {
        while (run + 1 < dump->runs.size() && dump->runs[run + 1].first <= index)
            ++run;
        return run;
    };
    for (std::size_t k = 0; k < dump->bytes.size();) {
        if (used[k]) {
            ++k;
            continue;
        }
        const std::size_t at = runOf(k);
        const std::size_t runEnd =
                at + 1 < dump->runs.size() ? dump->runs[at + 1].first : dump->bytes.size();
        std::size_t end = k + 1;
        while (end < runEnd && !used[end])
            ++end;
        if (const Repeat *overridden = firstRepeat(*dump, k, end - k)) {
            Covered covered;
            covered.overridden = overridden;
            warnOverridden(dump, covered, hexDigits(overridden->address, 32));
        }
        if (!changedOnly) {
            Covered bytes;
            bytes.first = k;
            bytes.count = int(end - k);
            bytes.address = dump->runs[at].address + (k - dump->runs[at].first);
            runs.push_back(bytes);
        }
        k = end;
    }
    used.clear();
    const auto writeRegister = [&](Rows *rows, const SvdRegister &reg, const Covered &covered) {
        if (covered.coverage != Coverage::Full) {
            if (output.json)
                rows->addLine(
                        registerNoteJson(reg, jsonNull, jsonNull, coverageNote(covered, reg)));
            else
                addRegisterNote(rows, reg, coverageNote(covered, reg));
        } else if (output.json) {
            rows->addLine(decodedRegisterJson(reg, covered.value, false, changedOnly));
        } else {
            decodedRegister(reg, covered.value, false, changedOnly, rows);
        }
    };
    const auto writeRun = [&](Rows *rows, const Covered &run) {
        const quint64 address = run.address;
        const QString bytes = counted(run.count, QStringLiteral("byte"), QStringLiteral("bytes"));
        if (!output.json) {
            rows->add(Rows::Heading,
                      { QStringLiteral("(no register)"), hexDigits(address, 32), bytes });
            return;
        }
        rows->addLine(JsonObject()
                              .add(QLatin1String("register"), jsonNull)
                              .add(QLatin1String("address"), jsonHex(address, 32))
                              .add(QLatin1String("size"), QString::number(qint64(run.count) * 8))
                              .add(QLatin1String("access"), jsonNull)
                              .add(QLatin1String("reset"), jsonNull)
                              .add(QLatin1String("resetMask"), jsonNull)
                              .add(QLatin1String("value"), jsonNull)
                              .add(QLatin1String("fields"), jsonArray({}))
                              .add(QLatin1String("uncovered"), jsonNull)
                              .add(QLatin1String("note"),
                                   jsonString(QStringLiteral("no register: %1").arg(bytes)))
                              .text()
                      + u'\n');
    };
    // Both in address order: merged.
    writeRows(output.aligned, [&](Rows *rows) {
        std::size_t r = 0;
        std::size_t u = 0;
        while (r < shown.size() || u < runs.size()) {
            if (r == shown.size()
                || (u < runs.size() && runs[u].address < shown[r].first->address)) {
                writeRun(rows, runs[u]);
                ++u;
            } else {
                writeRegister(rows, *shown[r].first, shown[r].second);
                ++r;
            }
            writePiece(rows);
        }
    });
    return printWarnings(*dump) ? ExitFindings : ExitClean;
}

int diffDumps(DumpBytes *before, DumpBytes *after, const RegisterIndex &index, bool bigEndian,
              const Output &output)
{
    const QString first = shownPath(before->path);
    const QString second = shownPath(after->path);
    // The warnings once, however many passes.
    bool warned = false;
    writeRows(output.aligned, [&](Rows *out) {
        for (const SvdRegister *reg : index.addresses.inAddressOrder()) {
            const Covered old = cover(*before, *reg, bigEndian);
            const Covered now = cover(*after, *reg, bigEndian);
            if (!warned) {
                warnOverridden(before, old, reg->name);
                warnOverridden(after, now, reg->name);
            }
            writeComparison(out, *reg, old, now, first, second, output.json);
            writePiece(out);
        }
        warned = true;
    });
    const bool warnedBefore = printWarnings(*before);
    const bool warnedAfter = printWarnings(*after);
    return warnedBefore || warnedAfter ? ExitFindings : ExitClean;
}

} // namespace

int runDump(const QStringList &arguments)
{
    const QString command = QStringLiteral("dump");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Decodes every register of a CMSIS-SVD device description that a memory dump covers, "
            "in address order, each as reg decodes it: its header line, then a row per field "
            "(tab-separated; on a terminal, in aligned columns). "
            "DUMP is read line by line: GDB (x/Nxw, b, h, g), OpenOCD (mdw, mdh, mdb, mdd), "
            "J-Link (mem32, mem16, mem8), pyOCD (read32, …), U-Boot (md.l, md.w, md.b, md.q), "
            "devmem2, Linux regmap (with --base) and one value a line: ADDRESS VALUE, ADDRESS: "
            "VALUE, REGISTER VALUE or REGISTER = VALUE. Addresses are hexadecimal; a value's "
            "digits "
            "give its unit (8, 16, 32 or 64 bits), and a register is assembled from the bytes at "
            "its address, little-endian. A register only partly in the dump is named, not "
            "decoded; bytes where no register lies give one (no register) row per run. A line of "
            "no known form, an unknown register name or an address given twice (the later value "
            "counts) is a warning, DUMP:LINE: warning:, and exit status 1; the rest is still "
            "decoded. A dump larger than 16 MiB, binary bytes, an address beyond 64 bits and a "
            "value wider than its unit are exit status 2, with nothing written. --base is a number "
            "written as the tool's --help says.\n\n"
            "Example: what changed in GPIO 29's registers between two GDB dumps (x/2xw "
            "0x400140e8):\n"
            "  K732-118-labels dump rp2040.svd before.txt --diff after.txt\n"
            "The same as JSON, one object a register:\n"
            "  K732-118-labels dump --json rp2040.svd before.txt --diff after.txt"));
    const QCommandLineOption changed(
            QStringLiteral("changed"),
            QStringLiteral("Only the registers, and the fields, whose values differ from reset."));
    const QCommandLineOption diff(
            QStringLiteral("diff"),
            QStringLiteral("Only what differs between DUMP and DUMP2: each register whose value "
                           "differs, as reg --diff shows it, and the registers found in one "
                           "dump only."),
            QStringLiteral("DUMP2"));
    const QCommandLineOption base(
            QStringLiteral("base"),
            QStringLiteral("Add ADDRESS to every address of the dumps: for dumps written as "
                           "offsets (Linux regmap's 004: 00000083)."),
            QStringLiteral("ADDRESS"));
    const QCommandLineOption bigEndian(
            QStringLiteral("big-endian"),
            QStringLiteral("Assemble registers from bytes most significant first."));
    const QCommandLineOption json(
            QStringLiteral("json"),
            QStringLiteral("One JSON object a register instead of rows (JSON Lines), as reg "
                           "--json writes it (with --changed, the fields that differ from reset; "
                           "with --diff, as reg --json --diff). A register the dump does not give "
                           "whole, or gives in one dump only, has no fields and a note key with "
                           "what the rows say (its value, or old and new, null where not given "
                           "whole); a run of bytes of no register has register, access, reset, "
                           "resetMask and value null, its size in bits and the note \"no "
                           "register: N bytes\"."));
    parser.addOptions({ changed, diff, base, bigEndian, json });
    parser.addPositionalArgument(
            QStringLiteral("SVD"),
            QStringLiteral("The device description (.svd); - reads standard input."));
    parser.addPositionalArgument(QStringLiteral("DUMP"),
                                 QStringLiteral("The dump; - or none reads standard input."),
                                 QStringLiteral("[DUMP]"));
    const DescriptionOptions description(parser);
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    QStringList positional = parser.positionalArguments();
    if (!description.resolve(command, &positional))
        return ExitUnusable;
    if (positional.isEmpty() || positional.size() > 2)
        return usageError(command, QStringLiteral("SVD and at most one DUMP are needed"));
    const QString &path = positional.at(0);
    const QString dumpPath = positional.value(1, QStringLiteral("-"));
    if (parser.isSet(changed) && parser.isSet(diff))
        return usageError(command,
                          QStringLiteral("--changed decodes one dump; --diff compares two"));
    int fromStandardInput = 0;
    for (const QString &name :
         { path, dumpPath, parser.isSet(diff) ? parser.value(diff) : QString() })
        fromStandardInput += isStandardStream(name) ? 1 : 0;
    if (fromStandardInput > 1)
        return usageError(command, QStringLiteral("standard input (-) can be read only once"));
    DumpOptions options;
    if (parser.isSet(base) && !parseNumber(parser.value(base), &options.base))
        return usageError(command,
                          QStringLiteral("'%1' is no address (decimal, 0x hexadecimal or 0b "
                                         "binary, up to 64 bits)")
                                  .arg(parser.value(base)));
    const bool big = parser.isSet(bigEndian);

    keepFreedMemory();
    QByteArray xml;
    QString error;
    if (!readSvdFile(path, &xml, &error))
        return fileError(path, error);
    SvdRegisters registers;
    if (!loadSvdRegisters(path, xml, nullptr, nullptr, &registers, SvdDescriptions::Skip))
        return ExitUnusable;
    xml.clear();
    const RegisterIndex index(registers);
    DumpBytes dump = loadDump(dumpPath, options, index, big);
    if (!dump.error.isEmpty()) {
        printErr(dump.error + u'\n');
        return ExitUnusable;
    }
    Output output;
    output.json = parser.isSet(json);
    output.aligned = !output.json && alignedOutput();
    if (!parser.isSet(diff))
        return decodeDump(&dump, index, big, parser.isSet(changed), output);
    DumpBytes other = loadDump(parser.value(diff), options, index, big);
    if (!other.error.isEmpty()) {
        printErr(other.error + u'\n');
        return ExitUnusable;
    }
    return diffDumps(&dump, &other, index, big, output);
}
