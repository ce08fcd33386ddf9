#pragma once

#include "app/CloseQuestion.h"
#include "params/ParameterDiff.h"
#include "params/ParameterTransfer.h"
#include "app/OperatorDialogs.h"

#include <QList>
#include <QWidget>

class ParameterSpinEdit;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;

// The common parameter window: pages of parameter rows (code, caption, list or numeric
// field) under a header row, the buttons "ЧТЕН" (upload, Enter), "ЗАГР" (download, Esc),
// "Завод." (factory values) and close, and the status panel with the progress bar. The
// window is a view over a ParameterTransfer, which holds the working copy and runs the
// transfers; the window reads its slot from the number after its caption prefix at each load.
class TDnLdForm : public QWidget, public CloseQuestion
{
    Q_OBJECT

public:
    static constexpr int FormWidth = 549;
    static constexpr int FormHeight = 301;

    // captionPrefix: the caption text before the slot number. A plan that cannot be used
    // leaves the window without rows, its status panel naming the reason.
    TDnLdForm(ParameterTransfer::Plan plan, const QString &captionPrefix,
              const QString &planError = QString(), QWidget *parent = nullptr);

    ParameterTransfer &transfer() { return *m_transfer; }
    QString captionPrefix() const { return m_captionPrefix; }

    QTabWidget *pageControl() const { return m_pageControl; }
    QPushButton *upLoadButton() const { return m_upLoadBtn; }
    QPushButton *downLoadButton() const { return m_downLoadBtn; }
    QPushButton *defaultButton() const { return m_defaultBtn; }
    QPushButton *closeButton() const { return m_closeBtn; }
    QPushButton *compareButton() const { return m_compareBtn; }
    QPushButton *takeFileButton() const { return m_takeFileBtn; }
    QLabel *msgPanel() const { return m_msgPanel; }
    QProgressBar *progressBar() const { return m_progressBar; }
    // The value field of a working-copy entry: a QComboBox or a ParameterSpinEdit.
    QWidget *field(int entry) const { return m_fields.value(entry); }

    // Handlers of the buttons and fields.
    void UpLoadBtnClick();
    void DownLoadBtnClick();
    void DefaultBtnClick();
    void ComboBoxChange(int entry);
    void EditChange(int entry);
    // "Сравнить...": compares the working copy with a setup file's section of the window's
    // model (the window's slot or another one chosen in a list). Differing fields are
    // highlighted with the file's value in their tool-tip; nothing is changed.
    void CompareBtnClick();
    // "Из файла": the values of the last compare go into the working copy, which is then
    // marked modified.
    void TakeFileBtnClick();
    // The last compare's entries that differ; empty before any.
    const QList<ParameterDiff::Entry> &compareResult() const { return m_compareEntries; }
    // True when the window may close: unmodified, or the operator discards the changes.
    // The main window asks it before it closes anything.
    bool FormCloseQuery() override;

protected:
    void FormShow();
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void customEvent(QEvent *event) override;

private:
    void buildPages();
    // Widens or narrows the value column with the window.
    void fitValueColumn();
    QWidget *buildField(const ParameterRow &row);
    // Load (message 1434): the slot from the caption, then the driver's values.
    void FormLoad();
    // Asks over unsent edits with the given buttons; true when there are none or they go.
    bool discardApproved(OperatorDialogs::Buttons buttons);
    void showValues();
    void updateControls();
    void showProgress(int position, int maximum, const QString &text);
    void transferFinished(const ParameterTransfer::Outcome &outcome);
    // Marks the fields that differ from the compared file and puts the count in the message
    // panel; returns that text.
    QString showCompare();
    void compareAfterEdit();
    void unmarkCompare();
    void clearCompare();

    ParameterTransfer *m_transfer;
    QString m_captionPrefix;
    QTabWidget *m_pageControl = nullptr;
    QPushButton *m_upLoadBtn = nullptr;
    QPushButton *m_downLoadBtn = nullptr;
    QPushButton *m_defaultBtn = nullptr;
    QPushButton *m_closeBtn = nullptr;
    QPushButton *m_compareBtn = nullptr;
    QPushButton *m_takeFileBtn = nullptr;
    QList<ParameterDiff::Entry> m_compareEntries;
    QList<std::optional<int32_t>> m_compareValues; // the file's values of the last compare
    QList<ParameterDiff::Value> m_compareFile;      // the same, as compared; empty: none
    QString m_compareSource;                        // file and section compared with
    int m_valueWidth = 190;                         // the value column's width now
    int m_valueNeed = 190;                          // what the longest list text needs
    QLabel *m_msgPanel = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QList<QWidget *> m_fields;
    bool m_shown = false;
};
