#include "app/WidgetDialogs.h"

#include "app/DialogOwner.h"
#include "app/TDualListDialog.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(OperatorDialogs::Icon icon)
{
    switch (icon) {
    case OperatorDialogs::Icon::Information:
        return QMessageBox::Information;
    case OperatorDialogs::Icon::Warning:
        return QMessageBox::Warning;
    case OperatorDialogs::Icon::Stop:
        return QMessageBox::Critical;
    case OperatorDialogs::Icon::Question:
        return QMessageBox::Question;
    case OperatorDialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons boxButtons(OperatorDialogs::Buttons buttons)
{
    switch (buttons) {
    case OperatorDialogs::Buttons::Ok:
        return QMessageBox::Ok;
    case OperatorDialogs::Buttons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case OperatorDialogs::Buttons::YesNo:
    case OperatorDialogs::Buttons::YesNoDefaultNo:
        return QMessageBox::Yes | QMessageBox::No;
    case OperatorDialogs::Buttons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QString runFileDialog(QWidget *parent, const OperatorDialogs::FileRequest &request,
                      QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(parent, request.title, request.fileName, request.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

OperatorDialogs::Answer WidgetDialogs::message(const QString &caption, const QString &text,
                                               Icon icon, Buttons buttons)
{
    // The box belongs to the window the operator works in, a top-level editor for one: it
    // opens over that window, which gets the focus back when the box closes.
    QWidget *owner = DialogOwner::current() ? DialogOwner::current() : QApplication::activeWindow();
    QMessageBox box(boxIcon(icon), caption, text, boxButtons(buttons),
                    owner ? owner : m_parent.data());
    if (buttons == Buttons::YesNoDefaultNo) {
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Ok;
    }
}

QString WidgetDialogs::openFileName(const FileRequest &request)
{
    return runFileDialog(DialogOwner::current() ? DialogOwner::current() : m_parent.data(), request,
                         QFileDialog::AcceptOpen);
}

QString WidgetDialogs::saveFileName(const FileRequest &request)
{
    return runFileDialog(DialogOwner::current() ? DialogOwner::current() : m_parent.data(), request,
                         QFileDialog::AcceptSave);
}

QStringList WidgetDialogs::chooseItems(const ChoiceRequest &request)
{
    TDualListDialog dialog(m_parent);
    dialog.setTitle(request.title);
    dialog.setLabels(request.availableLabel, request.chosenLabel);
    dialog.setLists(request.available);
    dialog.execute();
    return dialog.rightItems();
}

bool WidgetDialogs::runModal(QObject *dialog)
{
    auto *window = qobject_cast<QDialog *>(dialog);
    return window && window->exec() == QDialog::Accepted;
}
