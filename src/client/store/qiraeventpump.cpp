#include "qiraeventpump.h"

#include <QCoreApplication>

TQiraEventPump::TQiraEventPump(int intervalMs) : m_interval(intervalMs) { m_clock.start(); }

void TQiraEventPump::Pump()
{
    if (m_clock.elapsed() >= m_interval)
        Now();
}

void TQiraEventPump::Now()
{
    QCoreApplication::processEvents();
    m_clock.restart();
}
