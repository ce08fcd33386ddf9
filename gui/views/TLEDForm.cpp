#include "views/TLEDForm.h"

#include "app/OperatorDialogs.h"
#include "bus/TDM.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"
#include "views/ClickablePanel.h"
#include "views/ClientSize.h"
#include "views/LedIndicator.h"
#include "views/StatusColumnStyle.h"

#include <QKeyEvent>
#include <QLabel>

namespace {
const QSize FormSize(634, 335);
const QPoint GroupOrigins[] = {{0, 0}, {312, 0}, {0, 152}, {312, 152}};
const QPoint LedOffsets[] = {{5, 3}, {5, 28}, {5, 53}, {5, 78}};
const QString BoxCaption = QStringLiteral("System Message");

// Fills a widget with a solid colour.
void paintBackground(QWidget *widget, const QColor &color)
{
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, color);
    widget->setPalette(pal);
}

QString inverterName(int address)
{
    return TDM::SectionName(address); // "  ПЧ     #" and the address
}
} // namespace

TLEDForm::TLEDForm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Управление ПЧ"));
    // Takes the focus, so that Esc reaches it.
    setFocusPolicy(Qt::StrongFocus);
    for (int group = 0; group < 4; ++group)
        buildGroup(group);
    FormCreate();
}

void TLEDForm::buildGroup(int group)
{
    auto *box = new QWidget(this);
    box->setGeometry(QRect(GroupOrigins[group], QSize(313, 153)));

    auto *caption = new QLabel(QStringLiteral("Группа #%1").arg(group + 1), box);
    caption->setGeometry(0, 0, 313, 25);
    caption->setFrameStyle(QFrame::Box | QFrame::Plain);
    caption->setAlignment(Qt::AlignCenter);
    paintBackground(caption, QColor(0xFF, 0x00, 0xFF));

    auto *labels = new QFrame(box);
    labels->setGeometry(0, 24, 57, 129);
    labels->setFrameStyle(QFrame::Panel | QFrame::Raised);
    paintBackground(labels, QColor(0x00, 0xFF, 0x00));
    const struct
    {
        const char *text;
        QPoint at;
    } rowLabels[] = {{"Адрес", {8, 8}},
                     {"Поиск", {8, 32}},
                     {"Пуск", {8, 56}},
                     {"Реверс", {5, 80}},
                     {"Шаг", {13, 104}}};
    for (const auto &row : rowLabels) {
        auto *label = new QLabel(QString::fromUtf8(row.text), labels);
        label->move(row.at);
    }

    for (int k = 0; k < 8; ++k) {
        const int address = 8 * group + k;
        const int x = 56 + 32 * k;
        auto *tile = new ClickablePanel(QStringLiteral("#%1").arg(address), box);
        tile->setObjectName(QStringLiteral("Panel%1").arg(101 + address));
        tile->setGeometry(x, 24, 33, 25);
        tile->setTag(address);
        connect(tile, &ClickablePanel::clicked, this, [this, tile] { PanelClick(tile->tag()); });

        auto *column = new QFrame(box);
        column->setGeometry(x, 48, 33, 105);
        column->setFrameStyle(QFrame::Panel | QFrame::Raised);
        paintBackground(column, QColor(0xFF, 0xFF, 0x00));
        for (int row = 0; row < RowCount; ++row) {
            auto *led = new LedIndicator(column);
            led->setObjectName(QStringLiteral("ALed%1").arg(4 * address + row + 1));
            led->setGeometry(QRect(LedOffsets[row], QSize(22, 22)));
            led->setShape(row == 0 ? LedIndicator::Shape::Square : LedIndicator::Shape::Round);
            led->setTag(address);
            if (row == 0)
                connect(led, &LedIndicator::clicked, this,
                        [this, led] { EnableLedClick(led->tag()); });
            else if (row == 1)
                connect(led, &LedIndicator::clicked, this,
                        [this, led] { RnStopLedClick(led->tag()); });
            else if (row == 2)
                connect(led, &LedIndicator::clicked, this,
                        [this, led] { ForRevLedClick(led->tag()); });
        }
    }
}

void TLEDForm::FormCreate()
{
    // Lookup tables: a notification for address N finds its tile and LEDs directly.
    for (auto *tile : findChildren<ClickablePanel *>())
        if (tile->tag() >= 0 && tile->tag() < AddressCount)
            m_tiles[tile->tag()] = tile;
    for (auto *led : findChildren<LedIndicator *>()) {
        const int index = led->objectName().mid(4).toInt() - 1; // "ALed" 4N+row
        if (index >= 0 && index < AddressCount * RowCount)
            m_leds[index / RowCount][index % RowCount] = led;
    }
}

LedIndicator *TLEDForm::led(int address, int row) const
{
    if (address < 0 || address >= AddressCount || row < 1 || row > RowCount)
        return nullptr;
    return m_leds[address][row - 1];
}

ClickablePanel *TLEDForm::tile(int address) const
{
    if (address < 0 || address >= AddressCount)
        return nullptr;
    return m_tiles[address];
}

void TLEDForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TLEDForm::FormShow()
{
    SetClientSize(this, FormSize);
    for (int address = 0; address < AddressCount; ++address)
        ShowState(address, hasInverter(address) ? InverterStateCode::Present
                                                : InverterStateCode::NoInverter);
}

void TLEDForm::customEvent(QEvent *event)
{
    if (event->type() != WindowMessage::eventType()) {
        QWidget::customEvent(event);
        return;
    }
    auto *message = static_cast<WindowMessage *>(event);
    if (message->message() != Msg::InverterState)
        return;
    const qintptr lParam = message->lParam();
    ShowState(int((lParam >> 16) & 0xFFFF), int(lParam & 0xFFFF));
}

void TLEDForm::ShowState(int address, int state)
{
    if (address < 0 || address >= AddressCount)
        return;
    // The flags are read only now; they are not refreshed until the next notification.
    TDM *registry = DM();
    const bool present = state == InverterStateCode::Present && registry;
    const StatusColumnStyle style = StatusColumnStyle::forState(
        state, present && registry->GetRunning(address), present && registry->GetReverse(address),
        present && registry->GetAuxFlag(address));
    m_tiles[address]->setColor(style.tileColor);
    for (int row = 0; row < RowCount; ++row) {
        LedIndicator *led = m_leds[address][row];
        const StatusColumnStyle::Led &look = style.leds[row];
        led->setTrueColor(look.trueColor);
        led->setFalseColor(look.falseColor);
        led->setInterval(style.interval);
        led->setValue(look.value);
        led->setBlink(look.blink);
    }
}

bool TLEDForm::hasInverter(int address) const
{
    TDM *registry = DM();
    return registry && registry->HasInverter(address);
}

void TLEDForm::showNotAvailable(int address)
{
    ShowMessage(BoxCaption, inverterName(address) + QStringLiteral(" is not available"),
                OperatorDialogs::Icon::Stop);
}

void TLEDForm::sendCommand(int address, int command)
{
    SendMessage(MainWindow(), Msg::OperatorCommand, 0, (qintptr(address) << 16) + command);
}

void TLEDForm::PanelClick(int address)
{
    if (hasInverter(address))
        SendMessage(MainWindow(), Msg::OpenMonitor, address);
    else
        showNotAvailable(address);
}

void TLEDForm::EnableLedClick(int address)
{
    if (hasInverter(address)) {
        const auto answer = OperatorDialogs::instance().message(
            BoxCaption,
            inverterName(address) +
                QStringLiteral(" is available\nAre you sure to re-detect the inverter?"),
            OperatorDialogs::Icon::Information, OperatorDialogs::Buttons::OkCancel);
        if (answer != OperatorDialogs::Answer::Ok)
            return;
    }
    SendMessage(MainWindow(), Msg::QueueDetection, address);
}

void TLEDForm::RnStopLedClick(int address)
{
    if (!hasInverter(address)) {
        showNotAvailable(address);
        return;
    }
    sendCommand(address,
                DM()->GetRunning(address) ? OperatorCommandCode::Stop : OperatorCommandCode::Run);
}

void TLEDForm::ForRevLedClick(int address)
{
    if (!hasInverter(address)) {
        showNotAvailable(address);
        return;
    }
    sendCommand(address, DM()->GetReverse(address) ? OperatorCommandCode::Forward
                                                   : OperatorCommandCode::RunReverse);
}

void TLEDForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    SendMessage(MainWindow(), Msg::StopDetection);
    event->accept();
}
