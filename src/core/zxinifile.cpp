#include "zxinifile.h"

#include "zxbase.h"
#include "zxerror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

namespace {

QString g_settingsPathOverride;

bool isSectionLine(const QString &trimmed)
{
    return trimmed.startsWith(u'[') && trimmed.endsWith(u']');
}

QString sectionName(const QString &trimmed) { return trimmed.mid(1, trimmed.size() - 2).trimmed(); }

QString keyOf(const QString &line)
{
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? QString() : line.left(eq).trimmed();
}

} // namespace

TZxIniFile::TZxIniFile(QString path) : m_path(std::move(path))
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        // Not ours: an older file in a local code page. Read it byte for byte and keep a
        // copy of the original before the first rewrite.
        m_foreignEncoding = true;
        text = QString::fromLatin1(bytes);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_lines = text.split(u'\n');
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

TZxIniFile::Location TZxIniFile::locate(const QString &section, const QString &key) const
{
    Location found;
    bool inSection = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString trimmed = m_lines.at(i).trimmed();
        if (isSectionLine(trimmed)) {
            if (inSection)
                return found;
            inSection = sectionName(trimmed).compare(section, Qt::CaseInsensitive) == 0;
            if (inSection) {
                found.sectionLine = i;
                found.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        const QString lineKey = keyOf(m_lines.at(i));
        if (lineKey.isEmpty())
            continue;
        found.sectionEnd = i + 1;
        if (found.keyLine < 0 && lineKey.compare(key, Qt::CaseInsensitive) == 0)
            found.keyLine = i;
    }
    return found;
}

QString TZxIniFile::ReadString(const QString &section, const QString &key, const QString &fallback) const
{
    const Location found = locate(section, key);
    if (found.keyLine < 0)
        return fallback;
    const QString &line = m_lines.at(found.keyLine);
    return line.mid(line.indexOf(u'=') + 1);
}

void TZxIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    QString flat = value;
    flat.replace(u'\r', u' ').replace(u'\n', u' '); // one value, one line
    const Location found = locate(section, key);
    if (found.keyLine >= 0) {
        // keep the key as the file spells it
        QString &line = m_lines[found.keyLine];
        line = line.left(line.indexOf(u'=') + 1) + flat;
        save();
        return;
    }
    const QString line = key + u'=' + flat;
    if (found.sectionLine >= 0) {
        m_lines.insert(found.sectionEnd, line);
    } else {
        m_lines.append(u'[' + section + u']');
        m_lines.append(line);
    }
    save();
}

void TZxIniFile::save()
{
    const QFileInfo info(m_path);
    QDir().mkpath(info.absolutePath());
    if (m_foreignEncoding && info.exists()) {
        const QString backup = m_path + QStringLiteral(".bak");
        QFile::remove(backup);
        QFile::copy(m_path, backup);
        m_foreignEncoding = false;
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError(QStringLiteral("Не удается записать файл настроек \"%1\": %2")
                              .arg(m_path, file.errorString()));
    const QByteArray bytes = (m_lines.join(u'\n') + u'\n').toUtf8();
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EInOutError(QStringLiteral("Не удается записать файл настроек \"%1\": %2")
                              .arg(m_path, file.errorString()));
}

QString SettingsFilePath()
{
    if (!g_settingsPathOverride.isEmpty())
        return g_settingsPathOverride;
    return ChooseSettingsFile(QDir::fromNativeSeparators(IniFileName()));
}

QString ChooseSettingsFile(const QString &besideProgram)
{
    const QFileInfo info(besideProgram);
    const QFileInfo folder(info.absolutePath());
    if (folder.isWritable() && (!info.exists() || info.isWritable()))
        return besideProgram;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/'
           + info.fileName();
}

void SetSettingsFilePath(const QString &path) { g_settingsPathOverride = path; }

QString ReadSettingsEntry(const QString &section, const QString &key)
{
    return TZxIniFile(SettingsFilePath()).ReadString(section, key);
}

void WriteSettingsEntry(const QString &section, const QString &key, const QString &value)
{
    TZxIniFile(SettingsFilePath()).WriteString(section, key, value);
}
