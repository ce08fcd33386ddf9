#pragma once

#include "app/OperatorDialogs.h"

#include <QPointer>
#include <QWidget>

// OperatorDialogs shown as real message boxes and file dialogs over the main window.
class WidgetDialogs : public OperatorDialogs
{
public:
    explicit WidgetDialogs(QWidget *parent = nullptr) : m_parent(parent) {}

    Answer message(const QString &caption, const QString &text, Icon icon,
                   Buttons buttons) override;
    QString openFileName(const FileRequest &request) override;
    QString saveFileName(const FileRequest &request) override;
    QStringList chooseItems(const ChoiceRequest &request) override;
    bool runModal(QObject *dialog) override;

private:
    QPointer<QWidget> m_parent;
};
