#pragma once

#include <QString>

#include <memory>

class QSettings;
class QWidget;
class VelTorGridView;

// The window's size, the grid's column widths, the last folder a report was
// opened from or saved to and whether notes are shown, kept per user between
// runs: under
// HKEY_CURRENT_USER\mornwicks\qnVelTor on Windows, in the user's settings
// file elsewhere.
class WindowSettings
{
public:
    // Stored sizes below these cannot be used (a column too narrow to find,
    // a window too small for the header boxes and a few lines) and are
    // skipped like missing ones.
    static constexpr int MinStoredColumnWidth = 8;
    static constexpr int MinStoredWindowWidth = 320;
    static constexpr int MinStoredWindowHeight = 240;

    // A value that is missing or would break the window is skipped; the
    // others still apply.
    static void Read(QWidget &window, VelTorGridView &grid, QString &lastFolder);
    static void Write(const QWidget &window, const VelTorGridView &grid, const QString &lastFolder);
    // Whether the notes from the hints are shown; yes when never set.
    static bool ReadShowNotes();
    static void WriteShowNotes(bool shown);

    // The user's settings of this program, where every part of it keeps
    // its values.
    static std::unique_ptr<QSettings> Open();
};
