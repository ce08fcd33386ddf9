#pragma once

#include <QWidget>

#include <optional>

class QLineEdit;
class QToolButton;

// An edit for a whole number with spin buttons. The operator may type digits only; the spin
// buttons step by the increment within [minimum, maximum]; a value set by the program is
// rounded to the nearest whole number and held to that range. changed() is emitted whenever
// the text changes, whoever changed it.
class SpinEdit : public QWidget
{
    Q_OBJECT

public:
    explicit SpinEdit(QWidget *parent = nullptr);

    QString text() const;
    // Replaces the text as typing would (digits only is up to the operator's keyboard).
    void setText(const QString &text);
    // The text as a whole number; empty when it is none.
    std::optional<int> value() const;
    void setValue(double value);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    // A new range (maximum below minimum is taken as minimum); a number shown outside it is
    // pulled in, which counts as a change.
    void setRange(int minimum, int maximum);
    int increment() const { return m_increment; }
    void setIncrement(int increment) { m_increment = increment; }
    // One spin button press: steps from the value shown (the minimum when there is none).
    void stepBy(int steps);

    QLineEdit *lineEdit() const { return m_edit; }

signals:
    void changed();

private:
    QLineEdit *m_edit;
    QToolButton *m_up;
    QToolButton *m_down;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_increment = 1;
};
