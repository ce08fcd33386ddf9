#include "app/ToolTipStyle.h"

#include <QApplication>
#include <QToolTip>

int ToolTipStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                            QStyleHintReturn *returnData) const
{
    if (hint == QStyle::SH_ToolTip_WakeUpDelay)
        return 400;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

void ToolTipStyle::install()
{
    QApplication::setStyle(new ToolTipStyle);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(16);
    font.setBold(true);
    font.setItalic(true);
    QToolTip::setFont(font);
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipText, Qt::blue);
    QToolTip::setPalette(palette);
}
