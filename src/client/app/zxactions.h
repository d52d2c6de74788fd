#pragma once

#include <QAction>
#include <QList>
#include <functional>

class QTimer;

// A command: one caption, one image, one enabled state and one handler wherever it is
// shown. An action without a handler is shown disabled.
class TZxAction : public QAction
{
    Q_OBJECT

public:
    TZxAction(const QString &name, const QString &category, const QString &caption, QObject *parent);

    QString category() const { return m_category; }
    bool hasHandler() const { return bool(m_handler); }
    void setHandler(std::function<void()> handler);
    // Rules that disable an action on top of having a handler (administrator checks).
    void setAllowed(bool allowed);
    bool allowed() const { return m_allowed; }

private:
    void refreshEnabled();

    QString m_category;
    std::function<void()> m_handler;
    bool m_allowed = true;
};

// A list of actions whose update handler re-captions them when the application is
// idle, as a menu about to show or a button about to paint expects.
class TZxActionList : public QObject
{
    Q_OBJECT

public:
    explicit TZxActionList(QObject *parent = nullptr);

    TZxAction *add(const QString &name, const QString &category, const QString &caption);
    TZxAction *action(const QString &name) const;
    const QList<TZxAction *> &actions() const { return m_actions; }

    void setUpdateHandler(std::function<void()> handler) { m_updateHandler = std::move(handler); }
    // Runs the update handler now; the list also runs it whenever the event loop idles.
    void UpdateActions();

private:
    QList<TZxAction *> m_actions;
    std::function<void()> m_updateHandler;
    QTimer *m_idleTimer = nullptr;
};
