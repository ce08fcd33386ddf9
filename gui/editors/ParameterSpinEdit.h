#pragma once

#include <QAbstractSpinBox>
#include <QString>

// The spin edit of a numeric parameter field. It keeps the text the operator types (any
// number, also one outside the field's bounds, so the field's change handling can answer it)
// and reports every change of the text; the up/down buttons step the shown value by 1.
class ParameterSpinEdit : public QAbstractSpinBox
{
    Q_OBJECT

public:
    explicit ParameterSpinEdit(QWidget *parent = nullptr);

    void setDecimals(int decimals) { m_decimals = decimals; }
    int decimals() const { return m_decimals; }

    QString fieldText() const;
    // Sets the text as the program does; the change is reported like an edit.
    void setFieldText(const QString &text);

    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;

signals:
    void fieldTextChanged(const QString &text);

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_decimals = 0;
};
