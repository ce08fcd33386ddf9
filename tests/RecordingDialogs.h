#pragma once

#include "setup/OperatorDialogs.h"

#include <QList>
#include <QStringList>

#include <functional>

// Test double for OperatorDialogs: records every box and answers from queues.
// Install with RecordingDialogs::installNew(); the returned pointer stays valid until the next
// install.
class RecordingDialogs : public OperatorDialogs
{
public:
    struct Shown
    {
        QString caption;
        QString text;
        Icon icon;
        Buttons buttons;
    };

    QList<Shown> shown;
    QList<Answer> answers;        // taken front first; empty: the first button
    QStringList openFileNames;    // taken front first; empty: cancelled
    QStringList saveFileNames;
    QList<FileRequest> fileRequests;
    QList<ChoiceRequest> choiceRequests;
    QList<QStringList> choices;     // taken front first; empty: cancelled
    QStringList modalClasses;       // class names of the dialogs run modally
    // Acts on a modal dialog instead of the operator; returns how it was closed.
    std::function<bool(QObject *)> onModal;

    static RecordingDialogs *installNew()
    {
        auto dialogs = std::make_unique<RecordingDialogs>();
        RecordingDialogs *raw = dialogs.get();
        OperatorDialogs::install(std::move(dialogs));
        return raw;
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Shown &s : shown)
            result << s.text;
        return result;
    }

    Answer message(const QString &caption, const QString &text, Icon icon,
                   Buttons buttons) override
    {
        shown.append({caption, text, icon, buttons});
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
    }
    QString openFileName(const FileRequest &request) override
    {
        fileRequests.append(request);
        return openFileNames.isEmpty() ? QString() : openFileNames.takeFirst();
    }
    QString saveFileName(const FileRequest &request) override
    {
        fileRequests.append(request);
        return saveFileNames.isEmpty() ? QString() : saveFileNames.takeFirst();
    }
    QStringList chooseItems(const ChoiceRequest &request) override
    {
        choiceRequests.append(request);
        return choices.isEmpty() ? QStringList() : choices.takeFirst();
    }
    bool runModal(QObject *dialog) override
    {
        modalClasses.append(QString::fromLatin1(dialog->metaObject()->className()));
        return onModal ? onModal(dialog) : false;
    }
};
