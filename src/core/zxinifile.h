#pragma once

#include <QString>
#include <QStringList>

// An ini-style settings file: "[Section]" lines open sections, "Key=Value" lines follow.
// Section and key names compare without regard to case; a value is everything after the
// first "=" of its line, kept exactly. The file is read when the object is made and
// rewritten whole (through a temporary file that replaces it) by each write, so a crash
// never leaves a half-written file behind. Lines this class does not understand are kept.
class TZxIniFile
{
public:
    explicit TZxIniFile(QString path);

    const QString &path() const { return m_path; }
    QString ReadString(const QString &section, const QString &key, const QString &fallback = {}) const;
    // Throws EInOutError when the file cannot be written; the old file then stays as it was.
    void WriteString(const QString &section, const QString &key, const QString &value);

private:
    struct Location
    {
        qsizetype sectionLine = -1;
        qsizetype keyLine = -1;
        qsizetype sectionEnd = -1; // the line after the section's last key line
    };
    Location locate(const QString &section, const QString &key) const;
    void save();

    QString m_path;
    QStringList m_lines;
    bool m_foreignEncoding = false;
};

// Where the settings file lives: beside the program when that folder is writable,
// otherwise under the same name in the user's configuration folder.
QString SettingsFilePath();
// The rule itself, for a given place beside the program.
QString ChooseSettingsFile(const QString &besideProgram);
// Tests point the settings at a file of their own; an empty path restores the rule.
void SetSettingsFilePath(const QString &path);

// One entry of the settings file, read or replaced whole.
QString ReadSettingsEntry(const QString &section, const QString &key);
void WriteSettingsEntry(const QString &section, const QString &key, const QString &value);
