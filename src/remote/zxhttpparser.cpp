#include "zxhttpparser.h"

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')
                        || QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
        if (!ok)
            return false;
    }
    return true;
}

bool hasToken(const QByteArray &list, const char *token)
{
    for (const QByteArray &part : list.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

TZxHttpParser::TZxHttpParser(TMode mode, qint64 maxBody, qsizetype maxHead)
    : m_mode(mode), m_maxBody(maxBody), m_maxHead(maxHead)
{
}

void TZxHttpParser::Append(const QByteArray &data)
{
    if (m_broken)
        return;
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

TZxHttpParser::TStep TZxHttpParser::malformed(int status, const char *text)
{
    m_broken = true;
    m_errorStatus = status;
    m_errorText = text;
    m_buffer.clear();
    m_pos = 0;
    return TStep::Malformed;
}

QByteArray TZxHttpParser::Header(const QByteArray &name) const
{
    for (const auto &[key, value] : m_headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool TZxHttpParser::parseHead(const QByteArray &head)
{
    // The head comes without its final empty line; every line ends with CR LF and holds
    // no other CR or LF.
    QList<QByteArray> lines;
    qsizetype from = 0;
    while (true) {
        const qsizetype cut = head.indexOf("\r\n", from);
        lines.append(head.mid(from, cut < 0 ? -1 : cut - from));
        if (cut < 0)
            break;
        from = cut + 2;
    }
    for (const QByteArray &line : lines)
        if (line.contains('\r') || line.contains('\n'))
            return false;
    const QByteArray &start = lines.first();
    QByteArray version;
    if (m_mode == TMode::Request) {
        const QList<QByteArray> parts = start.split(' ');
        if (parts.size() != 3 || !isToken(parts[0]) || parts[1].isEmpty())
            return false;
        m_method = parts[0];
        m_path = parts[1];
        const qsizetype query = m_path.indexOf('?');
        if (query >= 0)
            m_path.truncate(query);
        version = parts[2];
    } else {
        const qsizetype firstSpace = start.indexOf(' ');
        if (firstSpace < 0)
            return false;
        version = start.left(firstSpace);
        const QByteArray rest = start.mid(firstSpace + 1);
        const QByteArray code = rest.left(3);
        bool ok = false;
        m_status = code.toInt(&ok);
        if (!ok || code.size() != 3 || (rest.size() > 3 && rest.at(3) != ' '))
            return false;
        m_reason = rest.mid(4);
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        m_errorStatus = 505;
        return false;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        const QByteArray name = line.left(colon);
        if (!isToken(name))
            return false;
        m_headers.append({name, line.mid(colon + 1).trimmed()});
    }
    const QByteArray connection = Header("Connection");
    m_keepAlive = version == "HTTP/1.1" ? !hasToken(connection, "close")
                                        : hasToken(connection, "keep-alive");
    return true;
}

TZxHttpParser::TStep TZxHttpParser::ParseHead(const QByteArray &head)
{
    m_method.clear();
    m_path.clear();
    m_status = 0;
    m_reason.clear();
    m_headers.clear();
    m_body.clear();
    m_contentLength = 0;
    m_errorStatus = 0;
    if (head.size() + 4 > m_maxHead)
        return malformed(431, "Request Header Fields Too Large");
    if (!parseHead(head))
        return m_errorStatus == 505 ? malformed(505, "HTTP Version Not Supported")
                                    : malformed(400, "Bad Request");
    if (!Header("Transfer-Encoding").isEmpty())
        return malformed(501, "Transfer-Encoding Not Implemented");

    int lengthHeaders = 0;
    for (const auto &[key, value] : m_headers)
        if (key.compare("Content-Length", Qt::CaseInsensitive) == 0)
            ++lengthHeaders;
    if (lengthHeaders > 1)
        return malformed(400, "Bad Request");
    if (lengthHeaders == 0) {
        if (m_mode == TMode::Response || m_method == "POST" || m_method == "PUT")
            return malformed(411, "Length Required");
    } else {
        const QByteArray lengthText = Header("Content-Length");
        bool ok = !lengthText.isEmpty() && lengthText.size() <= 18;
        for (const char c : lengthText)
            ok = ok && c >= '0' && c <= '9';
        if (!ok)
            return malformed(400, "Bad Request");
        m_contentLength = lengthText.toLongLong();
    }
    return m_contentLength > m_maxBody ? TStep::BodyTooLarge : TStep::Message;
}

TZxHttpParser::TStep TZxHttpParser::Next()
{
    if (m_broken)
        return TStep::Malformed;
    if (m_discard > 0)
        return TStep::NeedMore;
    if (!m_headDone) {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n", m_pos);
        if (end < 0) {
            if (m_buffer.size() - m_pos > m_maxHead)
                return malformed(431, "Request Header Fields Too Large");
            return TStep::NeedMore;
        }
        const TStep head = ParseHead(m_buffer.mid(m_pos, end - m_pos));
        if (head == TStep::Malformed)
            return head;
        // Kept relative to the message's start: appending may move the buffer.
        m_bodyOffset = end + 4 - m_pos;
        if (head == TStep::BodyTooLarge) {
            const qsizetype bodyStart = m_pos + m_bodyOffset;
            const qint64 buffered = m_buffer.size() - bodyStart;
            const qint64 dropped = qMin<qint64>(buffered, m_contentLength);
            m_pos = bodyStart + qsizetype(dropped);
            m_discard = m_contentLength - dropped;
            compact();
            return TStep::BodyTooLarge;
        }
        m_headDone = true;
        // One allocation for the whole body instead of growing step by step.
        if (m_pos == 0)
            m_buffer.reserve(m_bodyOffset + qsizetype(m_contentLength));
    }
    const qsizetype bodyStart = m_pos + m_bodyOffset;
    if (m_buffer.size() - bodyStart < m_contentLength)
        return TStep::NeedMore;
    m_headDone = false;
    const qsizetype end = bodyStart + qsizetype(m_contentLength);
    if (end == m_buffer.size()) {
        // The usual case: the body is the tail of the buffer and is handed over whole.
        m_body = std::move(m_buffer);
        m_body.remove(0, bodyStart);
        m_buffer = QByteArray();
        m_pos = 0;
    } else {
        m_body = m_buffer.mid(bodyStart, qsizetype(m_contentLength));
        m_pos = end;
        compact();
    }
    return TStep::Message;
}

void TZxHttpParser::compact()
{
    if (m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    } else if (m_pos > 65536 && m_pos > m_buffer.size() / 2) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
}
