#include "views/SpinEdit.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

SpinEdit::SpinEdit(QWidget *parent) : QWidget(parent), m_edit(new QLineEdit(this))
{
    m_edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_edit));
    m_edit->setText(QStringLiteral("0"));
    m_up = new QToolButton(this);
    m_down = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton *button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFixedSize(16, 11);
        button->setFocusPolicy(Qt::NoFocus);
    }
    auto *buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    buttons->addWidget(m_up);
    buttons->addWidget(m_down);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_edit);
    layout->addLayout(buttons);
    setFocusProxy(m_edit);

    connect(m_edit, &QLineEdit::textChanged, this, &SpinEdit::changed);
    connect(m_up, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepBy(-1); });
}

QString SpinEdit::text() const
{
    return m_edit->text();
}

void SpinEdit::setText(const QString &text)
{
    m_edit->setText(text);
}

std::optional<int> SpinEdit::value() const
{
    bool ok = false;
    const int v = m_edit->text().trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

void SpinEdit::setValue(double value)
{
    double rounded = std::isnan(value) ? double(m_minimum) : std::round(value);
    rounded = std::clamp(rounded, double(m_minimum), double(m_maximum));
    const QString text = QString::number(int(rounded));
    // QLineEdit reports a change only when the text really differs.
    m_edit->setText(text);
}

void SpinEdit::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    const std::optional<int> shown = value();
    if (shown && (*shown < m_minimum || *shown > m_maximum))
        setValue(*shown);
}

void SpinEdit::stepBy(int steps)
{
    const double from = value().value_or(m_minimum);
    setValue(from + double(steps) * m_increment);
}
