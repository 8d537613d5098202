// SPDX-License-Identifier: MIT
// The mask number field's reading of 0x hexadecimal and 0b binary numbers.
#include "masknumberfield.h"

#include <QStringView>

namespace {

constexpr quint64 largestMask = 0xffffffffULL;

// What a text that starts with 0x or 0b says; prefixed is false for any other text, which the
// base class reads as decimal.
struct PrefixedNumber
{
    bool prefixed = false;
    QValidator::State state = QValidator::Invalid;
    quint64 value = 0;
};

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int value = base;
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (u >= u'a' && u <= u'f')
        value = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    return value < base ? value : -1;
}

// One pass over the text, whatever its length; the number never grows past 33 bits, because
// reading stops at the first digit that takes it past the largest value the field may hold.
PrefixedNumber readPrefixed(const QString &text, double maximum)
{
    PrefixedNumber number;
    // Blanks around a number are dropped, as the base class drops them around a decimal one.
    const QStringView trimmed = QStringView(text).trimmed();
    if (trimmed.size() < 2 || trimmed.at(0) != u'0')
        return number;
    const QChar mark = trimmed.at(1);
    int base = 0;
    if (mark == u'x' || mark == u'X')
        base = 16;
    else if (mark == u'b' || mark == u'B')
        base = 2;
    else
        return number;
    number.prefixed = true;

    const quint64 largest =
            maximum < double(largestMask) ? quint64(qMax(maximum, 0.0)) : largestMask;
    bool afterDigit = false;
    for (qsizetype i = 2; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c == u'_') {
            // Only between two digits: not straight after 0x, not twice in a row.
            if (!afterDigit)
                return number;
            afterDigit = false;
            continue;
        }
        const int digit = digitValue(c, base);
        if (digit < 0)
            return number;
        number.value = number.value * quint64(base) + quint64(digit);
        if (number.value > largest)
            return number;
        afterDigit = true;
    }
    // "0x" alone, or a separator typed last, waits for a digit and leaves the value as it was.
    number.state = afterDigit ? QValidator::Acceptable : QValidator::Intermediate;
    return number;
}

}

MaskNumberField::MaskNumberField(QWidget *parent) : QDoubleSpinBox(parent) { }

QValidator::State MaskNumberField::validate(QString &input, int &pos) const
{
    const PrefixedNumber number = readPrefixed(input, maximum());
    if (!number.prefixed)
        return QDoubleSpinBox::validate(input, pos);
    // The blanks go from the text as the base class takes them from a decimal one: a pasted
    // " 0x10 " shows as "0x10", and a blank typed after a digit is dropped.
    qsizetype leading = 0;
    while (leading < input.size() && input.at(leading).isSpace())
        ++leading;
    const QString trimmed = input.trimmed();
    if (trimmed.size() != input.size()) {
        pos = int(qBound(qsizetype(0), qsizetype(pos) - leading, trimmed.size()));
        input = trimmed;
    }
    // Below the minimum more digits may still reach the range, as with a decimal number.
    if (number.state == QValidator::Acceptable && double(number.value) < minimum())
        return QValidator::Intermediate;
    return number.state;
}

void MaskNumberField::fixup(QString &input) const
{
    const PrefixedNumber number = readPrefixed(input, maximum());
    if (!number.prefixed) {
        QDoubleSpinBox::fixup(input);
        return;
    }
    // When the typing is over, a separator left at the end goes; the field then takes the number.
    // "0x" alone stays as it is, and the field goes back to the number it holds.
    QString trimmed = input.trimmed();
    if (number.state == QValidator::Intermediate && trimmed.endsWith(u'_')) {
        trimmed.chop(1);
        input = trimmed;
    }
}

double MaskNumberField::valueFromText(const QString &text) const
{
    const PrefixedNumber number = readPrefixed(text, maximum());
    if (!number.prefixed)
        return QDoubleSpinBox::valueFromText(text);
    // The spin box asks only for a text it found acceptable; anything else keeps the value.
    return number.state == QValidator::Acceptable ? double(number.value) : value();
}
