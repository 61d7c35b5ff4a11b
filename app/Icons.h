#pragma once

#include <QIcon>
#include <QList>

// The tool bar and menu icons, addressed by index as the actions expect.
// Always 16 entries; the slots no action uses hold a null icon. Needs a
// QGuiApplication, since the fallback pictures are painted on pixmaps.
QList<QIcon> MakeImageList();

// Undo and redo have no place in the image list.
QIcon MakeUndoIcon();
QIcon MakeRedoIcon();
