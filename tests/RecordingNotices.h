#pragma once

#include "setup/OperatorNotices.h"

#include <QStringList>

#include <memory>

// Test double for OperatorNotices: records every notice reported.
// Install with RecordingNotices::installNew(); the returned pointer stays valid until the next
// install.
class RecordingNotices : public OperatorNotices
{
public:
    QList<OperatorNotice> shown;

    static RecordingNotices *installNew()
    {
        static std::unique_ptr<RecordingNotices> current;
        auto notices = std::make_unique<RecordingNotices>();
        OperatorNotices::install(notices.get());
        current = std::move(notices);
        return current.get();
    }

    QStringList texts() const
    {
        QStringList result;
        for (const OperatorNotice &notice : shown)
            result << notice.text;
        return result;
    }

    void post(const OperatorNotice &notice) override { shown.append(notice); }
};
