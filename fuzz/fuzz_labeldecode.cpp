// SPDX-License-Identifier: MIT
// Fuzzes the decoding of one label set: arbitrary keys and values of any type, checked against a
// model of the documented rules that shares no code with the decoder.
#include "fuzzcheck.h"
#include "labeldecoding.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

namespace {

QString takeText(FuzzedDataProvider &data, size_t maxBytes)
{
    const std::string bytes = data.ConsumeRandomLengthString(maxBytes);
    // Raw UTF-16 as often as UTF-8, so that lone surrogates and non-ASCII digits turn up too.
    if (data.ConsumeBool() && bytes.size() >= 2)
        return QString(reinterpret_cast<const QChar *>(bytes.data()), qsizetype(bytes.size() / 2));
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// Text that is nearly a number: the decoder's interesting cases are at the edges of the syntax.
QString takeNumberText(FuzzedDataProvider &data)
{
    static const char *const blanks[] = { "", " ", "\t", "\r\n", "\v\f", "\u00a0" };
    static const char *const signs[] = { "", "-", "+", "--", "+-" };
    QString text = QString::fromUtf8(data.PickValueInArray(blanks));
    text += QString::fromUtf8(data.PickValueInArray(signs));
    text += QString(data.ConsumeIntegralInRange<int>(0, 12), u'0');
    text += QString::number(data.ConsumeIntegral<qint64>());
    text += QString::fromUtf8(data.PickValueInArray(blanks));
    return text;
}

QVariant takeValue(FuzzedDataProvider &data)
{
    switch (data.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return QVariant();
    case 1:
        return takeText(data, 24);
    case 2:
        return takeNumberText(data);
    case 3:
        return QString::number(data.ConsumeIntegralInRange<int>(-2, 70));
    case 4:
        return QStringList { takeNumberText(data), takeText(data, 8) };
    case 5:
        return takeText(data, 16).toUtf8();
    case 6:
        return data.ConsumeIntegral<int>();
    default:
        return data.ConsumeFloatingPoint<double>();
    }
}

// The bit a value names under the documented rules, or -1 for a number outside the set.
qsizetype modelBit(const QVariant &value, qsizetype count)
{
    if (value.metaType() != QMetaType::fromType<QString>())
        return 0;
    static const QRegularExpression number(QStringLiteral(
            "\\A[\\x{20}\\x{09}-\\x{0D}]*([+-]?)0*([0-9]+?)[\\x{20}\\x{09}-\\x{0D}]*\\z"));
    const QRegularExpressionMatch match = number.match(value.toString());
    if (!match.hasMatch())
        return 0;
    const QString digits = match.captured(2);
    if (match.captured(1) == QLatin1String("-") && digits != QLatin1String("0"))
        return -1;
    // Compared as decimal strings of equal length, so that no width of integer can wrap.
    const QString limit = QString::number(count);
    if (digits.size() > limit.size() || (digits.size() == limit.size() && digits >= limit))
        return -1;
    return digits.toLongLong();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size)
{
    FuzzedDataProvider data(bytes, size);
    QStringList keys;
    const int keyCount = data.ConsumeIntegralInRange<int>(0, 48);
    for (int i = 0; i < keyCount; ++i)
        keys.append(takeText(data, 12));
    // Fewer values than keys is allowed (a missing value counts as bit 0); more are ignored.
    QList<QVariant> values;
    const int valueCount = data.ConsumeIntegralInRange<int>(0, keyCount + 2);
    for (int i = 0; i < valueCount; ++i)
        values.append(takeValue(data));

    const QStringList labels = decodeLabelSet(keys, values);

    if (labels.size() != keys.size())
        fail("the label list is not as long as the key list");
    const QSet<QString> keySet(keys.cbegin(), keys.cend());
    for (const QString &label : labels) {
        if (!keySet.contains(label))
            fail("a label that is not one of the set's keys");
    }

    QStringList expected = keys;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QVariant value = values.value(i);
        const qsizetype bit = modelBit(value, keys.size());
        if (labelBitIndex(value, keys.size()) != bit)
            fail("a value decoded to another bit than the rules give");
        if (bit >= 0)
            expected[bit] = keys.at(i);
    }
    if (labels != expected)
        fail("the label list differs from the rules' result");
    return 0;
}
