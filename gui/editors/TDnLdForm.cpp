#include "editors/TDnLdForm.h"

#include "setup/IniFile.h"
#include "app/OperatorDialogs.h"
#include "bus/TDM.h"
#include "app/DialogOwner.h"
#include "editors/CompareSlotDialog.h"
#include "editors/ParameterSpinEdit.h"
#include "serial/MessageNumbers.h"
#include "serial/WindowMessage.h"
#include "setup/OperatorNotices.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int CodeWidth = 56;
constexpr int ValueWidth = 190;
// Aqua marks a field the operator cannot change; its text stays black, also while the field
// is disabled, so it reads as well as any other.
const QString ReadOnlyStyle = QStringLiteral("background-color: aqua; color: black;");
const QString DifferStyle = QStringLiteral("background-color: yellow;");
const char *const SavedStyle = "styleBeforeCompare";
const char *const SavedToolTip = "toolTipBeforeCompare";

QLabel *panel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Raised);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// A list field shows its whole item: the open list is as wide as the widest item, and the
// tool-tip repeats the chosen one, which the closed field may cut.
void showWholeItems(QComboBox *combo)
{
    int widest = 0;
    const QFontMetrics metrics(combo->view()->font());
    for (int i = 0; i < combo->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(combo->itemText(i)));
    combo->view()->setMinimumWidth(widest + 2 * combo->view()->frameWidth() +
                                   combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 12);
    combo->setToolTip(combo->currentText());
    QObject::connect(combo, &QComboBox::currentTextChanged, combo, &QWidget::setToolTip);
}

} // namespace

TDnLdForm::TDnLdForm(ParameterTransfer::Plan plan, const QString &captionPrefix,
                     const QString &planError, QWidget *parent)
    : QWidget(parent), m_transfer(new ParameterTransfer(std::move(plan), this)),
      m_captionPrefix(captionPrefix)
{
    m_transfer->setNotifyTarget(this);
    resize(FormWidth, FormHeight);

    m_pageControl = new QTabWidget(this);
    m_pageControl->setObjectName(QStringLiteral("PageControl1"));

    m_upLoadBtn = new QPushButton(QStringLiteral("ЧТЕН"), this);
    m_upLoadBtn->setObjectName(QStringLiteral("UpLoadBtn"));
    m_upLoadBtn->setDefault(true);
    m_downLoadBtn = new QPushButton(QStringLiteral("ЗАГР"), this);
    m_downLoadBtn->setObjectName(QStringLiteral("DownLoadBtn"));
    m_defaultBtn = new QPushButton(QStringLiteral("Завод."), this);
    m_defaultBtn->setObjectName(QStringLiteral("DefaultBtn"));
    m_closeBtn = new QPushButton(QStringLiteral("Закрыть"), this);
    m_closeBtn->setObjectName(QStringLiteral("BitBtn1"));

    // The compare commands sit under the four buttons of the window.
    m_compareBtn = new QPushButton(QStringLiteral("Сравнить..."), this);
    m_compareBtn->setObjectName(QStringLiteral("CompareBtn"));
    m_compareBtn->setToolTip(QStringLiteral("Сравнить значения с файлом настроек"));
    m_takeFileBtn = new QPushButton(QStringLiteral("Из файла"), this);
    m_takeFileBtn->setObjectName(QStringLiteral("TakeFileBtn"));
    m_takeFileBtn->setToolTip(QStringLiteral("Взять значения файла (ЗАГР их запишет)"));

    auto *buttons = new QVBoxLayout;
    for (QPushButton *button : {m_upLoadBtn, m_downLoadBtn, m_defaultBtn, m_closeBtn})
        buttons->addWidget(button);
    buttons->addStretch();
    buttons->addWidget(m_compareBtn);
    buttons->addWidget(m_takeFileBtn);

    // The status panel carries the progress text; the progress bar sits at its right end.
    m_msgPanel = new QLabel(this);
    m_msgPanel->setObjectName(QStringLiteral("MsgPanel"));
    m_msgPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_msgPanel->setMinimumHeight(22);
    m_progressBar = new QProgressBar(m_msgPanel);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setTextVisible(false);
    m_progressBar->setRange(0, std::max(1, m_transfer->count()));
    m_progressBar->setValue(0);
    m_progressBar->setFixedWidth(160);
    auto *panelLayout = new QHBoxLayout(m_msgPanel);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    panelLayout->addStretch();
    panelLayout->addWidget(m_progressBar);

    auto *top = new QHBoxLayout;
    top->addWidget(m_pageControl, 1);
    top->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(top, 1);
    layout->addWidget(m_msgPanel);

    buildPages();
    if (m_transfer->count() == 0)
        m_msgPanel->setText(QStringLiteral("Parameter table unusable: ") +
                            (planError.isEmpty() ? QStringLiteral("no rows") : planError));

    connect(m_upLoadBtn, &QPushButton::clicked, this, &TDnLdForm::UpLoadBtnClick);
    connect(m_downLoadBtn, &QPushButton::clicked, this, &TDnLdForm::DownLoadBtnClick);
    connect(m_defaultBtn, &QPushButton::clicked, this, &TDnLdForm::DefaultBtnClick);
    connect(m_compareBtn, &QPushButton::clicked, this, &TDnLdForm::CompareBtnClick);
    connect(m_takeFileBtn, &QPushButton::clicked, this, &TDnLdForm::TakeFileBtnClick);
    connect(m_closeBtn, &QPushButton::clicked, this, [this] {
        // An MDI child closes through its frame, which asks the window and goes with it;
        // closing only the window would leave an empty frame behind.
        if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
            frame->close();
        else
            close();
    });
    connect(m_transfer, &ParameterTransfer::valuesShown, this, &TDnLdForm::showValues);
    // New values in the fields make the last compare stale.
    connect(m_transfer, &ParameterTransfer::valuesShown, this, &TDnLdForm::clearCompare);
    connect(m_transfer, &ParameterTransfer::stateChanged, this, &TDnLdForm::updateControls);
    connect(m_transfer, &ParameterTransfer::progressChanged, this, &TDnLdForm::showProgress);
    connect(m_transfer, &ParameterTransfer::statusChanged, m_msgPanel, &QLabel::setText);
    connect(m_transfer, &ParameterTransfer::finished, this, &TDnLdForm::transferFinished);

    showValues();
    updateControls();
}

void TDnLdForm::buildPages()
{
    const QList<ParameterRow> &rows = m_transfer->plan().rows;
    m_fields.resize(rows.size());
    QWidget *page = nullptr;
    QGridLayout *grid = nullptr;
    QString pageCaption;
    for (const ParameterRow &row : rows) {
        if (!page || row.page != pageCaption) {
            pageCaption = row.page;
            page = new QWidget;
            auto *pageLayout = new QVBoxLayout(page);
            pageLayout->setContentsMargins(2, 2, 2, 2);
            // Header and rows scroll sideways as one, in the outer area; the rows alone
            // scroll up and down, in the inner one, under a header that stays.
            auto *tableScroll = new QScrollArea(page);
            tableScroll->setObjectName(QStringLiteral("TableScroll"));
            tableScroll->setWidgetResizable(true);
            tableScroll->setFrameShape(QFrame::NoFrame);
            tableScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            auto *table = new QWidget;
            auto *tableLayout = new QVBoxLayout(table);
            tableLayout->setContentsMargins(0, 0, 0, 0);
            tableLayout->setSpacing(1);

            auto *rowScroll = new QScrollArea(table);
            rowScroll->setObjectName(QStringLiteral("RowScroll"));
            rowScroll->setWidgetResizable(true);
            rowScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            rowScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

            auto *headerRow = new QWidget(table);
            headerRow->setObjectName(QStringLiteral("Header"));
            auto *header = new QHBoxLayout(headerRow);
            header->setContentsMargins(rowScroll->frameWidth(), 0, 0, 0);
            header->setSpacing(1);
            QLabel *code = panel(QStringLiteral("Конст."), headerRow);
            code->setFixedWidth(CodeWidth);
            QLabel *caption = panel(QStringLiteral("Наименование функции"), headerRow);
            QLabel *value = panel(QStringLiteral("Значение"), headerRow);
            value->setObjectName(QStringLiteral("ValueHeader"));
            value->setFixedWidth(ValueWidth);
            header->addWidget(code);
            header->addWidget(caption, 1);
            header->addWidget(value);
            // Over the rows' scroll bar and frame, so the columns line up.
            header->addSpacing(rowScroll->verticalScrollBar()->sizeHint().width() +
                               rowScroll->frameWidth());
            tableLayout->addWidget(headerRow);

            auto *content = new QWidget;
            grid = new QGridLayout(content);
            grid->setContentsMargins(0, 0, 0, 0);
            grid->setHorizontalSpacing(1);
            grid->setVerticalSpacing(1);
            grid->setColumnStretch(1, 1);
            rowScroll->setWidget(content);
            tableLayout->addWidget(rowScroll, 1);
            tableScroll->setWidget(table);
            pageLayout->addWidget(tableScroll, 1);
            m_pageControl->addTab(page, pageCaption);
        }
        const int line = grid->rowCount();
        QLabel *code = panel(row.code, grid->parentWidget());
        code->setFixedWidth(CodeWidth);
        QLabel *caption = panel(row.caption, grid->parentWidget());
        caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // A long caption wraps rather than pushing the value column out of view.
        caption->setWordWrap(true);
        QWidget *field = buildField(row);
        field->setFixedWidth(ValueWidth);
        grid->addWidget(code, line, 0);
        grid->addWidget(caption, line, 1);
        grid->addWidget(field, line, 2);
        m_fields[row.index] = field;
    }
    if (grid)
        grid->setRowStretch(grid->rowCount(), 1);
    // The rows never scroll sideways by themselves: their area is as wide as they need, and
    // a narrower page scrolls header and rows together.
    for (auto *rowScroll : m_pageControl->findChildren<QScrollArea *>(QStringLiteral("RowScroll")))
        rowScroll->setMinimumWidth(rowScroll->widget()->minimumSizeHint().width() +
                                   rowScroll->verticalScrollBar()->sizeHint().width() +
                                   2 * rowScroll->frameWidth());
    // What the longest list text needs, for a window wide enough to give it.
    for (QWidget *f : std::as_const(m_fields)) {
        auto *combo = qobject_cast<QComboBox *>(f);
        if (!combo)
            continue;
        int widest = 0;
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
        QStyleOptionComboBox option;
        option.initFrom(combo);
        const QSize need = combo->style()->sizeFromContents(
            QStyle::CT_ComboBox, &option, QSize(widest, combo->fontMetrics().height()), combo);
        m_valueNeed = std::max(m_valueNeed, need.width());
    }
}

void TDnLdForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitValueColumn();
}

void TDnLdForm::fitValueColumn()
{
    // A window wider than it was made gives half of the extra width to the values, up to what
    // the longest list text needs, so a maximised window shows list texts whole.
    const int extra = std::max(0, width() - FormWidth);
    const int valueWidth = std::clamp(ValueWidth + extra / 2, ValueWidth, m_valueNeed);
    if (valueWidth == m_valueWidth)
        return;
    const int grown = valueWidth - m_valueWidth;
    m_valueWidth = valueWidth;
    for (QWidget *f : std::as_const(m_fields))
        if (f)
            f->setFixedWidth(valueWidth);
    for (QLabel *header : m_pageControl->findChildren<QLabel *>(QStringLiteral("ValueHeader")))
        header->setFixedWidth(valueWidth);
    for (auto *rowScroll : m_pageControl->findChildren<QScrollArea *>(QStringLiteral("RowScroll")))
        rowScroll->setMinimumWidth(rowScroll->minimumWidth() + grown);
}

QWidget *TDnLdForm::buildField(const ParameterRow &row)
{
    const int entry = row.index;
    if (row.isList()) {
        auto *combo = new QComboBox;
        combo->addItems(row.items);
        combo->setProperty("Tag", entry);
        if (row.disabled)
            combo->setStyleSheet(ReadOnlyStyle);
        showWholeItems(combo);
        connect(combo, &QComboBox::currentIndexChanged, this,
                [this, entry](int) { ComboBoxChange(entry); });
        return combo;
    }
    auto *edit = new ParameterSpinEdit;
    edit->setDecimals(row.decimals);
    edit->setProperty("Tag", entry);
    if (row.readOnly) {
        edit->setReadOnly(true);
        edit->setStyleSheet(ReadOnlyStyle);
    }
    connect(edit, &ParameterSpinEdit::fieldTextChanged, this, [this, entry] { EditChange(entry); });
    // A correction waits for the end of the typing: a number is never built on a corrected
    // prefix ("2" of "220" shown as the minimum).
    // Bound to the transfer, not the window: a field losing its focus while the window is
    // taken down reaches no half-destroyed window.
    ParameterTransfer *transfer = m_transfer;
    connect(edit, &QAbstractSpinBox::editingFinished, transfer, [transfer, edit, entry] {
        const QString text = transfer->shown(entry).text;
        if (!transfer->isUnread(entry) && edit->fieldText() != text) {
            const QSignalBlocker blocker(edit);
            edit->setFieldText(text);
        }
    });
    return edit;
}

// --- events ----------------------------------------------------------------------------

void TDnLdForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Restoring a minimised window shows it again; only the first show loads.
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TDnLdForm::FormShow()
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->resize(frame->size() - size() + QSize(FormWidth, FormHeight));
    else
        resize(FormWidth, FormHeight);
    PostMessage(this, Msg::OpenEditor);
}

void TDnLdForm::customEvent(QEvent *event)
{
    if (event->type() != WindowMessage::eventType())
        return;
    auto *message = static_cast<WindowMessage *>(event);
    if (message->message() == Msg::OpenEditor)
        FormLoad();
    else
        m_transfer->handleMessage(message);
}

void TDnLdForm::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // "ЗАГР" is the cancel button: Esc clicks it while it is enabled.
        if (m_downLoadBtn->isEnabled())
            m_downLoadBtn->click();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // "ЧТЕН" is the default button.
        if (m_upLoadBtn->isEnabled())
            m_upLoadBtn->click();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TDnLdForm::closeEvent(QCloseEvent *event)
{
    // Approved: the main window has asked already, while closing the program.
    if (closeApproved() || FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TDnLdForm::FormCloseQuery()
{
    return discardApproved(OperatorDialogs::Buttons::YesNo);
}

bool TDnLdForm::discardApproved(OperatorDialogs::Buttons buttons)
{
    if (!m_transfer->isModified())
        return true;
    const DialogOwner owner(window());
    const auto answer = OperatorDialogs::instance().message(
        windowTitle(),
        QStringLiteral(
            "Parameters has been modified\nDo you want to discard the modified parameters?"),
        OperatorDialogs::Icon::Stop, buttons);
    return answer == OperatorDialogs::Answer::Yes;
}

// --- handlers --------------------------------------------------------------------------

void TDnLdForm::FormLoad()
{
    if (m_transfer->isBusy())
        return;
    m_transfer->setSlot(
        ParameterTransfer::slotFromCaption(windowTitle(), int(m_captionPrefix.size())));
    m_transfer->Load();
}

void TDnLdForm::UpLoadBtnClick()
{
    // An upload overwrites the working copy: unsent edits go only when the operator says so,
    // with the same question as closing the window. Enter reaches here as the default button,
    // so No is the question's default: a second Enter keeps the edits.
    if (!discardApproved(OperatorDialogs::Buttons::YesNoDefaultNo))
        return;
    m_transfer->startUpload();
}

void TDnLdForm::DownLoadBtnClick()
{
    // A field still being typed in shows what is sent before it is sent.
    showValues();
    m_transfer->startDownload();
}

void TDnLdForm::DefaultBtnClick()
{
    m_transfer->applyDefaults();
}

void TDnLdForm::ComboBoxChange(int entry)
{
    auto *combo = qobject_cast<QComboBox *>(field(entry));
    if (!combo)
        return;
    if (!m_transfer->selectItem(entry, combo->currentIndex())) {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(m_transfer->shown(entry).itemIndex);
    }
    compareAfterEdit();
}

void TDnLdForm::EditChange(int entry)
{
    auto *edit = qobject_cast<ParameterSpinEdit *>(field(entry));
    if (!edit)
        return;
    const ParameterField::Edited edited = m_transfer->editText(entry, edit->fieldText());
    if (edited.corrected && !edit->hasFocus()) {
        const QSignalBlocker blocker(edit);
        edit->setFieldText(edited.correctedText);
    }
    compareAfterEdit();
}

// --- the view of the transfer ----------------------------------------------------------

void TDnLdForm::showValues()
{
    for (int entry = 0; entry < m_fields.size(); ++entry) {
        const ParameterField::Shown shown = m_transfer->shown(entry);
        if (auto *combo = qobject_cast<QComboBox *>(m_fields[entry])) {
            const QSignalBlocker blocker(combo);
            combo->setCurrentIndex(shown.itemIndex);
        } else if (auto *edit = qobject_cast<ParameterSpinEdit *>(m_fields[entry])) {
            const QSignalBlocker blocker(edit);
            const ParameterRow &row = m_transfer->row(entry);
            // A value not read from the drive shows nothing; one outside the bounds as read.
            edit->setFieldText(m_transfer->isUnread(entry) ? QString() : shown.text);
            edit->setToolTip(m_transfer->isUnread(entry) ? QStringLiteral("Не прочитано")
                             : shown.outside
                                 ? QStringLiteral("Вне диапазона %1..%2")
                                       .arg(row.formatValue(row.rawMinimum),
                                            row.formatValue(row.rawMaximum))
                                 : QString());
        }
    }
}

void TDnLdForm::updateControls()
{
    m_upLoadBtn->setEnabled(m_transfer->canUpload() && m_transfer->count() > 0);
    m_downLoadBtn->setEnabled(m_transfer->canDownload());
    m_defaultBtn->setEnabled(m_transfer->canDefault());
    m_compareBtn->setEnabled(!m_transfer->isBusy() && m_transfer->count() > 0);
    m_takeFileBtn->setEnabled(m_transfer->canEdit() && !m_compareValues.isEmpty());
    // No edits while a transfer runs.
    const bool editable = m_transfer->canEdit();
    const bool busy = m_transfer->isBusy();
    for (int entry = 0; entry < m_fields.size(); ++entry) {
        const ParameterRow &row = m_transfer->row(entry);
        if (auto *combo = qobject_cast<QComboBox *>(m_fields[entry]))
            combo->setEnabled(editable && !row.disabled && !row.firstItemOnly);
        else if (m_fields[entry])
            m_fields[entry]->setEnabled(!busy);
    }
}

void TDnLdForm::showProgress(int position, int maximum, const QString &text)
{
    m_progressBar->setMaximum(std::max(1, maximum));
    m_progressBar->setValue(position);
    m_msgPanel->setText(text);
}

void TDnLdForm::transferFinished(const ParameterTransfer::Outcome &outcome)
{
    // The transfer's last exchange ends here: the outcome is shown from the main window's
    // event loop, not from inside the bus callback, over this window even while the operator
    // works in another one.
    OperatorNotice notice;
    notice.caption = windowTitle();
    notice.text = outcome.text;
    notice.icon = outcome.ok ? OperatorNotice::Icon::Information : OperatorNotice::Icon::Warning;
    notice.owner = window();
    ReportNotice(notice);
    // A window of its own comes back to the front.
    if (isWindow() && isVisible()) {
        raise();
        activateWindow();
    }
}

// --- compare with a setup file ---------------------------------------------------------

void TDnLdForm::CompareBtnClick()
{
    if (m_transfer->isBusy() || m_transfer->count() == 0)
        return;
    const DialogOwner owner(window());
    OperatorDialogs::FileRequest request;
    request.title = QStringLiteral("Сравнить с файлом");
    request.filter = QStringLiteral("*.ini (Setup File) (*.ini);;All files (*)");
    request.defaultSuffix = QStringLiteral("ini");
    request.confirmOverwrite = false;
    const QString fileName = OperatorDialogs::instance().openFileName(request);
    if (fileName.isEmpty())
        return;
    IniFile ini(fileName);
    QString why;
    if (!ini.load(&why)) {
        ShowMessage(windowTitle(),
                    QStringLiteral("Не удалось прочитать %1: %2").arg(fileName, why));
        return;
    }
    const QString model = m_transfer->plan().model;
    QList<int> candidates;
    for (int slot = 0; slot < TDM::SlotCount; ++slot)
        if (ParameterDiff::sectionModel(ini, slot) == model)
            candidates << slot;
    if (candidates.isEmpty()) {
        ShowMessage(windowTitle(), QStringLiteral("В файле %1 нет ПЧ %2").arg(fileName, model),
                    OperatorDialogs::Icon::Information);
        return;
    }
    const int own = ParameterTransfer::slotFromCaption(windowTitle(), int(m_captionPrefix.size()));
    CompareSlotDialog dialog(this);
    dialog.setSlots(candidates, own,
                    QStringLiteral("ПЧ %1 в файле %2:").arg(model, QFileInfo(fileName).fileName()));
    if (!OperatorDialogs::instance().runModal(&dialog) || dialog.chosenSlot() < 0)
        return;
    const int slot = dialog.chosenSlot();

    clearCompare();
    m_compareFile = ParameterDiff::fromSection(ini, TDM::SectionName(slot), m_transfer->plan());
    m_compareSource = QStringLiteral("%1, %2").arg(QFileInfo(fileName).fileName(),
                                                   TDM::SectionName(slot).trimmed());
    for (const ParameterDiff::Value &value : std::as_const(m_compareFile))
        m_compareValues << (value.state == ParameterDiff::Value::State::Known
                                ? std::optional<int32_t>(value.raw)
                                : std::nullopt);
    ShowMessage(windowTitle(), showCompare(), OperatorDialogs::Icon::Information);
    updateControls();
}

QString TDnLdForm::showCompare()
{
    unmarkCompare();
    const ParameterTransfer::Plan &plan = m_transfer->plan();
    m_compareEntries = ParameterDiff::compare(
        plan, ParameterDiff::fromWorkingCopy(m_transfer->workingCopy()), m_compareFile);
    for (const ParameterDiff::Entry &e : std::as_const(m_compareEntries)) {
        QWidget *f = field(e.entry);
        if (!f)
            continue;
        f->setProperty(SavedStyle, f->styleSheet());
        f->setProperty(SavedToolTip, f->toolTip());
        f->setStyleSheet(DifferStyle);
        f->setToolTip(QStringLiteral("В файле: %1%2")
                          .arg(e.rightText, e.rightUnshowable
                                                ? QStringLiteral(" (поле не может его показать)")
                                                : QString()));
    }
    const QString summary =
        m_compareEntries.isEmpty()
            ? QStringLiteral("Совпадает с %1: %2 параметров").arg(m_compareSource).arg(plan.count())
            : QStringLiteral("Отличается от %1: %2 из %3 параметров")
                  .arg(m_compareSource)
                  .arg(m_compareEntries.size())
                  .arg(plan.count());
    m_msgPanel->setText(summary);
    return summary;
}

void TDnLdForm::compareAfterEdit()
{
    // An edit moves a field towards or away from the file's value.
    if (!m_compareFile.isEmpty())
        showCompare();
}

void TDnLdForm::TakeFileBtnClick()
{
    const QList<std::optional<int32_t>> values = m_compareValues;
    if (values.isEmpty() || !m_transfer->takeValues(values))
        return;
    m_msgPanel->setText(QStringLiteral("Значения взяты из файла: ЗАГР запишет их в ПЧ"));
}

void TDnLdForm::unmarkCompare()
{
    for (const ParameterDiff::Entry &e : std::as_const(m_compareEntries)) {
        if (QWidget *f = field(e.entry)) {
            f->setStyleSheet(f->property(SavedStyle).toString());
            f->setToolTip(f->property(SavedToolTip).toString());
        }
    }
    m_compareEntries.clear();
}

void TDnLdForm::clearCompare()
{
    unmarkCompare();
    m_compareFile.clear();
    m_compareValues.clear();
    updateControls();
}
