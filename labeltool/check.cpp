// check: every line of a label file that makes the window show something other than it seems to
// say.
//
// What the window shows comes from its own reader; the pass over the lines here only finds out
// which line is behind each key, so that a finding can point at it.
#include "inisplice.h"
#include "labeldecoding.h"
#include "labeltool.h"

#include <QCommandLineParser>
#include <QHash>
#include <QSettings>
#include <QStringDecoder>
#include <QVariant>

#include <algorithm>
#include <memory>

namespace {

struct LabelLine
{
    qint64 line = 0;
    QString label;
    QVariant value;
    QString valueText; // as written, for the messages
};

struct SetLines
{
    qint64 firstLine = 0;
    QList<LabelLine> labels; // in file order
};

struct HeaderLine
{
    qint64 line = 0;
    QString name;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

QByteArrayView trimmed(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && isBlank(bytes.front()))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && isBlank(bytes.back()))
        bytes.chop(1);
    return bytes;
}

// A key or section name as the settings class reads it: '\' separates groups, %XX and %UXXXX
// name a UTF-16 unit, other bytes are UTF-8.
QString unescapedKey(QByteArrayView bytes)
{
    QString result;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const char c = bytes.at(i);
        if (c == '\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (c == '%' && i + 1 < bytes.size()) {
            qsizetype first = i + 1;
            qsizetype digits = 2;
            if (bytes.at(first) == 'U') {
                ++first;
                digits = 4;
            }
            if (first + digits <= bytes.size()) {
                bool ok = false;
                const uint code = bytes.sliced(first, digits).toByteArray().toUInt(&ok, 16);
                if (ok) {
                    result += QChar(char16_t(code));
                    i = first + digits;
                    continue;
                }
            }
        }
        qsizetype end = i + 1;
        while (end < bytes.size() && bytes.at(end) != '\\' && bytes.at(end) != '%')
            ++end;
        result += QString::fromUtf8(bytes.sliced(i, end - i));
        i = end;
    }
    return result;
}

QStringList keyParts(const QString &section, const QString &key)
{
    QStringList parts = section.split(u'/', Qt::SkipEmptyParts);
    parts += key.split(u'/', Qt::SkipEmptyParts);
    return parts;
}

int editDistance(const QString &a, const QString &b)
{
    QList<int> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1,
                                diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

QString quoted(const QString &text)
{
    return u'"' + text + u'"';
}

class Checker
{
public:
    explicit Checker(const OpenedLabelFile &file) : file(file) { }

    LabelFileCheck run()
    {
        readLines();
        LabelFileCheck result;
        result.shown = file.sets;
        for (qsizetype k = 0; k < file.sets.names.size(); ++k)
            checkSet(file.sets.names.at(k), file.sets.labels.at(k));
        if (file.sets.names.isEmpty() && !hasLabelGroup)
            checkSectionNames();
        std::stable_sort(
                warnings.begin(), warnings.end(),
                [](const CheckWarning &a, const CheckWarning &b) { return a.line < b.line; });
        result.warnings = warnings;
        return result;
    }

private:
    void warn(qint64 line, const QString &message) { warnings.append({ line, message }); }

    // The value as the window reads it: plain text is read here; quotes, lists, escapes, variants
    // and continued lines are left to the settings class itself.
    QVariant valueOf(QByteArrayView raw, bool continued, const QStringList &parts)
    {
        const QByteArrayView text = trimmed(raw);
        const bool plain = !continued && !text.startsWith('@') && !text.contains('"')
                && !text.contains(',') && !text.contains('\\');
        if (plain)
            return QString::fromUtf8(text);
        if (!settings)
            settings = std::make_unique<QSettings>(file.text.path, QSettings::IniFormat);
        return settings->value(parts.join(u'/'));
    }

    QByteArrayView lineText(const IniLine &line) const
    {
        return QByteArrayView(file.text.bytes).sliced(line.begin, line.contentEnd - line.begin);
    }

    void readLines()
    {
        const QByteArray &text = file.text.bytes;
        const QList<IniLine> lines = splitIniLines(text, text.startsWith("\xef\xbb\xbf") ? 3 : 0);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString group = labelGroup();
        QString section;
        bool inGroup = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const qint64 lineNumber = i + 1;
            const IniLine &line = lines.at(i);
            QByteArrayView content = lineText(line);
            if (std::any_of(content.begin(), content.end(), [](char c) { return c & 0x80; })) {
                const QString decoded = utf8.decode(content); // decoding is lazy until assigned
                if (utf8.hasError()) {
                    warn(lineNumber,
                         QStringLiteral("bytes that are not valid UTF-8: the window shows each "
                                        "as U+FFFD"));
                    utf8.resetState();
                }
            }
            content = trimmed(content);
            if (content.isEmpty() || content.startsWith(';'))
                continue;
            if (content.startsWith('[')) {
                qsizetype close = content.indexOf(']');
                if (close < 0)
                    close = content.size();
                section = unescapedKey(trimmed(content.sliced(1, close - 1)));
                headers.append({ lineNumber, section });
                if (section.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0)
                    section.clear();
                else if (section.compare(QLatin1String("%general"), Qt::CaseInsensitive) == 0)
                    section = section.mid(1);
                inGroup = section.split(u'/', Qt::SkipEmptyParts).value(0) == group;
                hasLabelGroup = hasLabelGroup || inGroup;
                continue;
            }
            // A ';' outside quotes ends the line; a '\' at its end continues it on the next.
            const qsizetype semicolon = content.indexOf(';');
            const qsizetype equals = content.indexOf('=');
            if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
                if (inGroup)
                    warn(lineNumber,
                         QStringLiteral("the line has no '=' (or a ';' before it): it is ignored"));
                continue;
            }
            const bool continued = content.endsWith('\\');
            while (i + 1 < lines.size() && lineText(lines.at(i)).endsWith('\\'))
                ++i;
            const QString key = unescapedKey(trimmed(content.first(equals)));
            const QStringList parts = keyParts(section, key);
            if (parts.value(0) != group || parts.size() < 2)
                continue;
            hasLabelGroup = true;
            QByteArrayView raw = content.sliced(equals + 1);
            if (!raw.contains('"') && raw.indexOf(';') >= 0)
                raw = raw.first(raw.indexOf(';'));
            const bool hashLine = content.startsWith('#');
            if (parts.size() == 2) {
                warn(lineNumber,
                     hashLine ? QStringLiteral("'#' starts no comment here: the line is the key "
                                               "%1 directly under [%2], which is ignored")
                                        .arg(quoted(parts.at(1)), group)
                              : QStringLiteral("the key %1 directly under [%2] is ignored: a "
                                               "label is written as set\\label=bit")
                                        .arg(quoted(parts.at(1)), group));
                continue;
            }
            SetLines &set = sets[parts.at(1)];
            if (set.firstLine == 0)
                set.firstLine = lineNumber;
            if (parts.size() > 3) {
                const QString label = parts.mid(2).join(u'/');
                warn(lineNumber,
                     QStringLiteral("%1 holds '/' or '\\', which separate groups: it is no label "
                                    "of set %2")
                             .arg(quoted(label), quoted(parts.at(1))));
                continue;
            }
            if (hashLine)
                warn(lineNumber,
                     QStringLiteral("'#' starts no comment here: the line is the label %1 of set "
                                    "%2")
                             .arg(quoted(parts.at(2)), quoted(parts.at(1))));
            set.labels.append({ lineNumber, parts.at(2), valueOf(raw, continued, parts),
                                QString::fromUtf8(trimmed(raw)) });
        }
    }

    void checkSet(const QString &name, const QStringList &captions)
    {
        const auto found = sets.constFind(name);
        if (found == sets.cend())
            return;
        const SetLines &set = *found;
        // The last line of a label gives its value.
        QHash<QString, qsizetype> last;
        for (qsizetype i = 0; i < set.labels.size(); ++i)
            last.insert(set.labels.at(i).label, i);
        QList<const LabelLine *> effective;
        for (qsizetype i = 0; i < set.labels.size(); ++i) {
            const LabelLine &line = set.labels.at(i);
            const qsizetype winner = last.value(line.label);
            if (winner == i)
                effective.append(&line);
            else
                warn(line.line,
                     QStringLiteral("label %1 of set %2 is given again on line %3, whose value "
                                    "wins")
                             .arg(quoted(line.label), quoted(name))
                             .arg(set.labels.at(winner).line));
        }
        const qsizetype count = captions.size();
        // Only a set read here exactly as the window read it is reasoned about line by line.
        if (effective.size() != count)
            return;
        if (count == 0) {
            warn(set.firstLine,
                 QStringLiteral("set %1 has no labels: every box shows \"Unused\"")
                         .arg(quoted(name)));
            return;
        }

        QList<QList<const LabelLine *>> byBit(count);
        for (const LabelLine *line : std::as_const(effective)) {
            // With no labels to fit, every decimal integer is out of range and anything else is 0.
            if (labelBitIndex(line->value, 0) == 0)
                warn(line->line,
                     QStringLiteral("the value %1 of label %2 is no decimal integer: it counts as "
                                    "bit 0")
                             .arg(quoted(line->valueText), quoted(line->label)));
            const qsizetype bit = labelBitIndex(line->value, count);
            if (bit >= 0) {
                byBit[bit].append(line);
                continue;
            }
            const qsizetype shownAt = captions.indexOf(line->label);
            QString where = QStringLiteral("it names no bit");
            if (shownAt >= 0)
                where += QStringLiteral(" (it shows on bit %1 only because no label names that "
                                        "bit)")
                                 .arg(shownAt);
            warn(line->line,
                 QStringLiteral("the value %1 of label %2 is outside 0 … %3 for set %4 of %5 "
                                "labels: %6")
                         .arg(quoted(line->valueText), quoted(line->label))
                         .arg(count - 1)
                         .arg(quoted(name))
                         .arg(count)
                         .arg(where));
        }
        for (qsizetype bit = 0; bit < count; ++bit) {
            const QList<const LabelLine *> &namers = byBit.at(bit);
            if (namers.isEmpty()) {
                warn(set.firstLine,
                     QStringLiteral("bit %1 of set %2 is named by no label: it shows %3 instead")
                             .arg(bit)
                             .arg(quoted(name), quoted(captions.at(bit))));
                continue;
            }
            for (const LabelLine *line : namers) {
                if (namers.size() > 1 && line->label != captions.at(bit))
                    warn(line->line,
                         QStringLiteral("label %1 names bit %2 of set %3, as other labels do: "
                                        "the bit shows %4")
                                 .arg(quoted(line->label))
                                 .arg(bit)
                                 .arg(quoted(name), quoted(captions.at(bit))));
            }
            if (bit < 32 && captions.at(bit).size() > longLabelLength)
                warn(namers.constLast()->line,
                     QStringLiteral("label %1 of set %2 is %3 characters long: above %4 the "
                                    "window may be wider than a 1024-pixel screen")
                             .arg(quoted(captions.at(bit)), quoted(name))
                             .arg(captions.at(bit).size())
                             .arg(longLabelLength));
        }
        if (count > 32) {
            QStringList hidden;
            for (qsizetype bit = 32; bit < std::min<qsizetype>(count, 35); ++bit)
                hidden.append(quoted(captions.at(bit)));
            if (count > 35)
                hidden.append(QStringLiteral("…"));
            warn(set.firstLine,
                 QStringLiteral("set %1 has %2 labels but the window has 32 bits: bits 32 … %3 "
                                "(%4) are shown nowhere")
                         .arg(quoted(name))
                         .arg(count)
                         .arg(count - 1)
                         .arg(hidden.join(QStringLiteral(", "))));
        }
    }

    // Without its own section the file shows no set, and the window adds its default set to it.
    void checkSectionNames()
    {
        const QString group = labelGroup();
        for (const HeaderLine &header : std::as_const(headers)) {
            const QString name = header.name.split(u'/', Qt::SkipEmptyParts).value(0);
            QString how;
            if (name.compare(group, Qt::CaseInsensitive) == 0)
                how = QStringLiteral("differs from [%1] only in case").arg(group);
            else if (editDistance(name.toLower(), group) <= 2)
                how = QStringLiteral("is not [%1]").arg(group);
            else
                continue;
            warn(header.line,
                 QStringLiteral("section [%1] %2: the window reads no set from it and adds its "
                                "default set in a new [%3] section")
                         .arg(header.name, how, group));
        }
    }

    const OpenedLabelFile &file;
    std::unique_ptr<QSettings> settings;
    QHash<QString, SetLines> sets;
    QList<HeaderLine> headers;
    QList<CheckWarning> warnings;
    bool hasLabelGroup = false;
};

} // namespace

LabelFileCheck checkLabelFile(const OpenedLabelFile &file)
{
    return Checker(file).run();
}

int runCheck(const QStringList &arguments)
{
    const QString command = QStringLiteral("check");
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Reports each line of a label file that makes the window show something "
                           "other than the line seems to say, as FILE:LINE: warning: MESSAGE on "
                           "standard error, then the number of sets and warnings.\nExit status: 0 "
                           "clean, 1 warnings, 2 a file the window would not read."));
    parser.addPositionalArgument(
            QStringLiteral("FILE"),
            QStringLiteral("The label file (default: K732-118.ini beside this program)."),
            QStringLiteral("[FILE]"));
    if (!parseCommandLine(parser, command, arguments))
        return ExitUnusable;
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return usageError(command, QStringLiteral("one FILE at most"));
    const QString path = positional.value(0, defaultLabelFile());
    const OpenedLabelFile file = openLabelFile(path);
    if (!file.error.isEmpty())
        return fileError(path, file.error);

    const LabelFileCheck result = checkLabelFile(file);
    for (const CheckWarning &warning : result.warnings)
        printErr(QStringLiteral("%1:%2: warning: %3\n")
                         .arg(path)
                         .arg(warning.line)
                         .arg(warning.message));
    const qsizetype sets = result.shown.names.size();
    const qsizetype count = result.warnings.size();
    printOut(QStringLiteral("%1 %2, %3 %4\n")
                     .arg(sets)
                     .arg(sets == 1 ? QStringLiteral("set") : QStringLiteral("sets"))
                     .arg(count)
                     .arg(count == 1 ? QStringLiteral("warning") : QStringLiteral("warnings")));
    return result.warnings.isEmpty() ? ExitClean : ExitFindings;
}
