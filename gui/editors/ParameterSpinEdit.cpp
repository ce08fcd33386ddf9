#include "editors/ParameterSpinEdit.h"

#include <QLineEdit>
#include <QRegularExpression>

#include <cmath>

ParameterSpinEdit::ParameterSpinEdit(QWidget *parent) : QAbstractSpinBox(parent)
{
    setLocale(QLocale::c());
    setAccelerated(false);
    connect(lineEdit(), &QLineEdit::textChanged, this, &ParameterSpinEdit::fieldTextChanged);
}

QString ParameterSpinEdit::fieldText() const
{
    return lineEdit()->text();
}

void ParameterSpinEdit::setFieldText(const QString &text)
{
    lineEdit()->setText(text);
}

void ParameterSpinEdit::stepBy(int steps)
{
    if (isReadOnly())
        return;
    QString text = fieldText().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        value = 0.0;
    value += steps;
    setFieldText(m_decimals > 0 ? QString::number(value, 'f', m_decimals)
                                : QString::number(std::llround(value)));
}

// Only what can grow into a number may be typed; whether it is one, and whether it lies in
// the field's bounds, the field's change handling decides.
QValidator::State ParameterSpinEdit::validate(QString &input, int &) const
{
    // No more decimals than the field's step has.
    const QRegularExpression pattern(
        m_decimals > 0 ? QStringLiteral("^\\s*[+-]?\\d*([.,]\\d{0,%1})?\\s*$").arg(m_decimals)
                       : QStringLiteral("^\\s*[+-]?\\d*\\s*$"));
    return pattern.match(input).hasMatch() ? QValidator::Intermediate : QValidator::Invalid;
}

QAbstractSpinBox::StepEnabled ParameterSpinEdit::stepEnabled() const
{
    if (isReadOnly() || !isEnabled())
        return StepNone;
    return StepUpEnabled | StepDownEnabled;
}
