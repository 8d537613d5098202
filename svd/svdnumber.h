// SPDX-License-Identifier: MIT
// The one reader of a description's numbers: addresses, sizes, bit positions, enumerated values.
#pragma once

#include <QStringView>
#include <QtGlobal>

// An enumerated value as a description writes one: decimal, 0x hexadecimal, # or 0b binary; in
// binary 'x' marks a don't-care bit (clear in care). False for anything else or beyond 64 bits.
bool parseSvdValue(QStringView text, quint64 *value, quint64 *care = nullptr);
// Any other number of a description (an address, a size, a bit position …), by the same reader:
// decimal, 0x hexadecimal, # or 0b binary, with an optional scale k, m, g or t (× 1024, 1024², …:
// "1k" is 1024). False for anything else or beyond 64 bits.
bool parseSvdNumber(QStringView text, quint64 *value);
