#pragma once

#include "app/CloseQuestion.h"
#include <QWidget>

#include <array>

class ClickablePanel;
class LedIndicator;

// The status panel: all 32 bus addresses in four groups of eight, each with an address tile
// and four LEDs (search, run, reverse, step). It paints what the inverter state notifications
// (Msg::InverterState) tell it, reads the flags of present inverters from the registry, and
// lets the operator re-detect, run, stop, reverse an inverter or open its monitor window.
class TLEDForm : public QWidget, public CloseQuestion
{
    Q_OBJECT

public:
    static constexpr int AddressCount = 32;
    static constexpr int RowCount = 4;
    enum Row { SearchRow = 1, RunRow = 2, ReverseRow = 3, StepRow = 4 };

    explicit TLEDForm(QWidget *parent = nullptr);

    // The LED of an address in row 1..4 and the address tile; null outside the table.
    LedIndicator *led(int address, int row) const;
    ClickablePanel *tile(int address) const;

    // Repaints the address's column for a state notification; addresses outside 0..31 are
    // ignored.
    void ShowState(int address, int state);

    // Click handlers; the address is the clicked control's tag.
    void PanelClick(int address);
    void EnableLedClick(int address);
    void RnStopLedClick(int address);
    void ForRevLedClick(int address);

    QSize sizeHint() const override { return {634, 335}; }

protected:
    void showEvent(QShowEvent *event) override;
    void customEvent(QEvent *event) override;
    // Esc stops the queued detection probes.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void buildGroup(int group);
    bool hasInverter(int address) const;
    void showNotAvailable(int address);
    void sendCommand(int address, int command);

    std::array<std::array<LedIndicator *, RowCount>, AddressCount> m_leds{};
    std::array<ClickablePanel *, AddressCount> m_tiles{};
};
