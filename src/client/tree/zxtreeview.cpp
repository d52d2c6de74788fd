#include "zxtreeview.h"

#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

const QString TZxTreeView::MimeType = QStringLiteral("application/x-qira-branch-drag");

TZxTreeView::TZxTreeView(QWidget *parent)
    : QTreeView(parent),
      m_token(QByteArray::number(QCoreApplication::applicationPid()) + ':'
              + QByteArray::number(quintptr(this), 16))
{
}

QMimeData *TZxTreeView::DragMimeData() const
{
    auto *data = new QMimeData;
    data->setData(MimeType, m_token);
    return data;
}

bool TZxTreeView::IsOwnDrag(const QDropEvent *event) const
{
    const QMimeData *data = event->mimeData();
    if (!data || data->data(MimeType) != m_token)
        return false;
    // Within a real drag the source is known; a drag of another widget is not ours even
    // when it carries our format.
    QObject *source = event->source();
    return !source || source == this || source == viewport();
}

void TZxTreeView::keyPressEvent(QKeyEvent *event)
{
    if (OnKeyDown && OnKeyDown(event)) {
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TZxTreeView::mousePressEvent(QMouseEvent *event)
{
    if (OnMouseDown)
        OnMouseDown(event->position().toPoint());
    QTreeView::mousePressEvent(event);
}

void TZxTreeView::startDrag(Qt::DropActions)
{
    // The frame knows the dragged branch from the mouse press; the data only proves
    // where the drag comes from.
    auto *drag = new QDrag(this);
    drag->setMimeData(DragMimeData());
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void TZxTreeView::dragEnterEvent(QDragEnterEvent *event)
{
    if (IsOwnDrag(event)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TZxTreeView::dragMoveEvent(QDragMoveEvent *event)
{
    if (OnDragOver && OnDragOver(event)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TZxTreeView::dropEvent(QDropEvent *event)
{
    event->setDropAction(Qt::MoveAction);
    event->accept();
    if (OnDragDrop)
        OnDragDrop(event);
}
