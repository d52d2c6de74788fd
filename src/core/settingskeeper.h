#pragma once

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <variant>

// A small tree of named values kept in one settings entry: texts, integers and nested
// groups. Written as a one-line JSON object in which integers are JSON strings.
class TZxJsonWriter;

class TSettingsKeeper
{
public:
    void addText(const QString &name, const QString &text);
    void addInteger(const QString &name, qint64 value);
    void addGroup(const QString &name, TSettingsKeeper group);

    std::optional<QString> TryGetStringValue(const QString &name) const;
    // An integer as is, or a text read as a decimal integer ("$" for hexadecimal).
    std::optional<qint64> TryGetIntegerValue(const QString &name) const;
    const TSettingsKeeper *TryGetSubsettingsValue(const QString &name) const;

    bool isEmpty() const { return m_entries.isEmpty(); }

    QString toJson() const;
    // An empty, malformed or non-object text gives an empty keeper.
    static TSettingsKeeper fromJson(const QString &json);

private:
    // Groups are immutable once added, so copies of a keeper may share them.
    using Value = std::variant<QString, qint64, std::shared_ptr<const TSettingsKeeper>>;
    struct Entry
    {
        QString name;
        Value value;
    };
    void put(const QString &name, Value value);
    TZxJsonWriter writer() const;
    const Value *find(const QString &name) const;

    QList<Entry> m_entries;
};
