#include "qiralocalpath.h"

#include "zxbase.h"
#include "zxerror.h"

#include <QDir>

namespace {

[[noreturn]] void refuse(const QString &clientName, const QString &why)
{
    QString shown = clientName;
    shown.replace(QChar(u'\0'), QStringLiteral("\\0"));
    throw EInOutError(QStringLiteral("Недопустимое имя файла \"%1\": %2").arg(shown, why));
}

// "..", and what some systems read as "..": dots with blanks after them.
bool climbs(const QString &part)
{
    const QString trimmed = ZxTrim(part);
    return trimmed.size() >= 2 && trimmed.count(u'.') == trimmed.size();
}

} // namespace

QString QiraLocalPath(const QString &repository, const QString &clientName)
{
    if (clientName.contains(QChar(u'\0')))
        refuse(clientName, QStringLiteral("оно содержит символ NUL"));
    QString name = clientName;
    name.replace(u'\\', u'/');
    if (name.startsWith(u'/'))
        refuse(clientName, QStringLiteral("путь абсолютный"));
    if (name.size() >= 2 && name.at(1) == u':' && name.at(0).isLetter())
        refuse(clientName, QStringLiteral("путь содержит имя диска"));
    if (name.endsWith(u'/'))
        refuse(clientName, QStringLiteral("оно называет папку, а не файл"));
    QStringList parts;
    for (const QString &part : name.split(u'/', Qt::SkipEmptyParts)) {
        if (climbs(part))
            refuse(clientName, QStringLiteral("путь выходит за пределы локального хранилища"));
        if (part != QStringLiteral("."))
            parts.append(part);
    }
    if (parts.isEmpty())
        refuse(clientName, QStringLiteral("имя пустое"));
    const QString root = QDir::cleanPath(repository);
    const QString path = QDir::cleanPath(root + u'/' + parts.join(u'/'));
    if (!path.startsWith(root + u'/') && !(root == QStringLiteral("/") && path.size() > 1))
        refuse(clientName, QStringLiteral("путь выходит за пределы локального хранилища"));
    return path;
}
