// SPDX-License-Identifier: MIT
// reg: a register's value field by field from its description, two values compared, or a value
// composed from field values.
#include "devices.h"
#include "labeltool.h"
#include "svdregisters.h"

#include <QCommandLineParser>

#include <algorithm>

namespace {

// Whether a peripheral of that name (as the file writes it, "GPIO%s" for an array) can hold the
// register asked for, whose name (case-folded) the context points to. Too many is harmless: the
// peripheral is only read in full.
bool holdsRegister(const QString &peripheral, const void *context)
{
    const QString &wanted = *static_cast<const QString *>(context);
    if (!peripheral.contains(QLatin1String("%s")))
        return wanted.startsWith(peripheral.toCaseFolded() + u'.');
    // Each %s stands for at least one character. Each part is placed at its first place after
    // the one before, which leaves the most room for the rest: one pass, however many parts.
    const QStringList parts = peripheral.toCaseFolded().split(QLatin1String("%s"));
    if (!wanted.startsWith(parts.front()))
        return false;
    qsizetype at = parts.front().size();
    for (qsizetype k = 1; k < parts.size(); ++k) {
        const QString part = k + 1 == parts.size() ? parts.at(k) + u'.' : parts.at(k);
        at = wanted.indexOf(part, at + 1);
        if (at < 0)
            return false;
        at += part.size();
    }
    return true;
}

// The entry of the field's container that names value; nullptr when there is none, or no
// container (field.enumeration() tells the two apart).
const SvdEnumeratedValue *namingEntry(const SvdField &field, quint64 value, bool write)
{
    const SvdEnumeration *enumeration = field.enumeration(write);
    return enumeration ? enumeration->match(value) : nullptr;
}

// A field's value and its enumerated name in JSON; the name null where the field names none.
QPair<QString, QString> fieldValueJson(const SvdField &field, quint64 registerValue, bool write)
{
    const quint64 value = field.valueIn(registerValue);
    const SvdEnumeratedValue *entry = namingEntry(field, value, write);
    return { jsonHex(value, field.width), entry ? jsonString(entry->name) : jsonNull };
}

// The set bits of value that no field covers, in JSON: null when there are none.
QString uncoveredJson(const SvdRegister &reg, const QList<SvdField> &fields, quint64 value)
{
    quint64 covered = 0;
    for (const SvdField &field : fields)
        covered |= field.mask();
    const quint64 stray = value & ~covered & reg.valueMask();
    return stray ? jsonHex(stray, reg.size) : jsonNull;
}

// The warning for set bits that no field covers (nothing when there are none); whether it was
// said.
bool warnUncovered(const QString &path, const SvdRegister &reg, const QList<SvdField> &fields,
                   quint64 value, const QString &which)
{
    quint64 covered = 0;
    for (const SvdField &field : fields)
        covered |= field.mask();
    const quint64 stray = value & ~covered;
    if (!stray)
        return false;
    QStringList bits;
    for (int bit = reg.size - 1; bit >= 0; --bit) {
        if ((stray >> bit) & 1)
            bits.append(QString::number(bit));
    }
    const bool one = bits.size() == 1;
    printErr(QStringLiteral("%1:%2: warning: %3: %4 sets %5 %6, which no field covers\n")
                     .arg(shownPath(path), QString::number(reg.line), reg.name, which,
                          one ? QStringLiteral("bit") : QStringLiteral("bits"),
                          bits.join(QLatin1String(", "))));
    return true;
}

// The hexadecimal, decimal and enumerated name cells of a field's value.
void writeValueCells(Rows *rows, const SvdField &field, quint64 registerValue, bool write)
{
    const quint64 value = field.valueIn(registerValue);
    rows->hexCell(value, field.width);
    rows->numberCell(value);
    if (const SvdEnumeration *enumeration = field.enumeration(write)) {
        const SvdEnumeratedValue *entry = enumeration->match(value);
        if (entry)
            rows->cell(entry->name);
        else
            rows->cell(QLatin1String("(unnamed)"));
    } else {
        rows->cell(QLatin1String());
    }
}

void writeAccessCell(Rows *rows, const QString &access, const QString &modifiedWriteValues,
                     const QString &readAction)
{
    if (modifiedWriteValues.isEmpty() && readAction.isEmpty())
        rows->cell(access);
    else
        rows->cell(accessText(access, modifiedWriteValues, readAction));
}

// A register's header row up to its last cell, which the caller gives and ends: name, address,
// size, access, reset value and mask.
void writeHeader(Rows *rows, const SvdRegister &reg)
{
    rows->beginRow(Rows::Heading);
    rows->cell(reg.name);
    rows->hexCell(reg.address, 32);
    char text[2 * 66 + 16];
    qsizetype size = writeDecimal(text, quint64(reg.size));
    const QLatin1String unit(reg.size == 1 ? " bit" : " bits");
    std::copy(unit.begin(), unit.end(), text + size);
    rows->cell(QLatin1String(text, size + unit.size()));
    writeAccessCell(rows, reg.access, reg.modifiedWriteValues, reg.readAction);
    const QLatin1String reset("reset ");
    const QLatin1String mask(" mask ");
    size = std::copy(reset.begin(), reset.end(), text) - text;
    size += writeHex(text + size, reg.resetValue, reg.size);
    size = std::copy(mask.begin(), mask.end(), text + size) - text;
    size += writeHex(text + size, reg.resetMask, reg.size);
    rows->cell(QLatin1String(text, size));
}

quint64 coveredBits(const FieldOrder &fields)
{
    quint64 covered = 0;
    for (const SvdField *field : fields)
        covered |= field->mask();
    return covered;
}

// Each run of bits that no field covers and that holds a bit of bits, least significant first,
// as a field of its lsb and width.
template<typename Write>
void forEachUncoveredRun(const SvdRegister &reg, quint64 covered, quint64 bits, Write write)
{
    for (int bit = 0; bit < reg.size;) {
        if ((covered >> bit) & 1) {
            ++bit;
            continue;
        }
        int end = bit;
        while (end < reg.size && !((covered >> end) & 1))
            ++end;
        const quint64 run = (end - bit >= 64 ? ~quint64(0) : (quint64(1) << (end - bit)) - 1)
                << bit;
        if (bits & run) {
            SvdField field;
            field.lsb = bit;
            field.width = end - bit;
            write(field);
        }
        bit = end;
    }
}

} // namespace

void decodedRegister(const SvdRegister &reg, quint64 value, bool write, bool changedOnly,
                     Rows *rows)
{
    SvdField whole;
    FieldOrder fields;
    orderFields(reg, &whole, &fields);
    const quint64 differs = (value ^ reg.resetValue) & reg.resetMask;
    writeHeader(rows, reg);
    rows->beginCell();
    bool same = true;
    for (const SvdField *field : fields) {
        if (differs & field->mask()) {
            rows->append(same ? QLatin1String("differs from reset: ") : QLatin1String(", "));
            rows->append(field->name);
            same = false;
        }
    }
    if (same)
        rows->append(QLatin1String("as at reset"));
    rows->endRow();
    for (const SvdField *field : fields) {
        if (changedOnly && !(differs & field->mask()))
            continue;
        rows->beginRow(Rows::Field);
        rows->bitRangeCell(field->lsb, field->width);
        rows->cell(field->name);
        writeValueCells(rows, *field, value, write);
        writeAccessCell(rows, field->access, field->modifiedWriteValues, field->readAction);
        rows->endRow();
    }
    const quint64 covered = coveredBits(fields);
    forEachUncoveredRun(reg, covered, changedOnly ? differs : value, [&](const SvdField &run) {
        rows->beginRow(Rows::Field);
        rows->bitRangeCell(run.lsb, run.width);
        rows->cell(QLatin1String("(no field)"));
        writeValueCells(rows, run, value, write);
        rows->cell(QLatin1String());
        rows->endRow();
    });
}

QString decodedRegister(const SvdRegister &reg, quint64 value, bool write, bool changedOnly)
{
    Rows rows(false);
    decodedRegister(reg, value, write, changedOnly, &rows);
    return QString::fromUtf8(rows.text());
}

void comparedRegister(const SvdRegister &reg, quint64 before, quint64 after, bool write, Rows *rows)
{
    SvdField whole;
    FieldOrder fields;
    orderFields(reg, &whole, &fields);
    const quint64 changed = before ^ after;
    const auto count = std::count_if(fields.cbegin(), fields.cend(), [&](const SvdField *field) {
        return (changed & field->mask()) != 0;
    });
    writeHeader(rows, reg);
    rows->beginCell();
    rows->appendHex(before, reg.size);
    rows->append(u" → ");
    rows->appendHex(after, reg.size);
    rows->append(count == 1 ? QStringLiteral(": 1 field differs")
                            : QStringLiteral(": %1 fields differ").arg(count));
    rows->endRow();
    const auto writeRow = [&](const SvdField &field, const QString &name) {
        rows->beginRow(Rows::Field);
        rows->bitRangeCell(field.lsb, field.width);
        rows->cell(name);
        writeValueCells(rows, field, before, write);
        rows->cell(u"→");
        writeValueCells(rows, field, after, write);
        rows->endRow();
    };
    for (const SvdField *field : fields) {
        if (changed & field->mask())
            writeRow(*field, field->name);
    }
    const QString noField = QStringLiteral("(no field)");
    forEachUncoveredRun(reg, coveredBits(fields), changed,
                        [&](const SvdField &run) { writeRow(run, noField); });
}

QString jsonHex(quint64 value, int bits)
{
    return jsonString(hexDigits(value, bits));
}

QString uncoveredJson(const SvdRegister &reg, quint64 value)
{
    return uncoveredJson(reg, fieldsOf(reg), value);
}

JsonObject registerJson(const SvdRegister &reg)
{
    JsonObject object;
    object.add(QLatin1String("register"), jsonString(reg.name))
            .add(QLatin1String("address"), jsonHex(reg.address, 32))
            .add(QLatin1String("size"), QString::number(reg.size))
            .add(QLatin1String("access"), jsonStringOrNull(reg.access))
            .add(QLatin1String("reset"), jsonHex(reg.resetValue, reg.size))
            .add(QLatin1String("resetMask"), jsonHex(reg.resetMask, reg.size));
    return object;
}

QString fieldJson(const SvdField &field, const QString &value, const QString &enumName)
{
    return JsonObject()
            .add(QLatin1String("name"), jsonString(field.name))
            .add(QLatin1String("msb"), QString::number(field.lsb + field.width - 1))
            .add(QLatin1String("lsb"), QString::number(field.lsb))
            .add(QLatin1String("value"), value)
            .add(QLatin1String("enum"), enumName)
            .add(QLatin1String("access"), jsonStringOrNull(field.access))
            .text();
}

QString decodedRegisterJson(const SvdRegister &reg, quint64 value, bool write, bool changedOnly)
{
    const QList<SvdField> fields = fieldsOf(reg);
    const quint64 differs = (value ^ reg.resetValue) & reg.resetMask;
    QStringList shown;
    for (const SvdField &field : fields) {
        if (!changedOnly || (differs & field.mask())) {
            const auto [fieldValue, name] = fieldValueJson(field, value, write);
            shown.append(fieldJson(field, fieldValue, name));
        }
    }
    return registerJson(reg)
                   .add(QLatin1String("value"), jsonHex(value, reg.size))
                   .add(QLatin1String("fields"), jsonArray(shown))
                   .add(QLatin1String("uncovered"), uncoveredJson(reg, fields, value))
                   .text()
            + u'\n';
}

QString comparedRegisterJson(const SvdRegister &reg, quint64 before, quint64 after, bool write)
{
    const QList<SvdField> fields = fieldsOf(reg);
    QStringList shown;
    for (const SvdField &field : fields) {
        if (!((before ^ after) & field.mask()))
            continue;
        const auto [oldValue, oldName] = fieldValueJson(field, before, write);
        const auto [newValue, newName] = fieldValueJson(field, after, write);
        shown.append(
                fieldJson(field, jsonOldNew(oldValue, newValue), jsonOldNew(oldName, newName)));
    }
    return registerJson(reg)
                   .add(QLatin1String("value"),
                        jsonOldNew(jsonHex(before, reg.size), jsonHex(after, reg.size)))
                   .add(QLatin1String("fields"), jsonArray(shown))
                   .add(QLatin1String("uncovered"),
                        jsonOldNew(uncoveredJson(reg, fields, before),
                                   uncoveredJson(reg, fields, after)))
                   .text()
            + u'\n';
}

namespace {

// Rows for a person on a terminal, tab-separated rows for scripts, or JSON.
enum class Form { Rows, Json };

int decode(const QString &path, const SvdRegister &reg, quint64 value, bool write, Form form)
{
    if (form == Form::Json) {
        printOut(decodedRegisterJson(reg, value, write, false));
    } else {
        Rows rows(alignedOutput());
        decodedRegister(reg, value, write, false, &rows);
        printOut(rows.text());
    }
    return warnUncovered(path, reg, fieldsOf(reg), value, hexDigits(value, reg.size)) ? ExitFindings
                                                                                      : ExitClean;
}

int compare(const QString &path, const SvdRegister &reg, quint64 before, quint64 after, bool write,
            Form form)
{
    if (form == Form::Json) {
        printOut(comparedRegisterJson(reg, before, after, write));
    } else {
        Rows rows(alignedOutput());
        comparedRegister(reg, before, after, write, &rows);
        printOut(rows.text());
    }
    const QList<SvdField> fields = fieldsOf(reg);
    const bool strayBefore = warnUncovered(path, reg, fields, before, hexDigits(before, reg.size));
    // The same value twice has the same stray bits: said once.
    const bool strayAfter = after != before
            ? warnUncovered(path, reg, fields, after, hexDigits(after, reg.size))
            : strayBefore;
    return strayBefore || strayAfter ? ExitFindings : ExitClean;
}

// The value of one FIELD=VALUE, or an empty text and why in error. VALUE is a number (decimal,
// 0x hexadecimal or 0b binary) or an enumerated name, told apart by their form: "2mA" is a name.
// What reads both ways with different values is refused, saying both; name:NAME is the name
// alone.
bool fieldValue(const SvdRegister &reg, const SvdField &field, const QString &given, quint64 *value,
                QString *error)
{
    if (field.access == QLatin1String("read-only")) {
        *error = QStringLiteral("%1: field %2 is read-only").arg(reg.name, field.name);
        return false;
    }
    const quint64 largest = field.mask() >> field.lsb;
    const SvdEnumeration *enumeration = field.enumeration(true);
    if (!enumeration && !field.enumerations.isEmpty())
        enumeration = &field.enumerations.constFirst();
    const QLatin1String namePrefix("name:");
    const bool onlyName = given.startsWith(namePrefix, Qt::CaseInsensitive);
    const QString name = onlyName ? given.mid(namePrefix.size()) : given;
    const SvdEnumeratedValue *named = nullptr;
    QStringList names;
    if (enumeration) {
        for (const SvdEnumeratedValue &entry : enumeration->values) {
            if (!named && entry.name.compare(name, Qt::CaseInsensitive) == 0)
                named = &entry;
            names.append(entry.name);
        }
    }
    quint64 number = 0;
    const bool isNumber = !onlyName && parseNumber(given, &number);
    // A don't-care bit is written as 0.
    const quint64 namedValue = named ? named->value & named->care & largest : 0;
    if (isNumber && named && (named->isDefault || namedValue != number)) {
        *error = QStringLiteral("%1: %2 of field %3 is both the number %4 and the enumerated value "
                                "%5 (%6): write the number as %7, or the name as name:%5")
                         .arg(reg.name, given, field.name, QString::number(number), named->name,
                              named->isDefault ? QStringLiteral("the default")
                                               : hexDigits(namedValue, field.width),
                              hexDigits(number, 1));
        return false;
    }
    if (isNumber || (!named && !onlyName && !given.isEmpty() && given.front().isDigit())) {
        if (!isNumber || number > largest) {
            *error = QStringLiteral("%1: %2 does not fit field %3, %4 wide (0 … %5)")
                             .arg(reg.name, given, field.name,
                                  counted(field.width, QStringLiteral("bit"),
                                          QStringLiteral("bits")),
                                  QString::number(largest));
            return false;
        }
        *value = number;
        return true;
    }
    if (named && named->isDefault) {
        *error = QStringLiteral("%1: %2 of field %3 names the values no other name names, not one "
                                "value")
                         .arg(reg.name, named->name, field.name);
        return false;
    }
    if (named) {
        *value = namedValue;
        return true;
    }
    *error = names.isEmpty()
            ? QStringLiteral("%1: %2 is no number, and field %3 has no enumerated values")
                      .arg(reg.name, given, field.name)
            : QStringLiteral("%1: %2 is no enumerated value of field %3 (%4)")
                      .arg(reg.name, name, field.name, names.join(QLatin1String(", ")));
    return false;
}

} // namespace

bool composedValue(const SvdRegister &reg, quint64 start, const QStringList &assignments,
                   quint64 *value, QString *error)
{
    const QList<SvdField> fields = fieldsOf(reg);
    quint64 composed = start;
    for (const QString &assignment : assignments) {
        const qsizetype equals = assignment.indexOf(u'=');
        const QString name = assignment.left(equals).trimmed();
        const QString given = assignment.mid(equals + 1).trimmed();
        const auto field = std::find_if(fields.cbegin(), fields.cend(), [&](const SvdField &f) {
            return f.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (field == fields.cend()) {
            QStringList names;
            for (const SvdField &candidate : fields)
                names.append(candidate.name);
            *error = QStringLiteral("%1 has no field \"%2\"%3")
                             .arg(reg.name, name, didYouMean(names, name));
            return false;
        }
        quint64 fieldBits = 0;
        if (!fieldValue(reg, *field, given, &fieldBits, error))
            return false;
        composed = (composed & ~field->mask()) | (fieldBits << field->lsb);
    }
    *value = composed & reg.valueMask();
    return true;
}

namespace {

int compose(const QString &path, const SvdRegister &reg, quint64 start,
            const QStringList &assignments, Form form)
{
    quint64 value = 0;
    QString error;
    if (!composedValue(reg, start, assignments, &value, &error))
        return fileError(path, error);
    // As JSON, the value composed decoded, as every other object of reg is.
    if (form == Form::Json) {
        printOut(decodedRegisterJson(reg, value, false, false));
        return ExitClean;
    }
    printOut(QStringLiteral("%1\n%2\n%3\n")
                     .arg(hexDigits(value, reg.size))
                     .arg(value)
                     .arg(binaryDigits(value, reg.size)));
    return ExitClean;
}

} // namespace

int runReg(const QStringList &arguments)
{
    const QString command = QStringLiteral("reg");
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Decodes VALUE of a register of a CMSIS-SVD device description: a header line (the "
            "register, its address, size, access, reset value and mask, and the fields whose "
            "value differs from reset), then one line per field, most significant first: its "
            "bits, name, value in hexadecimal and decimal, enumerated name and access, "
            "tab-separated (on a terminal, in aligned columns); then the bits no field covers "
            "that are set, with a warning (exit status 1). With FIELD=VALUE arguments it composes "
            "a value instead, from the reset "
            "value (or --from), and prints it in hexadecimal, decimal and binary; VALUE is a "
            "number or an enumerated name (without case), told apart by their form (2mA is a "
            "name). A VALUE that is both, with different values (a field whose names are 1, 2, "
            "4), is refused: write the number as 0x4 or 0b100, or the name as name:4. REGISTER "
            "is named as import-svd names "
            "its set (PERIPHERAL.REGISTER, PERIPHERAL.CLUSTER.REGISTER), without case, or given "
            "by its address: an argument that is a number is an address. Numbers are written as "
            "the tool's --help says.\n\n"
            "Example: GPIO 29's control register at 0x3005, field by field, then as JSON:\n"
            "  K732-118-labels reg rp2040.svd IO_BANK0.GPIO29_CTRL 0x0000_3005\n"
            "  K732-118-labels reg --json rp2040.svd IO_BANK0.GPIO29_CTRL 0x3005"));
    const QCommandLineOption write(QStringLiteral("write"),
                                   QStringLiteral("Name the values as written to the register "
                                                  "(the write enumerated values), not as read "
                                                  "back."));
    const QCommandLineOption diff(QStringLiteral("diff"),
                                  QStringLiteral("Show the fields whose values differ between "
                                                 "VALUE and VALUE2, old and new."),
                                  QStringLiteral("VALUE2"));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("Compose from VALUE instead of the reset value."),
                                  QStringLiteral("VALUE"));
    const QCommandLineOption json(
            QStringLiteral("json"),
            QStringLiteral("One JSON object instead of rows (JSON Lines): keys register, "
                           "address, size (bits), access, reset, resetMask, value, fields (each "
                           "name, msb, lsb, value, enum, access) and uncovered (the set bits that "
                           "no field covers, or null). Values, addresses and masks are \"0x…\" "
                           "strings; enum is null where the field names no value. With --diff, "
                           "value, uncovered and each field's value and enum are {\"old\": …, "
                           "\"new\": …}, and fields holds the fields that differ. Composing, "
                           "the value composed, decoded."));
    parser.addOptions({ write, diff, from, json });
    parser.addPositionalArgument(
            QStringLiteral("SVD"),
            QStringLiteral("The device description (.svd); - reads standard input."));
    parser.addPositionalArgument(
            QStringLiteral("REGISTER"),
            QStringLiteral("PERIPHERAL.REGISTER, or an address (0x4002_0000)."));
    parser.addPositionalArgument(
            QStringLiteral("VALUE"),
            QStringLiteral("A number within the register's size; or FIELD=VALUE... to "
                           "compose."),
            QStringLiteral("VALUE | FIELD=VALUE..."));
    const DescriptionOptions description(parser);
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    QStringList positional = parser.positionalArguments();
    if (!description.resolve(command, &positional))
        return ExitUnusable;
    if (positional.size() < 3)
        return usageError(command,
                          QStringLiteral("SVD, REGISTER and VALUE (or FIELD=VALUE...) "
                                         "are needed"));
    const QString &path = positional.at(0);
    const QString &registerName = positional.at(1);
    const QStringList rest = positional.mid(2);
    const bool composing = rest.first().contains(u'=');
    for (const QString &argument : rest) {
        if (argument.contains(u'=') != composing || (!composing && rest.size() > 1))
            return usageError(command,
                              QStringLiteral("either one VALUE or FIELD=VALUE "
                                             "arguments"));
    }
    if (composing && parser.isSet(diff))
        return usageError(command, QStringLiteral("--diff compares two values; it composes none"));
    if (!composing && parser.isSet(from))
        return usageError(command, QStringLiteral("--from is for FIELD=VALUE arguments"));
    const auto number = [&](const QString &text, quint64 *value) {
        if (parseNumber(text, value))
            return true;
        usageError(command,
                   QStringLiteral("'%1' is no value (decimal, 0x hexadecimal or 0b binary, '_' "
                                  "between digits, up to 64 bits)")
                           .arg(escapedField(text)));
        return false;
    };
    quint64 value = 0;
    quint64 other = 0;
    quint64 start = 0;
    if ((!composing && !number(rest.first(), &value))
        || (parser.isSet(diff) && !number(parser.value(diff), &other))
        || (parser.isSet(from) && !number(parser.value(from), &start)))
        return ExitUnusable;

    quint64 address = 0;
    // A REGISTER written as a number is an address; anything else, a name.
    const bool byAddress = parseNumber(registerName, &address);
    const QString folded = registerName.toCaseFolded();
    QByteArray xml;
    QString error;
    if (!readSvdFile(path, &xml, &error))
        return fileError(path, error);
    SvdRegisters registers;
    if (!loadSvdRegisters(path, xml, byAddress ? nullptr : holdsRegister, &folded, &registers,
                          SvdDescriptions::Skip))
        return ExitUnusable;
    const QList<const SvdRegister *> found = byAddress ? SvdAddressIndex(registers).at(address)
                                                       : SvdNameIndex(registers).all(registerName);
    const SvdRegister *reg = found.isEmpty() ? nullptr : found.constFirst();
    QStringList alike;
    for (qsizetype k = 1; k < found.size(); ++k) {
        const SvdRegister &candidate = *found.at(k);
        // By name, another register may be anywhere: where it is tells the two apart.
        alike.append(byAddress ? candidate.name
                               : QStringLiteral("%1 at %2 (line %3)")
                                         .arg(candidate.name, hexDigits(candidate.address, 32))
                                         .arg(candidate.line));
    }
    if (!reg) {
        if (byAddress)
            return fileError(path, QStringLiteral("no register at %1").arg(hexDigits(address, 32)));
        // The names of every peripheral's registers, to say which come near.
        if (!loadSvdRegisters(path, xml, nullptr, nullptr, &registers, SvdDescriptions::Skip))
            return ExitUnusable;
        QStringList names;
        for (const SvdRegister &candidate : std::as_const(registers.registers))
            names.append(candidate.name);
        // A register left out of the description says why.
        for (const QString &note : std::as_const(registers.notes)) {
            if (note.startsWith(registerName + QLatin1String(": "), Qt::CaseInsensitive))
                printErr(QStringLiteral("%1: note: %2\n").arg(shownPath(path), note));
        }
        return fileError(path,
                         QStringLiteral("no register \"%1\"%2")
                                 .arg(registerName, didYouMean(names, registerName)));
    }
    if (!alike.isEmpty())
        printErr(byAddress ? QStringLiteral("%1: note: %2 is also at %3\n")
                                     .arg(shownPath(path), alike.join(QLatin1String(", ")),
                                          hexDigits(address, 32))
                           : QStringLiteral("%1: note: %2 is the register at %3 (line %4); the "
                                            "name also fits %5\n")
                                     .arg(shownPath(path), reg->name, hexDigits(reg->address, 32),
                                          QString::number(reg->line),
                                          alike.join(QLatin1String(", "))));
    for (const quint64 given : { value, other, start }) {
        if (given & ~reg->valueMask())
            return usageError(command,
                              QStringLiteral("%1 does not fit %2, whose size is %3")
                                      .arg(hexDigits(given, 1), reg->name,
                                           counted(reg->size, QStringLiteral("bit"),
                                                   QStringLiteral("bits"))));
    }
    const Form form = parser.isSet(json) ? Form::Json : Form::Rows;
    if (composing)
        return compose(path, *reg, parser.isSet(from) ? start : reg->resetValue, rest, form);
    if (parser.isSet(diff))
        return compare(path, *reg, value, other, parser.isSet(write), form);
    return decode(path, *reg, value, parser.isSet(write), form);
}
