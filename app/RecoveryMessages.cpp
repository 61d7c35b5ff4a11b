#include "RecoveryMessages.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace {

QString shownTime(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm"));
}

QString reportName(const QString &path)
{
    return path.isEmpty() ? RecoveryMessages::tr("（名前のない新しい報告）") : QDir::toNativeSeparators(path);
}

} // namespace

QString RecoveryMessages::Offer(const RecoveryFacts &facts)
{
    return tr("前回保存されなかった変更があります。\n\n報告：%1\n時刻：%2\n行数：%3 行\n\n"
              "「復元する」：保存されなかった報告を開きます（未保存のまま）。\n"
              "「破棄する」：保存されなかった変更を捨てます。\n"
              "「あとで」：今回は開かず、次に起動したときにまた尋ねます。")
            .arg(reportName(facts.reportPath), shownTime(facts.copiedMs), QLocale().toString(facts.lines));
}

QString RecoveryMessages::Unreadable(const QString &path, RecoveryFailure failure, const QString &asidePath)
{
    QString why;
    switch (failure) {
    case RecoveryFailure::None:
        return {};
    case RecoveryFailure::CannotOpen:
        why = tr("ファイルを開けません。");
        break;
    case RecoveryFailure::Foreign:
        why = tr("このプログラムが作った控えではありません。");
        break;
    case RecoveryFailure::Newer:
        why = tr("新しい版のqnVelTorが作った控えのため、この版では読めません。");
        break;
    case RecoveryFailure::Damaged:
        why = tr("控えが壊れています。");
        break;
    case RecoveryFailure::OutOfMemory:
        why = tr("メモリが足りないため、読み込めません。");
        break;
    }
    const QString where = asidePath.isEmpty()
            ? tr("控えはそのままにしました：\n%1").arg(QDir::toNativeSeparators(path))
            : tr("控えは次の場所に移しました：\n%1").arg(QDir::toNativeSeparators(asidePath));
    return tr("前回保存されなかった変更の控えを読み込めませんでした。") + why + QStringLiteral("\n\n") + where;
}

QString RecoveryMessages::Restored(const RecoveryFacts &facts)
{
    return tr("前回保存されなかった変更を復元しました（%1 行）。保存するまで、ファイルは元のままです。")
            .arg(QLocale().toString(facts.lines));
}

QString RecoveryMessages::Holder(const LockHolder &holder)
{
    return tr("ユーザー「%1」、コンピューター「%2」、プロセス番号 %3、%4 に開いたもの")
            .arg(holder.user, holder.host)
            .arg(holder.pid)
            .arg(shownTime(holder.openedMs));
}

QString RecoveryMessages::OpenElsewhere(const QString &path, const LockHolder &holder)
{
    return tr("この報告は、別のqnVelTorで開かれています（%1）。\n\n%2\n\n"
              "両方で編集して保存すると、一方の変更が失われるおそれがあります。開きますか？")
            .arg(Holder(holder), QDir::toNativeSeparators(path));
}

QString RecoveryMessages::Changer(const LockHolder *other)
{
    return other ? tr("別のqnVelTor（%1）").arg(Holder(*other)) : tr("他のプログラム");
}

QString RecoveryMessages::ReloadQuestion(const QString &path, DiskChange change, const LockHolder *other)
{
    const QString how = change == DiskChange::Replaced ? tr("別のファイルに置き換えられました")
                                                        : tr("書き換えられました");
    return tr("開いている報告が%1によって%2。\n\n%3\n\nこの画面には未保存の変更はありません。"
              "ファイルを読み込み直しますか？")
            .arg(Changer(other), how, QDir::toNativeSeparators(path));
}

QString RecoveryMessages::Notice(const QString &path, DiskChange change, bool edited, const LockHolder *other)
{
    const QString name = QFileInfo(path).fileName();
    switch (change) {
    case DiskChange::Same:
        return {};
    case DiskChange::FolderGone:
        return tr("「%1」のあったフォルダーが見つかりません（名前が変わったか、移動または削除されました）。"
                  "別の場所に保存してください。")
                .arg(name);
    case DiskChange::Deleted:
        return tr("「%1」は削除されました。保存すると、この画面の内容で作り直されます。").arg(name);
    case DiskChange::Changed:
    case DiskChange::Replaced:
        break;
    }
    return edited ? tr("「%1」が%2によって変更されました。この画面には未保存の変更があります。"
                       "上書きするか、名前を付けて保存してください。")
                            .arg(name, Changer(other))
                  : tr("「%1」が%2によって変更されました。").arg(name, Changer(other));
}

QString RecoveryMessages::NotSaved(const QString &path)
{
    return tr("保存しませんでした：%1（ディスク上のファイルはそのままです）").arg(QFileInfo(path).fileName());
}
