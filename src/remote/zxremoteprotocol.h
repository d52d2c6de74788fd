#pragma once

#include <QByteArray>

// Fixed names and default bounds of the wire format (docs/protocol.md).

inline const QByteArray ZxHttpPath = QByteArrayLiteral("/qira");
inline const QByteArray ZxHttpContentType = QByteArrayLiteral("application/cbor");
inline const QByteArray ZxHttpSessionHeader = QByteArrayLiteral("X-Qira-Session");

inline constexpr quint16 ZxDefaultPort = 211;
// The longest HTTP head (start line and headers) either end accepts.
inline constexpr qsizetype ZxHttpMaxHead = 16384;

// A request must hold one 10 MiB upload chunk and its parameters with room to spare.
inline constexpr qint64 ZxDefaultMaxRequestSize = 16 * 1024 * 1024;
inline constexpr qint64 ZxDefaultMaxReplySize = 512 * 1024 * 1024;
