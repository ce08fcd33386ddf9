#include "serial/ReceivedBatch.h"

void ReceivedBatch::append(const char *bytes, qsizetype count, qint64 atUs)
{
    if (count <= 0)
        return;
    m_bytes.append(bytes, count);
    m_pieces.append({m_bytes.size(), atUs});
}

void ReceivedBatch::clear()
{
    m_bytes.clear();
    m_pieces.clear();
}

QByteArray ReceivedBatch::piece(qsizetype i) const
{
    const qsizetype start = i > 0 ? m_pieces[i - 1].end : 0;
    return m_bytes.mid(start, m_pieces[i].end - start);
}
