#pragma once

#include <QString>
#include <exception>

// The common error base type of the system. Every failure that an operation may catch
// and report carries a class name (the error kind, as users see it in error texts) and
// a message. Errors from the document server keep the server's class name.
class EZxError : public std::exception
{
public:
    EZxError(QString className, QString message);

    const QString &className() const { return m_className; }
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_className;
    QString m_message;
    QByteArray m_what;
};

// A text that is not a number, a date or another expected form.
class EConvertError : public EZxError
{
public:
    explicit EConvertError(QString message);
};

// A local file could not be read or written.
class EInOutError : public EZxError
{
public:
    explicit EInOutError(QString message);
};

// A step abandoned on purpose after the user has been told why; reporting paths stay
// silent for it.
class EAbort : public EZxError
{
public:
    EAbort();
};

// The phrases of the error-text convention: what failed, each starting with a space.
namespace ZxPhrase {
inline const QString RemoteCall = QStringLiteral(" Ошибка вызова удаленной процедуры.");
inline const QString RemoteRun = QStringLiteral(" Ошибка выполнения удаленной процедуры.");
inline const QString LocalStep = QStringLiteral(" Ошибка выполнения процедуры.");
inline const QString FileTransfer = QStringLiteral(" Ошибка пересылки файла.");
inline const QString FileSend = QStringLiteral(" Ошибка отправки файла.");
inline const QString FileOpen = QStringLiteral(" Ошибка открытия файла.");
inline const QString FileCopy = QStringLiteral(" Ошибка копирования файла.");
inline const QString FileSave = QStringLiteral(" Ошибка сохранения файла.");
inline const QString SaveOrSend = QStringLiteral(" Ошибка сохранения/передачи файла.");
inline const QString Save = QStringLiteral(" Ошибка сохранения.");
inline const QString Thumbnail = QStringLiteral(" Ошибка создания миниатюры.");
inline const QString Connect = QStringLiteral(" Ошибка подключения.");
inline const QString SettingsSave = QStringLiteral(" Ошибка сохранения настроек.");
inline const QString SettingsRestore = QStringLiteral(" Ошибка востановления настроек.");
} // namespace ZxPhrase

// The error text of a caught failure: class name, ". Функция " + routine + ".", the
// phrase and, when withMessage is set, "\r" and the error's own message.
QString ZxErrorText(const EZxError &error, const QString &routine, const QString &phrase,
                    bool withMessage = true);
