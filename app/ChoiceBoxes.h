#pragma once

#include <QMessageBox>

// The question before a save over a file that changed on the disk:
// 上書きする, 名前を付けて保存, or キャンセル (the default, and Escape). Where
// the file's folder is gone there is nothing to overwrite.
class OverwriteBox : public QMessageBox
{
    Q_OBJECT

public:
    enum class Answer { Overwrite, SaveAs, Cancel };

    OverwriteBox(QWidget *parent, const QString &question, bool canOverwrite);
    // The answer the button an exec() returned stands for.
    static Answer Chosen(int button);
};

// At start, a recovery copy of unsaved work: 復元する (the default),
// 破棄する, or あとで (Escape), which keeps it for the next start.
class RecoveryBox : public QMessageBox
{
    Q_OBJECT

public:
    enum class Answer { Restore, Discard, Later };

    RecoveryBox(QWidget *parent, const QString &text);
    static Answer Chosen(int button);
};

// A report another copy of the editor has open: 開く, or キャンセル (the
// default, and Escape).
class OpenAnywayBox : public QMessageBox
{
    Q_OBJECT

public:
    OpenAnywayBox(QWidget *parent, const QString &question);
    static bool Chosen(int button) { return button == QMessageBox::Open; }
};

// A report with no unsaved edits changed on the disk: 読み込み直す (the
// default) or そのまま (Escape).
class ReloadBox : public QMessageBox
{
    Q_OBJECT

public:
    ReloadBox(QWidget *parent, const QString &question);
    static bool Chosen(int button) { return button == QMessageBox::Yes; }
};
