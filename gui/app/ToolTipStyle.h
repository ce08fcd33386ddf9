#pragma once

#include <QProxyStyle>

// The application style with the program's tool-tips: shown after 400 ms.
class ToolTipStyle : public QProxyStyle
{
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option = nullptr,
                  const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;

    // Installs the style and the tool-tip font: bold italic blue "MS Sans Serif", 16 pixels.
    static void install();
};
