#pragma once

#include <QString>

// The record each node of the branch tree carries and owns. Whatever acts on the
// selected branch (file list, transfers, rights, information) reads its Id.
struct ItemRec
{
    QString Id;
    // The parent as the server keeps it, or, for a branch created in the view, the
    // parent it was created under (empty at the top level).
    QString Parent;
    // Child branches when the row was read.
    qint64 CCount = 0;
    bool Del = false;
};
