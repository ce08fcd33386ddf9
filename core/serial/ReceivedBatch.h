#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>

// Bytes a listening line received, in the pieces its reads returned, each stamped with the
// time the read returned them (microseconds since the epoch): the time its last byte had
// arrived, as near as the line lets one know. Handed over as one batch per burst, so that the
// reader of a busy line is woken once for many frames and still knows when each piece came.
class ReceivedBatch
{
public:
    struct Piece
    {
        qsizetype end = 0; // one past the piece's last byte in bytes()
        qint64 atUs = 0;
    };

    // Appends a piece; an empty one is ignored.
    void append(const char *bytes, qsizetype count, qint64 atUs);
    void clear();

    bool isEmpty() const { return m_bytes.isEmpty(); }
    qsizetype size() const { return m_bytes.size(); }
    const QByteArray &bytes() const { return m_bytes; }
    const QList<Piece> &pieces() const { return m_pieces; }
    // The bytes of piece i.
    QByteArray piece(qsizetype i) const;

private:
    QByteArray m_bytes;
    QList<Piece> m_pieces;
};

Q_DECLARE_METATYPE(ReceivedBatch)
