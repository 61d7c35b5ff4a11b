#include "Messages.h"

#include "ShiftJis.h"

#include <QDir>
#include <QFileInfo>

namespace Messages {

namespace {

QString withFile(const QString &firstLine, const QString &path, const QString &reason)
{
    return firstLine + QStringLiteral("\n\n") + QDir::toNativeSeparators(path) + u'\n' + reason;
}

} // namespace

QString LoadReason(const QString &path, ReadFailure failure)
{
    switch (failure) {
    case ReadFailure::None:
    case ReadFailure::Cancelled:
        return {};
    case ReadFailure::NotFound:
        return QFileInfo(path).dir().exists() ? QStringLiteral("ファイルが見つかりません。")
                                              : QStringLiteral("フォルダーが見つかりません。");
    case ReadFailure::NoPermission:
        return QStringLiteral("ファイルを読み取る権限がありません。");
    case ReadFailure::CannotOpen:
        return QStringLiteral("ファイルを開けません。");
    case ReadFailure::NotRegularFile:
        return QStringLiteral("通常のファイルではないため、開けません。（フォルダー、パイプ、デバイスなどは開けません）");
    case ReadFailure::ReadError:
        return QStringLiteral("読み込みの途中でエラーが起きました。表示中の報告はそのままです。");
    case ReadFailure::OutOfMemory:
        return QStringLiteral("メモリが足りないため、ファイルを開けません。表示中の報告はそのままです。");
    case ReadFailure::TooManyLines:
        return QStringLiteral("行が多すぎるため、開けません。");
    }
    return {};
}

QString Load(const QString &path, ReadFailure failure)
{
    return withFile(QStringLiteral("ファイル読み込みエラー"), path, LoadReason(path, failure));
}

QString SaveReason(WriteFailure failure, const QString &backupPath)
{
    const QString kept = QStringLiteral("元のファイルはそのままです。");
    switch (failure) {
    case WriteFailure::None:
        return {};
    case WriteFailure::RefusedValue:
        return QStringLiteral("ファイルに書けない文字（タブ、改行など）を含むセルがあります。") + kept;
    case WriteFailure::OutOfMemory:
        return QStringLiteral("メモリが足りないため、保存できませんでした。報告も元のファイルもそのままです。");
    case WriteFailure::FolderMissing:
        return QStringLiteral("保存先のフォルダーが見つかりません。");
    case WriteFailure::NotRegularFile:
        return QStringLiteral("同じ名前のフォルダーなどがあるため、保存できません。");
    case WriteFailure::NoPermission:
        return QStringLiteral("このファイルまたはフォルダーに書き込む権限がありません。") + kept;
    case WriteFailure::ReadOnlyDisk:
        return QStringLiteral("ディスクが読み取り専用のため、保存できません。") + kept;
    case WriteFailure::NameTooLong:
        return QStringLiteral("ファイル名またはフォルダーの名前が長すぎるため、保存できません。") + kept;
    case WriteFailure::DiskFull:
        return QStringLiteral("ディスクの空きが足りないため、保存できませんでした。") + kept;
    case WriteFailure::NoInodes:
        return QStringLiteral("ディスクにこれ以上ファイルを作れないため、保存できませんでした。") + kept;
    case WriteFailure::CannotCreate:
        return QStringLiteral("保存用のファイルを作れませんでした。") + kept;
    case WriteFailure::WriteError:
    case WriteFailure::RenameError:
        return QStringLiteral("書き込みの途中でディスクのエラーが起きました。") + kept;
    case WriteFailure::SyncError:
        return QStringLiteral("ディスクへの書き込みを確かめられませんでした。保存できていない可能性があります。"
                              "別の場所にも保存してください。");
    case WriteFailure::InPlaceRestored:
        return QStringLiteral("ファイルをその場で書き換える途中でエラーが起きたため、元の内容に戻しました。");
    case WriteFailure::InPlaceNotRestored:
        return backupPath.isEmpty()
                ? QStringLiteral("ファイルをその場で書き換える途中でエラーが起き、元の内容に戻せませんでした。"
                                 "報告は画面にあるので、別の場所に保存してください。")
                : QStringLiteral("ファイルをその場で書き換える途中でエラーが起き、元の内容に戻せませんでした。"
                                 "元のファイルの控えは次の場所にあります：\n%1")
                          .arg(QDir::toNativeSeparators(backupPath));
    case WriteFailure::InPlaceDeclined:
        return QStringLiteral("保存を取りやめました。") + kept;
    }
    return {};
}

QString Save(const QString &path, WriteFailure failure, const QString &backupPath)
{
    return withFile(QStringLiteral("ファイル書き込みエラー"), path, SaveReason(failure, backupPath));
}

QString WithoutBackup(const QString &path)
{
    return QStringLiteral("このフォルダーには新しいファイルを作れないため、ファイルをその場で書き換えるしかありません。\n"
                          "元のファイルの控えを作れませんでした。書き込みに失敗すると、元の内容が失われます。\n\n"
                          "%1\n\nこのまま書き換えますか？")
            .arg(QDir::toNativeSeparators(path));
}

QString ChangedOnDisk(const QString &path, DiskChange change)
{
    QString what;
    switch (change) {
    case DiskChange::Same:
        return {};
    case DiskChange::Changed:
        what = QStringLiteral("（内容が書き換えられています）");
        break;
    case DiskChange::Deleted:
        what = QStringLiteral("（ファイルが削除されています。保存すると作り直されます）");
        break;
    case DiskChange::Replaced:
        what = QStringLiteral("（別のファイルに置き換えられています）");
        break;
    }
    return QStringLiteral("ファイルは開いた後に他のプログラムによって変更されています。上書きしますか？\n%1\n\n%2")
            .arg(what, QDir::toNativeSeparators(path));
}

QStringList LoadWarnings(const ReadFacts &facts)
{
    QStringList warnings;
    if (facts.longLines) {
        warnings << QStringLiteral("項目が19個より多い行が%1行あります（最初は%2行目）。\n"
                                   "上書き保存すると、20個目からの項目は失われます。")
                            .arg(facts.longLines)
                            .arg(facts.firstLongLine);
    }
    if (facts.oddLines) {
        warnings << QStringLiteral("NULバイトまたはShift_JISでないバイトを含む行が%1行あります（最初は%2行目）。\n"
                                   "報告ファイルではない可能性があります。")
                            .arg(facts.oddLines)
                            .arg(facts.firstOddLine);
    }
    return warnings;
}

QString HeaderDrifts(const ReportDocument &document, const std::vector<ReportDocument::HeaderDrift> &drifts,
                     const QStringList &labels)
{
    QStringList differences;
    for (const ReportDocument::HeaderDrift &drift : drifts) {
        const QString label = labels.value(drift.box);
        const QString text = document.HeaderText(drift.box);
        if (drift.unfit)
            differences << QStringLiteral("・%1：「%2」にはファイル名に使えない文字があります").arg(label, text);
        else
            differences << QStringLiteral("・%1：「%2」は「%3」として読まれます")
                                   .arg(label, text, ShiftJis::ToText(drift.readBack));
    }
    return QStringLiteral("このファイル名で保存すると、開き直したときに次の欄が今の値と変わります。\n\n%1"
                          "\n\nこのまま保存しますか？")
            .arg(differences.join(u'\n'));
}

QString Loaded(const ReportDocument &document)
{
    return QStringLiteral("%1行を読み込みました。エラーのセルは%2個（%3行）です。")
            .arg(document.LineCount())
            .arg(document.CellAttrs().ErrorCellCount())
            .arg(document.CellAttrs().ErrorRowCount());
}

QString Saved(const ReportDocument &document)
{
    QString text = QStringLiteral("保存しました：%1").arg(QFileInfo(document.FilePath()).fileName());
    if (const std::uint64_t invalid = document.CellAttrs().ErrorCellCount())
        text += QStringLiteral("（エラーのセル%1個）").arg(invalid);
    return text;
}

QString Replaced(const ReportReplace::Result &result)
{
    QString text = QStringLiteral("%1か所を置換しました。").arg(result.replaced);
    if (result.tooLong)
        text += QStringLiteral("項目の長さを超えるため%1か所は置換しませんでした。").arg(result.tooLong);
    if (result.unstorable)
        text += QStringLiteral("Shift_JISで表せない文字になるため%1か所は置換しませんでした。").arg(result.unstorable);
    if (result.madeInvalid)
        text += QStringLiteral("置換でエラーになったセルが%1個あります。").arg(result.madeInvalid);
    return text;
}

QString ReplaceNotFound(const QString &find)
{
    return QStringLiteral("「%1」は見つかりません。").arg(find);
}

QString ReplaceShown(const ReportDocument &document, const ReportReplace::Match &match, const QString &markedText)
{
    const auto *field = document.Attributes().At(unsigned(match.field));
    return QStringLiteral("%1行目「%2」：%3　（「次を置換」で置換します）")
            .arg(match.line + 1)
            .arg(field ? ShiftJis::ToText(field->name) : QString())
            .arg(markedText);
}

QString Renumbered(const BulkEdits::Result &result)
{
    return result.changed ? QStringLiteral("連番を振り直しました（%1個のセルを変更）。").arg(result.changed)
                          : QStringLiteral("連番はすでに振られています。");
}

QString FilledDown(const BulkEdits::Result &result)
{
    QString text = QStringLiteral("%1個のセルに下方向へコピーしました。").arg(result.changed);
    if (result.invalid)
        text += QStringLiteral("エラーのセルが%1個あります。").arg(result.invalid);
    return text;
}

QString Sorted(const BulkEdits::Result &result)
{
    return result.changed ? QStringLiteral("並べ替えました（%1行が移動）。").arg(result.changed)
                          : QStringLiteral("すでにその順に並んでいます。");
}

QString RecentFileMissing(const QString &path)
{
    return QStringLiteral("ファイルが見つかりません。\n\n%1\n\n最近使ったファイルの一覧から削除します。")
            .arg(QDir::toNativeSeparators(path));
}

QString LoadCancelled()
{
    return QStringLiteral("読み込みを中止しました。表示中の報告はそのままです。");
}

QString OutOfMemoryPaste()
{
    return QStringLiteral("メモリが足りないため、行を貼り付けられません。");
}

QString OutOfMemoryEdit()
{
    return QStringLiteral("メモリが足りないため、実行できませんでした。報告は元のままです。");
}

QString OutOfMemoryDraw()
{
    return QStringLiteral("メモリが足りないため、表示できないセルがあります。");
}

QString OutOfMemoryUndo()
{
    return QStringLiteral("メモリが足りないため、元に戻せませんでした。");
}

QString OutOfMemoryRedo()
{
    return QStringLiteral("メモリが足りないため、やり直せませんでした。");
}

} // namespace Messages
