#pragma once

#include <QIcon>
#include <QList>
#include <QPixmap>

// The tree's ten images, drawn in code: 0 a branch created in this view; 1, 2, 3 the
// normal, selected and expanded images of a loaded branch; 4, 5, 6 the same for a
// branch marked deleted; 7, 8, 9 the same for a branch with rights entries.
class TZxTreeImages
{
public:
    enum Index {
        New = 0,
        Normal = 1,
        Selected = 2,
        Expanded = 3,
        DeletedNormal = 4,
        DeletedSelected = 5,
        DeletedExpanded = 6,
        RightsNormal = 7,
        RightsSelected = 8,
        RightsExpanded = 9,
    };
    static constexpr int Count = 10;

    explicit TZxTreeImages(int size = 16);

    int Size() const { return m_size; }
    // A null pixmap or icon for an index out of range.
    QPixmap Pixmap(int index) const;
    QIcon Icon(int index) const;

private:
    int m_size;
    QList<QPixmap> m_pixmaps;
    QList<QIcon> m_icons;
};
