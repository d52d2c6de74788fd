#pragma once

#include <QTreeView>

#include <functional>

class QMimeData;

// The frame's tree view. It reports key presses, mouse presses, drag movements and
// drops to the frame, which decides what they do, and drags its branches under a
// format of its own that names this very view, so that a drop can tell its own drags
// from anyone else's.
class TZxTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit TZxTreeView(QWidget *parent = nullptr);

    static const QString MimeType;

    // Return true when the event was handled and the view must not act on it.
    std::function<bool(QKeyEvent *)> OnKeyDown;
    std::function<void(const QPoint &)> OnMouseDown;
    // Return true to accept the drop at the event's position.
    std::function<bool(const QDropEvent *)> OnDragOver;
    std::function<void(const QDropEvent *)> OnDragDrop;

    // What a drag started in this view carries.
    QMimeData *DragMimeData() const;
    // The drag was started in this view (and not in another one or another program).
    bool IsOwnDrag(const QDropEvent *event) const;

    // A label editor is open.
    bool IsEditing() const { return state() == QAbstractItemView::EditingState; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QByteArray m_token;
};
