#include "zxframereader.h"

#include <QtEndian>

TZxFrameReader::TZxFrameReader(qint64 maxLength) : m_maxLength(maxLength) {}

void TZxFrameReader::Append(const QByteArray &data)
{
    qsizetype from = 0;
    if (m_discard > 0) {
        from = qsizetype(qMin<qint64>(m_discard, data.size()));
        m_discard -= from;
    }
    if (from < data.size()) {
        compact();
        m_buffer.append(data.constData() + from, data.size() - from);
    }
}

TZxFrameReader::TStep TZxFrameReader::Next(QByteArray &payload, quint32 &announced)
{
    if (m_discard > 0 || m_buffer.size() - m_pos < 4)
        return TStep::NeedMore;
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_pos);
    if (qint64(length) > m_maxLength) {
        announced = length;
        m_pos += 4;
        const qint64 buffered = m_buffer.size() - m_pos;
        const qint64 dropped = qMin<qint64>(buffered, length);
        m_pos += qsizetype(dropped);
        m_discard = length - dropped;
        compact();
        return TStep::Oversized;
    }
    if (m_buffer.size() - m_pos - 4 < qsizetype(length)) {
        // One allocation for the whole frame instead of growing step by step.
        if (m_pos == 0)
            m_buffer.reserve(4 + qsizetype(length));
        return TStep::NeedMore;
    }
    const qsizetype end = m_pos + 4 + qsizetype(length);
    if (end == m_buffer.size()) {
        // The usual case: the frame is the tail of the buffer and is handed over whole.
        payload = std::move(m_buffer);
        payload.remove(0, m_pos + 4);
        m_buffer = QByteArray();
        m_pos = 0;
    } else {
        payload = m_buffer.mid(m_pos + 4, qsizetype(length));
        m_pos = end;
        compact();
    }
    return TStep::Frame;
}

void TZxFrameReader::compact()
{
    if (m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    } else if (m_pos > 65536 && m_pos > m_buffer.size() / 2) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
}
