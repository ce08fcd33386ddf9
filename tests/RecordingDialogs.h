#pragma once

#include "app/OperatorDialogs.h"
#include "setup/OperatorNotices.h"

#include <QList>
#include <QStringList>

#include <functional>

// Test double for OperatorDialogs: records every box and answers from queues.
// Install with RecordingDialogs::installNew(); the returned pointer stays valid until the next
// install. Notices are recorded as boxes at once, unless a main window installs its own queue.
class RecordingDialogs : public OperatorDialogs, public OperatorNotices
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
    // Runs while a box is shown, as the box's own event loop would run the program.
    std::function<void(const QString &text)> onMessage;

    static RecordingDialogs *installNew()
    {
        auto dialogs = std::make_unique<RecordingDialogs>();
        RecordingDialogs *raw = dialogs.get();
        OperatorNotices::install(raw);
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
        if (onMessage)
            onMessage(text);
        if (!answers.isEmpty())
            return answers.takeFirst();
        return buttons == Buttons::Ok || buttons == Buttons::OkCancel ? Answer::Ok : Answer::Yes;
    }
    void post(const OperatorNotice &notice) override
    {
        static const Icon icons[] = {Icon::None, Icon::Information, Icon::Warning, Icon::Stop};
        message(notice.caption, notice.text, icons[int(notice.icon)], Buttons::Ok);
    }
    ~RecordingDialogs() override
    {
        if (OperatorNotices::installed() == this)
            OperatorNotices::install(nullptr);
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
