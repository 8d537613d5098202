// SPDX-License-Identifier: MIT
// The one reader of a description's numbers: addresses, sizes, bit positions, enumerated values.
#include "svdnumber.h"

#include <QString>

namespace {

// The one reader of a description's numbers: an optional '+', decimal, 0x hexadecimal, # or 0b
// binary digits (in binary '_' between digits and, where care is given, 'x' for a don't-care
// bit); where scaled, an optional k, m, g or t (powers of 1024) after them.
bool readSvdNumber(QStringView text, bool scaled, quint64 *value, quint64 *care)
{
    text = text.trimmed();
    if (text.startsWith(u'+'))
        text = text.mid(1);
    int base = 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        text = text.mid(2);
    } else if (text.startsWith(u'#')) {
        base = 2;
        text = text.mid(1);
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        base = 2;
        text = text.mid(2);
    }
    int shift = 0;
    if (scaled && !text.isEmpty()) {
        switch (text.back().toLower().unicode()) {
        case 'k':
            shift = 10;
            break;
        case 'm':
            shift = 20;
            break;
        case 'g':
            shift = 30;
            break;
        case 't':
            shift = 40;
            break;
        default:
            break;
        }
        if (shift > 0)
            text.chop(1);
    }
    if (text.isEmpty() || text.size() > 64 + 16)
        return false;
    quint64 number = 0;
    quint64 cared = 0;
    int binaryDigits = 0;
    for (const QChar c : text) {
        const char16_t u = c.toLower().unicode();
        if (u == '_' && base == 2)
            continue;
        const bool dontCare = base == 2 && u == 'x' && care;
        int digit = 16;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        if (!dontCare && digit >= base)
            return false;
        if (base == 2) {
            if (++binaryDigits > 64)
                return false;
            number = (number << 1) | quint64(dontCare ? 0 : digit);
            cared = (cared << 1) | quint64(dontCare ? 0 : 1);
            continue;
        }
        if (number > (~quint64(0) - quint64(digit)) / quint64(base))
            return false;
        number = number * quint64(base) + quint64(digit);
    }
    if (base == 2 && binaryDigits == 0)
        return false;
    if (shift > 0 && number > (~quint64(0) >> shift))
        return false;
    *value = number << shift;
    if (care)
        *care = base == 2
                ? cared | ~(binaryDigits >= 64 ? ~quint64(0) : (quint64(1) << binaryDigits) - 1)
                : ~quint64(0);
    return true;
}

} // namespace

bool parseSvdValue(QStringView text, quint64 *value, quint64 *care)
{
    quint64 cared = 0;
    return readSvdNumber(text, false, value, care ? care : &cared);
}

bool parseSvdNumber(QStringView text, quint64 *value)
{
    return readSvdNumber(text, true, value, nullptr);
}
