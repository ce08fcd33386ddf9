#pragma once

#include <QList>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QToolBar>

class QAction;

// A tool bar whose buttons belong to named sections. The operator chooses which buttons are
// shown and in which order (double click on the bar opens the customisation window); the
// layout is a list of button names that the settings store keeps.
class SectionedToolBar : public QToolBar
{
    Q_OBJECT

public:
    struct Button
    {
        QString name;    // component name, e.g. "DetectBtn"
        QString section; // "Файл", "Окно", ...
        QString caption; // as listed in the customisation window
        QAction *action = nullptr;
        bool visibleAtStart = false;
    };

    // Buttons sit this many pixels below the top edge and this many pixels apart.
    static constexpr int ButtonTop = 3;
    static constexpr int ButtonGap = 8;
    // Every button's picture is this many pixels square.
    static constexpr int IconSide = 24;

    explicit SectionedToolBar(QWidget *parent = nullptr);

    void addSection(const QString &section) { m_sections << section; }
    QStringList sections() const { return m_sections; }
    void addButton(const Button &button);
    const QList<Button> &buttons() const { return m_buttons; }
    QAction *action(const QString &name) const;

    // Names of the shown buttons, left to right.
    QStringList layout() const { return m_shown; }
    // Shows exactly the named buttons in this order; unknown names are skipped.
    void setLayout(const QStringList &shownNames);
    void resetLayout();
    // The button texts as shown, left to right.
    QStringList shownTexts() const;

    // A picture tiled behind the buttons.
    void setWallpaper(const QPixmap &wallpaper);

    // A widget kept at the right end of the bar, after every button.
    void setTrailingWidget(QWidget *widget);

    // Opens the customisation window and applies it when accepted.
    void customize();

signals:
    void customizeRequested();

protected:
    void changeEvent(QEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void applyButtonSpacing();
    void rebuild();

    QStringList m_sections;
    QList<Button> m_buttons;
    QStringList m_shown;
    QAction *m_spacerAction = nullptr;
    QPixmap m_wallpaper;
};
