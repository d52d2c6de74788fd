#include "zxerror.h"

EZxError::EZxError(QString className, QString message)
    : m_className(std::move(className)), m_message(std::move(message)),
      m_what((m_className + QStringLiteral(": ") + m_message).toUtf8())
{
}

EConvertError::EConvertError(QString message)
    : EZxError(QStringLiteral("EConvertError"), std::move(message))
{
}

EInOutError::EInOutError(QString message)
    : EZxError(QStringLiteral("EInOutError"), std::move(message))
{
}

EAbort::EAbort() : EZxError(QStringLiteral("EAbort"), QStringLiteral("Operation aborted")) {}

QString ZxErrorText(const EZxError &error, const QString &routine, const QString &phrase,
                    bool withMessage)
{
    QString text = error.className() + QStringLiteral(". Функция ") + routine + u'.' + phrase;
    if (withMessage)
        text += u'\r' + error.message();
    return text;
}
