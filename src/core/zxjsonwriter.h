#pragma once

#include <QString>

// Writes a JSON object whose members keep the order in which they are added (the
// readers on the other side and people comparing texts rely on it). Indented layout:
// one member per line, four spaces per level; compact layout: one line, no spaces.
class TZxJsonWriter
{
public:
    enum class Layout { Compact, Indented };
    explicit TZxJsonWriter(Layout layout = Layout::Indented, int depth = 0);

    void addString(const QString &name, const QString &value);
    void addBool(const QString &name, bool value);
    void addInteger(const QString &name, qint64 value);
    void addNumber(const QString &name, double value);
    void addObject(const QString &name, const TZxJsonWriter &object);

    // A writer for an object nested in this one, at the right depth.
    TZxJsonWriter nested() const { return TZxJsonWriter(m_layout, m_depth + 1); }
    QString text() const;

    static QString quote(const QString &text);

private:
    void addRaw(const QString &name, const QString &jsonValue);

    Layout m_layout;
    int m_depth;
    QString m_members;
    bool m_empty = true;
};
