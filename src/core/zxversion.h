#pragma once

#include <QString>

// The client's version information.
class Tzxversion
{
public:
    QString Version = QStringLiteral("2.3.17");
    QString PoductCode;
    QString ProductType;
};
