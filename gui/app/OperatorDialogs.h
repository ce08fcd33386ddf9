#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// Every message box, question and file dialog of the system goes through this interface.
// The program installs one that shows real dialogs; tests install one that records each text
// and answers from a script, so no test ever blocks on a modal dialog.
class OperatorDialogs
{
public:
    enum class Icon { None, Information, Warning, Stop, Question };
    // YesNoDefaultNo: Yes and No with No as the default button, for questions where Enter
    // must not lose anything.
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
    enum class Answer { Ok, Cancel, Yes, No };

    struct FileRequest
    {
        QString title;
        QString fileName;      // initial name or directory
        QString filter;        // "Setup files (*.ini);;All files (*)"
        QString defaultSuffix; // added when the operator types a name without one
        bool confirmOverwrite = true;
    };

    // The dual list dialog: entries move from the available list to the chosen one.
    struct ChoiceRequest
    {
        QString title;
        QString availableLabel;
        QString chosenLabel;
        QStringList available;
    };

    virtual ~OperatorDialogs() = default;

    virtual Answer message(const QString &caption, const QString &text, Icon icon,
                           Buttons buttons) = 0;
    // An empty name means the operator cancelled.
    virtual QString openFileName(const FileRequest &request) = 0;
    virtual QString saveFileName(const FileRequest &request) = 0;
    // The chosen entries in the order the operator chose them; empty when cancelled.
    virtual QStringList chooseItems(const ChoiceRequest &request) = 0;
    // Shows a dialog window (a QDialog) modally; true when it was closed with OK or Yes.
    // Tests answer without showing anything.
    virtual bool runModal(QObject *dialog) = 0;

    // The dialogs in force; never null. Until one is installed, texts go to standard error
    // and every question is answered with its first button.
    static OperatorDialogs &instance();
    // Installs dialogs (the previous ones are released); null restores the standard-error ones.
    static void install(std::unique_ptr<OperatorDialogs> dialogs);
};

// Shorthand for a box with an OK button.
inline void ShowMessage(const QString &caption, const QString &text,
                        OperatorDialogs::Icon icon = OperatorDialogs::Icon::Stop)
{
    OperatorDialogs::instance().message(caption, text, icon, OperatorDialogs::Buttons::Ok);
}

// The standard box for text typed where an integer is wanted.
inline void ShowInvalidInteger(const QString &text)
{
    ShowMessage(QStringLiteral("Drivelink"),
                QStringLiteral("'%1' is not a valid integer value").arg(text));
}
