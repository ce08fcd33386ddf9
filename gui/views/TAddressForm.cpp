#include "views/TAddressForm.h"

#include "app/OperatorDialogs.h"
#include "bus/TDM.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionRecord.h"
#include "serial/WindowMessage.h"
#include "setup/OperatorNotices.h"
#include "views/CaptionFit.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <algorithm>

namespace {

const QString BoxCaption = QStringLiteral("System Message");

// The results of the address exchanges arrive in bus callbacks: they are notices.
void report(const QString &text, OperatorNotice::Icon icon)
{
    OperatorNotice notice;
    notice.caption = BoxCaption;
    notice.text = text;
    notice.icon = icon;
    ReportNotice(notice);
}

} // namespace

TAddressForm::TAddressForm(QWidget *parent)
    : QDialog(parent), m_edit1(nullptr), m_up(nullptr), m_down(nullptr), m_trackBar1(nullptr),
      m_settingBtn(nullptr), m_closeBtn(nullptr)
{
    setWindowTitle(QStringLiteral("Уст. адреса"));
    setFixedSize(364, 173);

    auto *panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(16, 16, 329, 105);

    auto *label = new QLabel(QStringLiteral("Адрес"), this);
    label->move(40, 26);

    // The up-down control takes its width from the edit it is attached to.
    m_edit1 = new QLineEdit(this);
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit1->setGeometry(104, 24, 177, 21);
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("UpDown1Up"));
    m_up->setArrowType(Qt::UpArrow);
    m_up->setAutoRepeat(true);
    m_up->setGeometry(281, 24, 16, 11);
    m_down = new QToolButton(this);
    m_down->setObjectName(QStringLiteral("UpDown1Down"));
    m_down->setArrowType(Qt::DownArrow);
    m_down->setAutoRepeat(true);
    m_down->setGeometry(281, 35, 16, 10);

    auto *scale = new QFrame(this);
    scale->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    scale->setGeometry(32, 48, 297, 60);
    m_trackBar1 = new QSlider(Qt::Horizontal, scale);
    m_trackBar1->setObjectName(QStringLiteral("TrackBar1"));
    m_trackBar1->setRange(0, MaxAddress);
    m_trackBar1->setTickInterval(1);
    m_trackBar1->setTickPosition(QSlider::TicksBelow);
    m_trackBar1->setPageStep(1);
    m_trackBar1->setGeometry(8, 8, 273, 41);
    const int tickLabelX[] = {15, 77, 140, 202, 257};
    const char *tickLabel[] = {"0", "8", "16", "24", "31"};
    for (int i = 0; i < 5; ++i)
        (new QLabel(QString::fromLatin1(tickLabel[i]), scale))->move(tickLabelX[i], 40);

    m_settingBtn = new QPushButton(QStringLiteral("Установить"), this);
    m_settingBtn->setObjectName(QStringLiteral("SettingBtn"));
    m_settingBtn->setGeometry(80, 136, 73, 25);
    m_closeBtn = new QPushButton(QStringLiteral("Закрыть"), this);
    m_closeBtn->setObjectName(QStringLiteral("CloseBtn"));
    m_closeBtn->setGeometry(208, 136, 73, 25);
    CaptionFit::fitButton(m_settingBtn);
    CaptionFit::fitButton(m_closeBtn);

    connect(m_edit1, &QLineEdit::textChanged, this, &TAddressForm::Edit1Change);
    connect(m_up, &QToolButton::clicked, this, [this] { stepAddress(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { stepAddress(-1); });
    connect(m_trackBar1, &QSlider::valueChanged, this, &TAddressForm::TrackBar1Change);
    connect(m_settingBtn, &QPushButton::clicked, this, [this] {
        if (confirmSetting())
            SettingBtnClick();
    });
    connect(m_closeBtn, &QPushButton::clicked, this, &QDialog::reject);

    applyAddress(m_address);
}

TAddressForm::~TAddressForm()
{
    // A completion that arrives after the dialog is gone reaches nobody, so the driver put
    // into the slot for the attempt would stay there as if an inverter had been found.
    if (attemptRunning())
        endAttempt();
}

void TAddressForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreOnScreen();
    FormShow();
}

void TAddressForm::centreOnScreen()
{
    // The dialog comes up in the middle of the screen, not over the window that opened it.
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TAddressForm::FormShow()
{
    applyAddress(m_address);
}

void TAddressForm::applyAddress(qint64 address)
{
    m_address = int(std::clamp<qint64>(address, 0, MaxAddress));
    const QSignalBlocker editBlocker(m_edit1);
    const QSignalBlocker trackBlocker(m_trackBar1);
    const QString text = QString::number(m_address);
    if (m_edit1->text() != text)
        m_edit1->setText(text);
    m_trackBar1->setValue(m_address);
}

void TAddressForm::Edit1Change()
{
    const QString text = m_edit1->text();
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok, 10);
    if (!ok) {
        // The address keeps its value, and after the box the field shows it again and has
        // the keyboard, so the operator's next keys go where they were typed.
        ShowInvalidInteger(text);
        const QSignalBlocker editBlocker(m_edit1);
        m_edit1->setText(QString::number(m_address));
        m_edit1->end(false);
        activateWindow();
        m_edit1->setFocus(Qt::OtherFocusReason);
        return;
    }
    applyAddress(value);
}

void TAddressForm::stepAddress(int step)
{
    // The up-down control changes the edit, which then applies the new address.
    m_edit1->setText(QString::number(std::clamp(m_address + step, 0, MaxAddress)));
}

void TAddressForm::TrackBar1Change()
{
    applyAddress(m_trackBar1->value());
}

bool TAddressForm::confirmSetting()
{
    // The write is a broadcast: every drive of the model listening on the bus takes the new
    // address, so the operator confirms that only the one to be re-addressed is connected.
    const auto answer = OperatorDialogs::instance().message(
        BoxCaption,
        QStringLiteral("Адрес %1 будет записан всем ПЧ на шине.\n"
                       "К шине должен быть подключён только тот ПЧ, адрес которого меняется.\n"
                       "Установить адрес %1?")
            .arg(m_address),
        OperatorDialogs::Icon::Warning, OperatorDialogs::Buttons::YesNoDefaultNo);
    return answer == OperatorDialogs::Answer::Yes;
}

void TAddressForm::SettingBtnClick()
{
    TDM *registry = DM();
    if (attemptRunning() || !registry)
        return;
    m_attemptSlot = m_address;
    m_settingBtn->setEnabled(false);
    // A driver for the new address builds the write; whatever the slot held is replaced.
    registry->CreateKX200(m_attemptSlot);
    sendAddressWrite(Msg::AddressKX200Result);
}

void TAddressForm::sendAddressWrite(uint32_t completionMessage)
{
    TDM *registry = DM();
    m_attemptGeneration = registry->slotGeneration(m_attemptSlot);
    TransactionRecord record;
    InitTransaction(record, this, completionMessage, 0, m_attemptSlot);
    // The new driver always builds the write; should it not, no completion would come.
    if (!registry->WriteAddress(record))
        endAttempt();
}

void TAddressForm::customEvent(QEvent *event)
{
    if (event->type() != WindowMessage::eventType()) {
        QDialog::customEvent(event);
        return;
    }
    auto *message = static_cast<WindowMessage *>(event);
    TransactionRecord *record = message->record();
    // Only the completions of the attempt under way are ours to act on.
    if (!record || !attemptRunning() || record->Slot != m_attemptSlot)
        return;
    if (message->message() == Msg::AddressKX200Result)
        kx200WriteDone(*record);
    else if (message->message() == Msg::AddressKX100Result)
        kx100WriteDone(*record);
}

void TAddressForm::kx200WriteDone(TransactionRecord &record)
{
    TDM *registry = DM();
    if (!registry) {
        endAttempt();
        return;
    }
    registry->ProcessReply(record);
    switch (record.Result) {
    case TransactionResult::Ok:
        endAttempt();
        report(QStringLiteral("Address setting OK"), OperatorNotice::Icon::Information);
        break;
    case TransactionResult::TimeOut:
        // Nothing took the KX200 form: try the KX100 form of the same write.
        registry->CreateKX100(m_attemptSlot);
        sendAddressWrite(Msg::AddressKX100Result);
        break;
    case TransactionResult::InverterError:
        endAttempt();
        report(QStringLiteral("Inverterd error"), OperatorNotice::Icon::Information);
        break;
    default:
        endAttempt();
        report(QStringLiteral("Comminication error"), OperatorNotice::Icon::Information);
        break;
    }
}

void TAddressForm::kx100WriteDone(TransactionRecord &record)
{
    if (TDM *registry = DM())
        registry->ProcessReply(record);
    else
        record.Result = TransactionResult::CommError; // nobody can check the reply
    // The slot is emptied before the box, so it is empty while the operator reads it.
    endAttempt();
    switch (record.Result) {
    case TransactionResult::Ok:
        report(QStringLiteral("Address setting OK"), OperatorNotice::Icon::Information);
        break;
    case TransactionResult::TimeOut:
        report(QStringLiteral("Inverterd doesn't response"), OperatorNotice::Icon::Stop);
        break;
    case TransactionResult::InverterError:
        report(QStringLiteral("Inverterd error"), OperatorNotice::Icon::Information);
        break;
    default:
        report(QStringLiteral("Comminication error"), OperatorNotice::Icon::Information);
        break;
    }
}

void TAddressForm::endAttempt()
{
    TDM *registry = DM();
    if (registry && registry->slotGeneration(m_attemptSlot) == m_attemptGeneration)
        registry->RemoveInverter(m_attemptSlot);
    m_attemptSlot = -1;
    m_settingBtn->setEnabled(true);
}
