#pragma once

#include <QString>

// The document server's remote class; every method is addressed through it.
inline const QString QiraServerClass = QStringLiteral("TQiraServerClass");

// "TQiraServerClass." + name.
inline QString QiraMethod(const QString &name) { return QiraServerClass + u'.' + name; }
