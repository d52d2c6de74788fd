// Input: one byte (its top bit: response instead of request; the whole byte: how the
// stream is cut into reads), then the bytes of an HTTP stream. Read in pieces, the
// parser must yield the same messages as when the stream comes at once, each body as
// long as its Content-Length, and refuse only with the statuses it names.
#include "fuzzsupport.h"

#include "zxhttpparser.h"

#include <QList>

namespace {

using TStep = TZxHttpParser::TStep;

// Small bounds, so that short inputs reach the refusals of long heads and bodies.
constexpr qint64 MaxBody = 1024;
constexpr qsizetype MaxHead = 1024;

// One step with everything the parser then offers, as one comparable text.
QByteArray describe(TStep step, const TZxHttpParser &parser)
{
    QByteArray out = QByteArray::number(int(step));
    switch (step) {
    case TStep::NeedMore:
        break;
    case TStep::Malformed:
        out += ' ' + QByteArray::number(parser.ErrorStatus()) + ' ' + parser.ErrorText();
        break;
    case TStep::Message:
    case TStep::BodyTooLarge:
        out += ' ' + parser.Method() + ' ' + parser.Path() + ' ' + QByteArray::number(parser.Status()) + ' '
               + parser.Reason() + ' ' + QByteArray::number(parser.ContentLength()) + ' '
               + (parser.KeepAlive() ? "keep" : "close") + ' ' + parser.Header("Connection");
        if (step == TStep::Message)
            out += '\n' + parser.Body();
        break;
    }
    return out;
}

void check(TStep step, TZxHttpParser &parser)
{
    if (step == TStep::Message && parser.Body().size() != parser.ContentLength())
        fuzzFinding("the body is not as long as its Content-Length");
    if (step == TStep::BodyTooLarge && parser.ContentLength() <= MaxBody)
        fuzzFinding("a body within the bound is refused");
    if (step == TStep::Malformed) {
        const int status = parser.ErrorStatus();
        if (status != 400 && status != 411 && status != 431 && status != 501 && status != 505)
            fuzzFinding("a refusal with an unexpected status");
        if (parser.Next() != TStep::Malformed)
            fuzzFinding("a broken stream reads on");
    }
}

// Feeds the pieces one by one, taking every step after each; stops at a refusal like the
// server's connection does.
QList<QByteArray> run(TZxHttpParser::TMode mode, const QList<QByteArray> &pieces)
{
    TZxHttpParser parser(mode, MaxBody, MaxHead);
    QList<QByteArray> steps;
    for (const QByteArray &piece : pieces) {
        parser.Append(piece);
        while (true) {
            const TStep step = parser.Next();
            if (step == TStep::NeedMore)
                break;
            check(step, parser);
            steps.append(describe(step, parser));
            if (step == TStep::Malformed)
                return steps;
        }
    }
    return steps;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const auto mode = (data[0] & 0x80) != 0 ? TZxHttpParser::TMode::Response : TZxHttpParser::TMode::Request;
    const QByteArray stream(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    QList<QByteArray> pieces;
    TFuzzChunker chunks(stream, data[0]);
    QByteArray chunk;
    while (chunks.next(chunk))
        pieces.append(chunk);
    if (run(mode, pieces) != run(mode, {stream}))
        fuzzFinding("the messages depend on how the stream was cut");
    return 0;
}
