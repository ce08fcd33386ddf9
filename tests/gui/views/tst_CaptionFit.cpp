#include "FakeCommLink.h"
#include "RecordingDialogs.h"

#include "app/TMainForm.h"
#include "app/WindowClasses.h"
#include "bus/BusHost.h"
#include "views/CaptionFit.h"
#include "views/TwoStateSwitch.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

class tst_CaptionFit : public QObject
{
    Q_OBJECT

private slots:
    void shrinksUntilTheTextFits();
    void everyCaptionFitsItsControl();
};

void tst_CaptionFit::shrinksUntilTheTextFits()
{
    QFont font = QApplication::font();
    font.setPointSizeF(12);
    const QString text = QStringLiteral("Выходное\nнапряжение");
    const QFont result = CaptionFit::fitted(font, text, QSize(64, 30), Qt::AlignCenter);
    QVERIFY(result.pointSizeF() < font.pointSizeF());
    QVERIFY(CaptionFit::fits(result, text, QSize(64, 30), Qt::AlignCenter));
    // A box too small for any size keeps the smallest one rather than vanishing.
    QCOMPARE(CaptionFit::fitted(font, text, QSize(4, 4), Qt::AlignCenter).pointSizeF(),
             CaptionFit::SmallestPointSize);
}

namespace {

// Why a control's caption does not fit it with its font; empty when it fits.
QString misfit(const QWidget *widget)
{
    const QFontMetrics metrics(widget->font());
    const auto wider = [&](const QString &text, int room, const char *what) {
        const int needed =
            metrics.boundingRect(QRect(0, 0, 10000, 1000), Qt::TextShowMnemonic, text).width();
        return needed > room ? QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                                   .arg(QLatin1String(what), text)
                                   .arg(needed)
                                   .arg(room)
                             : QString();
    };
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        if (label->text().isEmpty() || label->textFormat() == Qt::RichText)
            return {};
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QSize box =
            label->contentsRect().size() - QSize(2 * label->margin(), 2 * label->margin());
        return CaptionFit::fits(label->font(), label->text(), box, flags)
                   ? QString()
                   : QStringLiteral("label \"%1\" does not fit %2x%3")
                         .arg(label->text())
                         .arg(box.width())
                         .arg(box.height());
    }
    if (const auto *toggle = qobject_cast<const TwoStateSwitch *>(widget)) {
        QString why = wider(toggle->caption(), toggle->captionRect().width(), "switch caption");
        for (const QString &side : {toggle->onText(), toggle->offText()})
            if (why.isEmpty())
                why = wider(side, toggle->sideTextRect().width(), "switch side");
        return why;
    }
    if (const auto *push = qobject_cast<const QPushButton *>(widget)) {
        const int margin = push->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, push);
        return wider(push->text(), push->width() - margin, "button");
    }
    if (qobject_cast<const QRadioButton *>(widget) || qobject_cast<const QCheckBox *>(widget)) {
        const auto *button = static_cast<const QAbstractButton *>(widget);
        return button->sizeHint().width() > button->width()
                   ? QStringLiteral("\"%1\" needs %2 px, has %3")
                         .arg(button->text())
                         .arg(button->sizeHint().width())
                         .arg(button->width())
                   : QString();
    }
    if (const auto *box = qobject_cast<const QGroupBox *>(widget))
        return wider(box->title(), box->width() - 16, "group title");
    return {};
}

} // namespace

void tst_CaptionFit::everyCaptionFitsItsControl()
{
    // Every window of the program, opened by the main window as the operator would, so the
    // fonts are those the windows inherit on this desktop.
    RecordingDialogs::installNew();
    FakeCommLink port;
    BusHost host(&port, BusHost::Role::Forwarded);
    TMainForm form(&host, &port);
    form.resize(1200, 900);
    form.show();
    QStringList misfits;
    for (const QString &className : WindowClasses::names()) {
        QWidget *window = form.ShowChildWindow(className, QString());
        QVERIFY2(window, qPrintable(className));
        for (const QWidget *widget : window->findChildren<QWidget *>()) {
            if (!widget->isVisibleTo(window))
                continue;
            const QString why = misfit(widget);
            if (!why.isEmpty())
                misfits << className + QStringLiteral(": ") + why;
        }
        window->setProperty("closeApproved", true);
        delete (window->isWindow() ? window : window->parentWidget());
    }
    QVERIFY2(misfits.isEmpty(), qPrintable(misfits.join(QLatin1Char('\n'))));
    OperatorDialogs::install(nullptr);
}

QTEST_MAIN(tst_CaptionFit)
#include "tst_CaptionFit.moc"
