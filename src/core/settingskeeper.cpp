#include "settingskeeper.h"

#include "zxbase.h"
#include "zxerror.h"
#include "zxjsonwriter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

void TSettingsKeeper::put(const QString &name, Value value)
{
    for (Entry &entry : m_entries) {
        if (entry.name == name) {
            entry.value = std::move(value);
            return;
        }
    }
    m_entries.append(Entry{name, std::move(value)});
}

const TSettingsKeeper::Value *TSettingsKeeper::find(const QString &name) const
{
    for (const Entry &entry : m_entries) {
        if (entry.name == name)
            return &entry.value;
    }
    return nullptr;
}

void TSettingsKeeper::addText(const QString &name, const QString &text) { put(name, text); }

void TSettingsKeeper::addInteger(const QString &name, qint64 value) { put(name, value); }

void TSettingsKeeper::addGroup(const QString &name, TSettingsKeeper group)
{
    put(name, std::make_shared<const TSettingsKeeper>(std::move(group)));
}

std::optional<QString> TSettingsKeeper::TryGetStringValue(const QString &name) const
{
    const Value *value = find(name);
    if (!value)
        return std::nullopt;
    if (const auto *text = std::get_if<QString>(value))
        return *text;
    if (const auto *number = std::get_if<qint64>(value))
        return QString::number(*number);
    return std::nullopt;
}

std::optional<qint64> TSettingsKeeper::TryGetIntegerValue(const QString &name) const
{
    const Value *value = find(name);
    if (!value)
        return std::nullopt;
    if (const auto *number = std::get_if<qint64>(value))
        return *number;
    if (const auto *text = std::get_if<QString>(value)) {
        if (ZxTrim(*text).isEmpty())
            return std::nullopt;
        try {
            return TextToInt64(*text);
        } catch (const EConvertError &) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

const TSettingsKeeper *TSettingsKeeper::TryGetSubsettingsValue(const QString &name) const
{
    const Value *value = find(name);
    if (!value)
        return nullptr;
    if (const auto *group = std::get_if<std::shared_ptr<const TSettingsKeeper>>(value))
        return group->get();
    return nullptr;
}

namespace {

// A JSON number read back as text, in the form in which people write it.
QString numberText(double value)
{
    if (std::abs(value) < 9.0e15 && value == double(qint64(value)))
        return QString::number(qint64(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

TSettingsKeeper fromObject(const QJsonObject &object)
{
    TSettingsKeeper keeper;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonValue value = it.value();
        if (value.isObject())
            keeper.addGroup(it.key(), fromObject(value.toObject()));
        else if (value.isString())
            keeper.addText(it.key(), value.toString());
        else if (value.isDouble())
            keeper.addText(it.key(), numberText(value.toDouble()));
    }
    return keeper;
}

} // namespace

QString TSettingsKeeper::toJson() const { return writer().text(); }

TZxJsonWriter TSettingsKeeper::writer() const
{
    TZxJsonWriter writer(TZxJsonWriter::Layout::Compact);
    for (const Entry &entry : m_entries) {
        if (const auto *text = std::get_if<QString>(&entry.value))
            writer.addString(entry.name, *text);
        else if (const auto *number = std::get_if<qint64>(&entry.value))
            writer.addString(entry.name, QString::number(*number));
        else if (const auto *group = std::get_if<std::shared_ptr<const TSettingsKeeper>>(&entry.value))
            writer.addObject(entry.name, (*group)->writer());
    }
    return writer;
}

TSettingsKeeper TSettingsKeeper::fromJson(const QString &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8());
    if (!document.isObject())
        return {};
    return fromObject(document.object());
}
