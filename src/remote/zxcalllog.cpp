#include "zxcalllog.h"

QString TZxCallLog::Line() const
{
    const auto orDash = [](const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; };
    QString line = orDash(Peer) + u' ' + orDash(Transport) + u' ' + orDash(User) + u' ' + orDash(Method)
                   + u' ' + QString::number(double(DurationUs) / 1000.0, 'f', 1) + QStringLiteral(" ms ");
    if (Ok)
        return line + QStringLiteral("ok");
    QString message = ErrorMessage;
    message.replace(u'\r', u' ').replace(u'\n', u' ');
    return line + ErrorClass + QStringLiteral(": ") + message;
}
