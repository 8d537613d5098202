// Turning one label set, as the settings file holds it, into the labels of the bits.
#include "labeldecoding.h"

#include <QMetaType>
#include <QStringView>

namespace {

bool isBlank(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

qsizetype labelBitIndex(const QVariant &value, qsizetype labelCount)
{
    // QVariant::toInt would do for most values, but it wraps numbers beyond the int range onto
    // other bits ("4294967297" gives 1) and reads through lists; the text is parsed here instead.
    if (value.metaType() != QMetaType::fromType<QString>())
        return 0;
    const QString text = value.toString();
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;

    bool negative = false;
    if (begin < end && (text.at(begin) == u'+' || text.at(begin) == u'-')) {
        negative = text.at(begin) == u'-';
        ++begin;
    }
    if (begin == end)
        return 0;
    for (qsizetype i = begin; i < end; ++i) {
        if (!isDigit(text.at(i)))
            return 0;
    }

    while (begin < end - 1 && text.at(begin) == u'0')
        ++begin;
    // Ten digits hold every value up to 9999999999, far above any list length this can see;
    // a longer number is out of range whatever it is.
    if (end - begin > 10)
        return -1;
    qint64 number = 0;
    for (qsizetype i = begin; i < end; ++i)
        number = number * 10 + (text.at(i).unicode() - u'0');
    if ((negative && number != 0) || number >= labelCount)
        return -1;
    return qsizetype(number);
}

QStringList decodeLabelSet(const QStringList &keys, const QList<QVariant> &values)
{
    QStringList labels = keys;
    const qsizetype count = keys.size();
    for (qsizetype i = 0; i < count; ++i) {
        const QVariant value = i < values.size() ? values.at(i) : QVariant();
        const qsizetype bit = labelBitIndex(value, count);
        if (bit >= 0)
            labels[bit] = keys.at(i);
    }
    return labels;
}
