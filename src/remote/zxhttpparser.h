#pragma once

#include "zxremoteprotocol.h"

#include <QByteArray>
#include <QList>
#include <QPair>

// Reads HTTP/1.1 messages with a Content-Length body from a byte stream, one after the
// other (keep-alive). A request parser and a response parser differ only in the start
// line. Chunked bodies are not accepted: both ends of this protocol always send a length.
class TZxHttpParser
{
public:
    enum class TMode { Request, Response };
    enum class TStep {
        NeedMore,
        Message,      // a whole message is available through the accessors
        BodyTooLarge, // the head is available; the body's bytes are dropped as they arrive
        Malformed,    // the stream cannot be read further; ErrorStatus() and ErrorText() say why
    };

    TZxHttpParser(TMode mode, qint64 maxBody, qsizetype maxHead = ZxHttpMaxHead);

    void Append(const QByteArray &data);
    TStep Next();
    // Reads a head given whole (without its final empty line) for a caller that reads
    // the body itself: Message when the head is fine and ContentLength() bytes of body
    // follow, BodyTooLarge, or Malformed.
    TStep ParseHead(const QByteArray &head);
    // Nothing buffered and nothing left to drop.
    bool Idle() const { return m_discard == 0 && m_pos == m_buffer.size(); }

    const QByteArray &Method() const { return m_method; }
    // The target's path, without a query.
    const QByteArray &Path() const { return m_path; }
    int Status() const { return m_status; }
    const QByteArray &Reason() const { return m_reason; }
    QByteArray Header(const QByteArray &name) const;
    qint64 ContentLength() const { return m_contentLength; }
    const QByteArray &Body() const { return m_body; }
    // Whether the connection stays open after this message.
    bool KeepAlive() const { return m_keepAlive; }

    int ErrorStatus() const { return m_errorStatus; }
    const QByteArray &ErrorText() const { return m_errorText; }

private:
    TStep malformed(int status, const char *text);
    bool parseHead(const QByteArray &head);
    void compact();

    TMode m_mode;
    qint64 m_maxBody;
    qsizetype m_maxHead;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_discard = 0;
    bool m_broken = false;
    bool m_headDone = false;
    qsizetype m_bodyOffset = 0;

    QByteArray m_method;
    QByteArray m_path;
    int m_status = 0;
    QByteArray m_reason;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    qint64 m_contentLength = 0;
    QByteArray m_body;
    bool m_keepAlive = true;
    int m_errorStatus = 0;
    QByteArray m_errorText;
};
