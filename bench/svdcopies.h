// SPDX-License-Identifier: MIT
// A larger register description made of a real one: its peripherals written again, renamed.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace svdcopies {

// Writes the content of <peripherals> again, each peripheral (and what derives from it) renamed
// with the suffix, so that every copy makes sets of its own.
inline void writePeripheralsCopy(const QByteArray &svd, QXmlStreamWriter &writer,
                                 const QString &suffix)
{
    QXmlStreamReader reader(svd);
    QStringList open;
    bool inside = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("peripherals")) {
            inside = true;
            continue;
        }
        if (!inside)
            continue;
        if (reader.isEndElement() && open.isEmpty())
            return;
        if (reader.isStartElement()) {
            open.append(reader.name().toString());
            if (reader.name() == QLatin1String("peripheral")) {
                writer.writeStartElement(reader.qualifiedName().toString());
                for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                    const bool derived = attribute.name() == QLatin1String("derivedFrom");
                    writer.writeAttribute(attribute.qualifiedName().toString(),
                                          attribute.value().toString()
                                                  + (derived ? suffix : QString()));
                }
                continue;
            }
        } else if (reader.isEndElement()) {
            open.removeLast();
        } else if (reader.isCharacters() && open.size() == 2
                   && open.constLast() == QLatin1String("name")) {
            writer.writeCharacters(reader.text().toString() + suffix);
            continue;
        }
        writer.writeCurrentToken(reader);
    }
}

// The description with copies − 1 more copies of its peripherals, NAME_COPY1 …
inline QByteArray enlarged(const QByteArray &svd, int copies)
{
    QByteArray out;
    QXmlStreamWriter writer(&out);
    QXmlStreamReader reader(svd);
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement() && reader.name() == QLatin1String("peripherals")) {
            for (int k = 1; k < copies; ++k)
                writePeripheralsCopy(svd, writer, QStringLiteral("_COPY%1").arg(k));
        }
        writer.writeCurrentToken(reader);
    }
    return out;
}

} // namespace svdcopies
