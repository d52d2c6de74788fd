#include "zxwaitcursor_widgets.h"

#include <QApplication>

void TZxOverrideWaitCursor::BusyOn() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void TZxOverrideWaitCursor::BusyOff() { QApplication::restoreOverrideCursor(); }
