#include "app/OperatorDialogs.h"

#include <QTextStream>

namespace {

class StandardErrorDialogs : public OperatorDialogs
{
public:
    Answer message(const QString &caption, const QString &text, Icon, Buttons buttons) override
    {
        QTextStream err(stderr);
        err << (caption.isEmpty() ? QString() : caption + QStringLiteral(": ")) << text << '\n';
        switch (buttons) {
        case Buttons::Ok:
        case Buttons::OkCancel:
            return Answer::Ok;
        case Buttons::YesNo:
        case Buttons::YesNoCancel:
        case Buttons::YesNoDefaultNo:
            return Answer::Yes;
        }
        return Answer::Ok;
    }
    QString openFileName(const FileRequest &) override { return {}; }
    QString saveFileName(const FileRequest &) override { return {}; }
    QStringList chooseItems(const ChoiceRequest &) override { return {}; }
    bool runModal(QObject *) override { return false; }
};

std::unique_ptr<OperatorDialogs> &current()
{
    static std::unique_ptr<OperatorDialogs> dialogs = std::make_unique<StandardErrorDialogs>();
    return dialogs;
}

} // namespace

OperatorDialogs &OperatorDialogs::instance()
{
    return *current();
}

void OperatorDialogs::install(std::unique_ptr<OperatorDialogs> dialogs)
{
    current() = dialogs ? std::move(dialogs) : std::make_unique<StandardErrorDialogs>();
}
