// SPDX-License-Identifier: MIT
// Turning one label set, as the settings file holds it, into the labels of the bits.
#include "labeldecoding.h"

#include <QMetaType>
#include <QStringView>

namespace {

template<typename Char>
char16_t unit(Char c)
{
    return char16_t(c);
}

template<>
char16_t unit(QChar c)
{
    return c.unicode();
}

template<>
char16_t unit(char c)
{
    return char16_t(uchar(c));
}

template<typename Char>
bool isBlank(Char c)
{
    const char16_t u = unit(c);
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

template<typename Char>
bool isDigit(Char c)
{
    return unit(c) >= u'0' && unit(c) <= u'9';
}

template<typename Char>
qsizetype bitIndex(const Char *text, qsizetype size, qsizetype labelCount)
{
    qsizetype begin = 0;
    qsizetype end = size;
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;

    bool negative = false;
    if (begin < end && (unit(text[begin]) == u'+' || unit(text[begin]) == u'-')) {
        negative = unit(text[begin]) == u'-';
        ++begin;
    }
    if (begin == end)
        return 0;
    for (qsizetype i = begin; i < end; ++i) {
        if (!isDigit(text[i]))
            return 0;
    }

    while (begin < end - 1 && unit(text[begin]) == u'0')
        ++begin;
    // Ten digits hold every value up to 9999999999, far above any list length this can see;
    // a longer number is out of range whatever it is.
    if (end - begin > 10)
        return -1;
    qint64 number = 0;
    for (qsizetype i = begin; i < end; ++i)
        number = number * 10 + (unit(text[i]) - u'0');
    if ((negative && number != 0) || number >= labelCount)
        return -1;
    return qsizetype(number);
}

} // namespace

qsizetype labelBitIndex(QStringView text, qsizetype labelCount)
{
    return bitIndex(text.data(), text.size(), labelCount);
}

qsizetype labelBitIndex(QLatin1String text, qsizetype labelCount)
{
    return bitIndex(text.data(), text.size(), labelCount);
}

qsizetype labelBitIndex(const QVariant &value, qsizetype labelCount)
{
    // QVariant::toInt would do for most values, but it wraps numbers beyond the int range onto
    // other bits ("4294967297" gives 1) and reads through lists; the text is parsed here instead.
    if (value.metaType() != QMetaType::fromType<QString>())
        return 0;
    return labelBitIndex(QStringView(value.toString()), labelCount);
}

QList<qsizetype> labelPositions(const QList<qsizetype> &bits, qsizetype count)
{
    // Each position holds the last key that names it, or its own key: found first, then copied
    // once, rather than copying the keys and overwriting them.
    QList<qsizetype> shown(count);
    for (qsizetype i = 0; i < count; ++i)
        shown[i] = i;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype bit = i < bits.size() ? bits.at(i) : 0;
        if (bit >= 0)
            shown[bit] = i;
    }
    return shown;
}

QStringList placeLabels(const QStringList &keys, const QList<qsizetype> &bits)
{
    QStringList labels;
    labels.reserve(keys.size());
    for (const qsizetype i : labelPositions(bits, keys.size()))
        labels.append(keys.at(i));
    return labels;
}

QStringList decodeLabelSet(const QStringList &keys, const QList<QVariant> &values)
{
    QList<qsizetype> bits;
    bits.reserve(keys.size());
    for (qsizetype i = 0; i < keys.size(); ++i)
        bits.append(labelBitIndex(i < values.size() ? values.at(i) : QVariant(), keys.size()));
    return placeLabels(keys, bits);
}

qsizetype shownCaptionLength(QStringView text)
{
    const qsizetype end = qMin(text.size(), maxShownCaptionLength);
    qsizetype lines = 1;
    qsizetype cut = end;
    for (qsizetype i = 0; i < end; ++i) {
        switch (text.at(i).unicode()) {
        case u'\n':
        case u'\v':
        case u'\f':
        case u'\u0085':
        case u'\u2028':
        case u'\u2029':
            ++lines;
            break;
        case u'\r': // a CR LF pair ends one line
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                continue;
            ++lines;
            break;
        default:
            continue;
        }
        if (lines > maxShownCaptionLines) {
            // The line ends before its break, a CR LF pair before its CR.
            cut = text.at(i) == u'\n' && i > 0 && text.at(i - 1) == u'\r' ? i - 1 : i;
            break;
        }
    }
    if (cut == text.size())
        return cut;
    // A high surrogate without its low one would show as a replacement character.
    if (cut > 0 && text.at(cut - 1).isHighSurrogate())
        --cut;
    return cut;
}

QString shownCaption(const QString &text)
{
    const qsizetype length = shownCaptionLength(text);
    if (length == text.size())
        return text;
    return text.left(length) + u'\u2026';
}
