#include "setup/OperatorNotices.h"

#include <QTextStream>

namespace {

class StandardErrorNotices : public OperatorNotices
{
public:
    void post(const OperatorNotice &notice) override
    {
        QTextStream err(stderr);
        err << (notice.caption.isEmpty() ? QString() : notice.caption + QStringLiteral(": "))
            << notice.text << '\n';
    }
};

StandardErrorNotices standardError;
OperatorNotices *reader = nullptr;

} // namespace

OperatorNotices &OperatorNotices::instance()
{
    return reader ? *reader : standardError;
}

void OperatorNotices::install(OperatorNotices *notices)
{
    reader = notices;
}

OperatorNotices *OperatorNotices::installed()
{
    return reader;
}
