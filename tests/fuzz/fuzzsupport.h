#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

// A broken invariant: reported and aborted, so that libFuzzer keeps the input as a crash.
[[noreturn]] inline void fuzzFinding(const char *what, const QString &detail = {})
{
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toUtf8().constData());
    std::abort();
}

// Cuts a byte stream into pieces of 1 to 64 bytes, as a socket may deliver it; the
// seed makes the cuts part of the input.
class TFuzzChunker
{
public:
    TFuzzChunker(const QByteArray &stream, uint8_t seed) : m_stream(stream), m_random(seed + 1u) {}

    bool next(QByteArray &chunk)
    {
        if (m_pos >= m_stream.size())
            return false;
        const qsizetype size = qsizetype(1 + m_random() % 64);
        chunk = m_stream.mid(m_pos, size);
        m_pos += chunk.size();
        return true;
    }

private:
    QByteArray m_stream;
    qsizetype m_pos = 0;
    std::minstd_rand m_random;
};
