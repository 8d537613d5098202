// labeltool/svdimport.h
#pragma once
#include "labelfile.h" // LabelSet
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
struct SvdImport
{
    QList<LabelSet> sets; // one per register with a field bit below 32, in file order, names unique
    qsizetype registers = 0; // register instances read
    QStringList skipped; // one line each: what was skipped or dropped (duplicate names, bits from 32 up, registers without fields below 32...), and why
    QString error; // empty when the description was read; otherwise what is wrong
    qint64 line = 0; // where it is wrong (1-based), with error
    qint64 column = 0;
};
// Reads a CMSIS-SVD device description and maps each register to a label set.
SvdImport importSvd(const QByteArray &xml);
