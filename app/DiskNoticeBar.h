#pragma once

#include <QToolBar>

class QAction;
class QLabel;

// A bar across the window, under the tool bar, that tells of a change to
// the report's file on the disk without stopping the work: the words, and
// the choices a save over it would offer.
class DiskNoticeBar : public QToolBar
{
    Q_OBJECT

public:
    explicit DiskNoticeBar(QWidget *parent = nullptr);

    // Shows `text`, with 上書きする where there is a file to overwrite.
    void Tell(const QString &text, bool canOverwrite);
    QString Text() const;

    QAction *OverwriteAction = nullptr;
    QAction *SaveAsAction = nullptr;
    QAction *CloseAction = nullptr;

private:
    QLabel *label = nullptr;
};
