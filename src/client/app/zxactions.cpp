#include "zxactions.h"

#include <QTimer>

TZxAction::TZxAction(const QString &name, const QString &category, const QString &caption, QObject *parent)
    : QAction(caption, parent), m_category(category)
{
    setObjectName(name);
    refreshEnabled();
    connect(this, &QAction::triggered, this, [this] {
        if (m_handler && isEnabled())
            m_handler();
    });
}

void TZxAction::setHandler(std::function<void()> handler)
{
    m_handler = std::move(handler);
    refreshEnabled();
}

void TZxAction::setAllowed(bool allowed)
{
    m_allowed = allowed;
    refreshEnabled();
}

void TZxAction::refreshEnabled() { setEnabled(m_handler && m_allowed); }

TZxActionList::TZxActionList(QObject *parent) : QObject(parent), m_idleTimer(new QTimer(this))
{
    // A zero-interval timer fires when the event queue has nothing else to do; a short
    // interval keeps an idle application from spinning.
    m_idleTimer->setInterval(100);
    connect(m_idleTimer, &QTimer::timeout, this, &TZxActionList::UpdateActions);
    m_idleTimer->start();
}

TZxAction *TZxActionList::add(const QString &name, const QString &category, const QString &caption)
{
    auto *action = new TZxAction(name, category, caption, this);
    m_actions.append(action);
    return action;
}

TZxAction *TZxActionList::action(const QString &name) const
{
    for (TZxAction *action : m_actions) {
        if (action->objectName() == name)
            return action;
    }
    return nullptr;
}

void TZxActionList::UpdateActions()
{
    if (m_updateHandler)
        m_updateHandler();
}
