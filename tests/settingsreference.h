// SPDX-License-Identifier: MIT
// The settings class as the reference the label file's reader is held to, in tests and fuzzers.
#pragma once

#include "inireader.h"
#include "labeldecoding.h"
#include "labelfile.h"

#include <QSettings>
#include <QVariant>

// The sets of group through the settings class, with their keys and values, read the way the
// window read them before it had a reader of its own: the group's sub-groups, then each one's keys.
inline QList<IniLabelSet> settingsLabelSetKeys(QSettings &settings, const QString &group,
                                               QList<QList<QVariant>> *variants = nullptr)
{
    QList<IniLabelSet> sets;
    settings.beginGroup(group);
    QStringList names = settings.childGroups();
    // A line such as "\Set\A=0" makes a sub-group without a name, which cannot be entered:
    // beginGroup("") stays in the group, whose own keys would pass for that set's labels.
    names.removeAll(QString());
    for (const QString &name : std::as_const(names)) {
        IniLabelSet set;
        set.name = name;
        settings.beginGroup(name);
        set.keys = settings.childKeys();
        QList<QVariant> values;
        // An empty label (from a line such as "Set\ =1") cannot be looked up: the settings
        // class would print a warning and give nothing.
        for (const QString &key : std::as_const(set.keys))
            values.append(key.isEmpty() ? QVariant() : settings.value(key, QVariant()));
        settings.endGroup();
        if (variants)
            variants->append(values);
        sets.append(set);
    }
    settings.endGroup();
    return sets;
}

// The same decoded, as the window showed them.
inline LabelSets settingsLabelSets(QSettings &settings, const QString &group)
{
    QList<QList<QVariant>> values;
    const QList<IniLabelSet> sets = settingsLabelSetKeys(settings, group, &values);
    LabelSets decoded;
    for (qsizetype k = 0; k < sets.size(); ++k) {
        decoded.names.append(sets.at(k).name);
        decoded.labels.append(decodeLabelSet(sets.at(k).keys, values.at(k)));
    }
    return decoded;
}

// A value of the settings class in the reader's terms; false for a type the reader keeps as
// Other (never made into an object there, so there is nothing to compare).
inline bool toIniValue(const QVariant &variant, IniValue *value)
{
    *value = IniValue();
    if (!variant.isValid())
        return true;
    if (variant.metaType() == QMetaType::fromType<QString>()) {
        value->kind = IniValue::Text;
        value->text = variant.toString();
    } else if (variant.metaType() == QMetaType::fromType<QStringList>()) {
        value->kind = IniValue::List;
        value->items = variant.toStringList();
    } else if (variant.metaType() == QMetaType::fromType<QByteArray>()) {
        value->kind = IniValue::ByteArray;
        value->text = variant.toString();
    } else {
        return false;
    }
    return true;
}

// An INI value "@Variant(…)" that the settings class would deserialise from these QDataStream
// bytes (every byte escaped as \xHH, which its unescaping turns back into that byte).
inline QByteArray variantValue(const QByteArray &streamed)
{
    QByteArray value = "@Variant(";
    value.reserve(streamed.size() * 4 + 10);
    for (const char c : streamed) {
        value += "\\x";
        value += QByteArray::number(uchar(c), 16);
    }
    return value + ')';
}

// The QDataStream bytes (Qt 4.0 format, as the settings class reads "@Variant") of a QVariant
// list holding a list holding … depth levels down, an int at the bottom. Deserialising 40,000
// levels overflows the settings class's stack.
inline QByteArray nestedLists(int depth)
{
    // The Qt 4.0 format has no null flag: the type, then the value.
    static const char level[] = "\0\0\0\x09\0\0\0\x01"; // QVariantList of one item
    static const char bottom[] = "\0\0\0\x02\0\0\0\x05"; // int 5
    QByteArray bytes;
    bytes.reserve(qsizetype(depth + 1) * 8);
    for (int k = 0; k < depth; ++k)
        bytes.append(level, 8);
    bytes.append(bottom, 8);
    return bytes;
}
