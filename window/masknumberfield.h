// SPDX-License-Identifier: MIT
// The mask number field: a QDoubleSpinBox that also reads 0x hexadecimal and 0b binary.
#pragma once

#include <QDoubleSpinBox>

// Decimal input is the base class's, untouched: its refusals, '+', the language's thousands
// separator, blanks around a number. A text that starts with 0x or 0b (either case) is read here
// instead: hexadecimal or binary digits, '_' allowed between two of them; a digit that would take
// the number past the field's maximum (or past 32 bits) is refused, as a decimal one is. The value
// is always shown in decimal: the text is rewritten when the cursor leaves or Return is pressed.
//
// Deliberately without Q_OBJECT. The field adds no signal, slot or property, and without a
// meta-object of its own it stays a QDoubleSpinBox to everything that looks through the
// meta-object system: metaObject()->className(), inherits(), qobject_cast<QDoubleSpinBox *>,
// style sheet selectors and the accessibility interface all see the class that the form names.
// Only the four virtual functions below differ, and the toolkit calls those through the vtable.
// (For the same reason qobject_cast<MaskNumberField *> must not be used; nothing needs it.)
// The form creates it as a promoted QDoubleSpinBox, so sbMaskValue keeps its name, its place in
// the creation order and every property that the form sets.
class MaskNumberField : public QDoubleSpinBox
{
public:
    explicit MaskNumberField(QWidget *parent = nullptr);

    QValidator::State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
    double valueFromText(const QString &text) const override;
};
