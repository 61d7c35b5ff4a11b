#include "DiskNoticeBar.h"

#include <QAction>
#include <QLabel>

DiskNoticeBar::DiskNoticeBar(QWidget *parent) : QToolBar(parent)
{
    setObjectName(QStringLiteral("DiskNoticeBar"));
    setWindowTitle(tr("ディスク上の変更"));
    setMovable(false);
    setFloatable(false);
    // Not one the user shows or hides from the tool bars' menu.
    toggleViewAction()->setVisible(false);
    setStyleSheet(QStringLiteral("QToolBar#DiskNoticeBar { background: #fff4c2; border: 1px solid #d9b84a; }"));
    label = new QLabel(this);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(label);
    OverwriteAction = addAction(tr("上書きする"));
    OverwriteAction->setObjectName(QStringLiteral("DiskNoticeOverwrite"));
    SaveAsAction = addAction(tr("名前を付けて保存"));
    SaveAsAction->setObjectName(QStringLiteral("DiskNoticeSaveAs"));
    CloseAction = addAction(tr("閉じる"));
    CloseAction->setObjectName(QStringLiteral("DiskNoticeClose"));
    connect(CloseAction, &QAction::triggered, this, &QWidget::hide);
    hide();
}

void DiskNoticeBar::Tell(const QString &text, bool canOverwrite)
{
    label->setText(text);
    OverwriteAction->setVisible(canOverwrite);
    show();
}

QString DiskNoticeBar::Text() const
{
    return isHidden() ? QString() : label->text();
}
