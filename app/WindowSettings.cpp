#include "WindowSettings.h"

#include "VelTorGridView.h"
#include "qnVelTorDataAttribute.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>

#include <climits>
#include <memory>

namespace {

// Column 0 is the row handle; columns 1 to 19 show the fields.
constexpr int ColumnCount = int(FieldCount) + 1;

// Settings keys, spelled once.
QString gridWidthKey(int column)
{
    return QStringLiteral("GridWidth%1").arg(column);
}
const QString windowWidthKey = QStringLiteral("WindowWidth");
const QString windowHeightKey = QStringLiteral("WindowHeight");
const QString lastFolderKey = QStringLiteral("LastFolder");
const QString showNotesKey = QStringLiteral("ShowNotes");

} // namespace

std::unique_ptr<QSettings> WindowSettings::Open()
{
#ifdef Q_OS_WIN
    // Directly under the user's branch, where earlier versions kept them.
    return std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER\\mornwicks\\qnVelTor"),
                                       QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QStringLiteral("mornwicks"), QStringLiteral("qnVelTor"));
#endif
}

void WindowSettings::Read(QWidget &window, VelTorGridView &grid, QString &lastFolder)
{
    const std::unique_ptr<QSettings> settings = Open();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QSize limit = screen ? screen->availableVirtualGeometry().size() : QSize(INT_MAX, INT_MAX);
    const auto read = [&settings](const QString &key, int min, int max, int &value) {
        bool ok = false;
        const int stored = settings->value(key).toInt(&ok);
        if (!ok || stored < min || stored > max)
            return false;
        value = stored;
        return true;
    };

    for (int column = 0; column < ColumnCount; ++column) {
        int width = 0;
        if (!read(gridWidthKey(column), MinStoredColumnWidth, limit.width(), width))
            continue;
        if (column == 0)
            grid.verticalHeader()->setFixedWidth(width);
        else
            grid.setColumnWidth(column - 1, width);
    }
    int width = window.width();
    int height = window.height();
    read(windowWidthKey, MinStoredWindowWidth, limit.width(), width);
    read(windowHeightKey, MinStoredWindowHeight, limit.height(), height);
    window.resize(width, height);
    lastFolder = settings->value(lastFolderKey).toString();
}

void WindowSettings::Write(const QWidget &window, const VelTorGridView &grid, const QString &lastFolder)
{
    const std::unique_ptr<QSettings> settings = Open();
    for (int column = 0; column < ColumnCount; ++column) {
        const int width = column == 0 ? grid.verticalHeader()->width() : grid.columnWidth(column - 1);
        settings->setValue(gridWidthKey(column), width);
    }
    // The window's own size, without the frame: the frame is the window
    // manager's, unknown before the window is shown, and counting it would
    // let the window grow at every start.
    settings->setValue(windowWidthKey, window.width());
    settings->setValue(windowHeightKey, window.height());
    if (!lastFolder.isEmpty())
        settings->setValue(lastFolderKey, lastFolder);
    settings->sync();
}

bool WindowSettings::ReadShowNotes()
{
    const QVariant stored = Open()->value(showNotesKey);
    // Anything but a yes or a no counts as never set.
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    const QString text = stored.toString();
    return text != QStringLiteral("false") && text != QStringLiteral("0");
}

void WindowSettings::WriteShowNotes(bool shown)
{
    const std::unique_ptr<QSettings> settings = Open();
    settings->setValue(showNotesKey, shown);
    settings->sync();
}
