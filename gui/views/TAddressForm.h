#pragma once

#include <QDialog>

#include <cstdint>

class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;
struct TransactionRecord;

// The address dialog ("Уст. адреса"): gives the inverters on the bus a new address A (0..31)
// with a broadcast write. The model is unknown, so the KX200 form of the write goes first and
// the KX100 form follows when the first gets no reply. For the attempt slot A of the registry
// holds a driver made for address A; it is empty again when the attempt has ended, also when
// the dialog closes before the replies are in.
class TAddressForm : public QDialog
{
    Q_OBJECT

public:
    static constexpr int MaxAddress = 31;

    explicit TAddressForm(QWidget *parent = nullptr);
    ~TAddressForm() override;

    // The chosen address, always within 0..31.
    int address() const { return m_address; }
    // True from SettingBtnClick until the outcome of the attempt is known.
    bool attemptRunning() const { return m_attemptSlot >= 0; }

    // Handlers of the controls.
    void FormShow();
    void Edit1Change();
    void TrackBar1Change();
    // Sends the address write at once; the button asks the operator first.
    void SettingBtnClick();

protected:
    void showEvent(QShowEvent *event) override;
    void customEvent(QEvent *event) override;

private:
    void centreOnScreen();
    // The operator's confirmation of the broadcast write; true on Yes.
    bool confirmSetting();
    // Bounds the address to 0..31 and shows it in the edit and on the track bar.
    void applyAddress(qint64 address);
    void stepAddress(int step);
    // Builds and submits the broadcast write for the driver now in the attempt's slot.
    void sendAddressWrite(uint32_t completionMessage);
    void kx200WriteDone(TransactionRecord &record);
    void kx100WriteDone(TransactionRecord &record);
    // Empties the attempt's slot (if it still holds the attempt's driver) and ends it.
    void endAttempt();

    int m_address = 0;
    int m_attemptSlot = -1; // -1 while no attempt runs
    uint64_t m_attemptGeneration = 0;

    QLineEdit *m_edit1;
    QToolButton *m_up;
    QToolButton *m_down;
    QSlider *m_trackBar1;
    QPushButton *m_settingBtn;
    QPushButton *m_closeBtn;
};
