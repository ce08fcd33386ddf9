#pragma once

#include <QAbstractButton>

// A two-state switch with a caption and a label on each side. The operator flips it with a
// click (clicked(bool) reports the new state); the program sets it with setChecked, which
// emits toggled only, so showing a state never looks like an operator's action.
class TwoStateSwitch : public QAbstractButton
{
    Q_OBJECT

public:
    explicit TwoStateSwitch(QWidget *parent = nullptr);

    QString caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString onText() const { return m_onText; }
    QString offText() const { return m_offText; }
    void setSideTexts(const QString &onText, const QString &offText);

    QSize sizeHint() const override;
    // Where the caption goes (across the top) and where the side texts go (right of the
    // track, one above the other); each text gets a font at which it fits its place.
    QRect captionRect() const;
    QRect sideTextRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    QString m_onText;
    QString m_offText;
};
