#pragma once

#include <QByteArray>

// Cuts a byte stream into frames: a 4-byte big-endian length, then that many bytes.
// A frame longer than the bound is not kept: its length is reported and its bytes are
// dropped as they arrive, so the stream stays in step and later frames are read again.
class TZxFrameReader
{
public:
    explicit TZxFrameReader(qint64 maxLength);

    enum class TStep {
        NeedMore,  // no complete frame buffered yet
        Frame,     // payload holds the next frame's bytes
        Oversized, // announced holds the refused frame's length
    };

    void Append(const QByteArray &data);
    TStep Next(QByteArray &payload, quint32 &announced);
    // At a frame boundary with nothing buffered and nothing left to drop.
    bool Idle() const { return m_discard == 0 && m_pos == m_buffer.size(); }

private:
    void compact();

    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_discard = 0;
    qint64 m_maxLength;
};
