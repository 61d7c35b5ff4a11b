#include "FileMessages.h"

#include "ReportDocument.h"
#include "RecoveryMessages.h"
#include "ReportFile.h"
#include "ShiftJis.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString withFile(const QString &firstLine, const QString &path, const QString &reason)
{
    return firstLine + QStringLiteral("\n\n") + QDir::toNativeSeparators(path) + u'\n' + reason;
}

} // namespace

QString FileMessages::LoadReason(const QString &path, ReadFailure failure)
{
    switch (failure) {
    case ReadFailure::None:
    case ReadFailure::Cancelled:
        return {};
    case ReadFailure::NotFound:
        return QFileInfo(path).dir().exists() ? tr("ファイルが見つかりません。")
                                              : tr("フォルダーが見つかりません。");
    case ReadFailure::NoPermission:
        return tr("ファイルを読み取る権限がありません。");
    case ReadFailure::CannotOpen:
        return tr("ファイルを開けません。");
    case ReadFailure::NotRegularFile:
        return tr("通常のファイルではないため、開けません。（フォルダー、パイプ、デバイスなどは開けません）");
    case ReadFailure::ReadError:
        return tr("読み込みの途中でエラーが起きました。表示中の報告はそのままです。");
    case ReadFailure::OutOfMemory:
        return tr("メモリが足りないため、ファイルを開けません。表示中の報告はそのままです。");
    case ReadFailure::TooManyLines:
        return tr("行が多すぎるため、開けません。");
    }
    return {};
}

QString FileMessages::Load(const QString &path, ReadFailure failure)
{
    return withFile(tr("ファイル読み込みエラー"), path, LoadReason(path, failure));
}

QString FileMessages::SaveReason(WriteFailure failure, const QString &backupPath)
{
    const QString kept = tr("元のファイルはそのままです。");
    switch (failure) {
    case WriteFailure::None:
        return {};
    case WriteFailure::RefusedValue:
        return tr("ファイルに書けない文字（タブ、改行など）を含むセルがあります。") + kept;
    case WriteFailure::OutOfMemory:
        return tr("メモリが足りないため、保存できませんでした。報告も元のファイルもそのままです。");
    case WriteFailure::FolderMissing:
        return tr("保存先のフォルダーが見つかりません。");
    case WriteFailure::NotRegularFile:
        return tr("同じ名前のフォルダーなどがあるため、保存できません。");
    case WriteFailure::NoPermission:
        return tr("このファイルまたはフォルダーに書き込む権限がありません。") + kept;
    case WriteFailure::ReadOnlyDisk:
        return tr("ディスクが読み取り専用のため、保存できません。") + kept;
    case WriteFailure::NameTooLong:
        return tr("ファイル名またはフォルダーの名前が長すぎるため、保存できません。") + kept;
    case WriteFailure::DiskFull:
        return tr("ディスクの空きが足りないため、保存できませんでした。") + kept;
    case WriteFailure::NoInodes:
        return tr("ディスクにこれ以上ファイルを作れないため、保存できませんでした。") + kept;
    case WriteFailure::CannotCreate:
        return tr("保存用のファイルを作れませんでした。") + kept;
    case WriteFailure::WriteError:
    case WriteFailure::RenameError:
        return tr("書き込みの途中でディスクのエラーが起きました。") + kept;
    case WriteFailure::SyncError:
        return tr("ディスクへの書き込みを確かめられませんでした。保存できていない可能性があります。"
                              "別の場所にも保存してください。");
    case WriteFailure::InPlaceRestored:
        return tr("ファイルをその場で書き換える途中でエラーが起きたため、元の内容に戻しました。");
    case WriteFailure::InPlaceNotRestored:
        return backupPath.isEmpty()
                ? tr("ファイルをその場で書き換える途中でエラーが起き、元の内容に戻せませんでした。"
                                 "報告は画面にあるので、別の場所に保存してください。")
                : tr("ファイルをその場で書き換える途中でエラーが起き、元の内容に戻せませんでした。"
                                 "元のファイルの控えは次の場所にあります：\n%1")
                          .arg(QDir::toNativeSeparators(backupPath));
    case WriteFailure::InPlaceDeclined:
        return tr("保存を取りやめました。") + kept;
    }
    return {};
}

QString FileMessages::Save(const QString &path, WriteFailure failure, const QString &backupPath)
{
    return withFile(tr("ファイル書き込みエラー"), path, SaveReason(failure, backupPath));
}

QString FileMessages::WithoutBackup(const QString &path)
{
    return tr("このフォルダーには新しいファイルを作れないため、ファイルをその場で書き換えるしかありません。\n"
                          "元のファイルの控えを作れませんでした。書き込みに失敗すると、元の内容が失われます。\n\n"
                          "%1\n\nこのまま書き換えますか？")
            .arg(QDir::toNativeSeparators(path));
}

QString FileMessages::RefusalReason(InterruptedSave::Refusal refusal)
{
    switch (refusal) {
    case InterruptedSave::Refusal::None:
        break;
    case InterruptedSave::Refusal::UnreadableRecord:
        return tr("保存の記録を読み取れません。");
    case InterruptedSave::Refusal::RelativePath:
        return tr("記録にあるファイルの場所が、どのフォルダーからのものか分かりません。");
    case InterruptedSave::Refusal::Missing:
        return tr("ファイルが見つかりません。");
    case InterruptedSave::Refusal::Link:
        return tr("ファイルがシンボリックリンクに置き換えられています。");
    case InterruptedSave::Refusal::OtherFile:
        return tr("ファイルが別のファイルに置き換えられています。");
    case InterruptedSave::Refusal::OtherOwner:
        return tr("ファイルの所有者が別のユーザーです。");
    case InterruptedSave::Refusal::CannotOpen:
        return tr("ファイルを開けません。");
    }
    return {};
}

QString FileMessages::InterruptedSave(const struct InterruptedSave &save)
{
    using Outcome = InterruptedSave::Outcome;
    const QString killed = tr("前回、ファイルをその場で書き換えている途中でプログラムが終了しました。");
    const QString path = save.path.isEmpty() ? QString() : QStringLiteral("\n\n") + QDir::toNativeSeparators(save.path);
    const QString copy = save.backupPath.isEmpty()
            ? QString()
            : tr("\n\n保存する前の内容の控えは次の場所にあります：\n%1").arg(QDir::toNativeSeparators(save.backupPath));
    // What the file held when the user chose the old contents.
    const QString current = save.currentPath.isEmpty()
            ? QString()
            : tr("\n\n戻す前の内容の控えは次の場所にあります：\n%1").arg(QDir::toNativeSeparators(save.currentPath));
    switch (save.outcome) {
    case Outcome::Restored:
        return tr("前回、ファイルをその場で書き換えている途中でプログラムが終了したため、"
                  "保存する前の内容に戻しました。")
                + path;
    case Outcome::NotRestored:
        return killed + tr("保存する前の内容に戻せなかったため、ファイルは壊れているおそれがあります。") + path + copy
                + current;
    case Outcome::ChangedSince:
        return killed + tr("その後、ファイルは他のプログラムによって書き換えられているため、そのままにしました。") + path
                + copy + current;
    case Outcome::Kept:
        return tr("ファイルはそのままにしました。") + path + copy;
    case Outcome::RestoredOnRequest:
        return tr("保存する前の内容に戻しました。") + path + current;
    case Outcome::CurrentNotStored:
        return tr("今の内容の控えを作れなかったため、保存する前の内容には戻さず、ファイルはそのままにしました。") + path
                + copy;
    case Outcome::Refused:
        return killed
                + tr("記録にあるファイルが、書き換えていたファイルと同じものか確かめられないため、"
                     "何も変更していません。")
                + RefusalReason(save.refusal) + path + copy;
    case Outcome::RecordStuck: {
        const QString why = save.recordFailure == WriteFailure::NoPermission
                ? tr("キャッシュフォルダーに書き込む権限がありません")
                : save.recordFailure == WriteFailure::ReadOnlyDisk ? tr("ディスクが読み取り専用です")
                                                                   : tr("ディスクのエラーです");
        return killed
                + tr("保存の記録を削除できなかったため（%1）、保存する前の内容には戻していません。"
                     "記録が残ったまま戻すと、起動するたびに戻すことになります。")
                          .arg(why)
                + path + copy;
    }
    }
    return {};
}

QString FileMessages::RestoreInDoubt(const struct InterruptedSave &save)
{
    return tr("前回、ファイルをその場で書き換えている途中でプログラムが終了しました。"
              "その後、ファイルが他のプログラムによって書き換えられたかどうか、確かめられません。\n\n%1\n\n"
              "保存する前の内容に戻しますか？\n"
              "「はい」：保存する前の内容に戻します。今の内容も控えとして残します。\n"
              "「いいえ」：ファイルはそのままにします。保存する前の内容の控えは残します。")
            .arg(QDir::toNativeSeparators(save.path));
}

QString FileMessages::ChangedOnDisk(const QString &path, DiskChange change, const LockHolder *other)
{
    QString what;
    switch (change) {
    case DiskChange::Same:
        return {};
    case DiskChange::FolderGone:
        return tr("ファイルのあったフォルダーが見つかりません（名前が変わったか、移動または削除されました）。\n%1\n\n"
                  "「名前を付けて保存」で別の場所に保存してください。")
                .arg(QDir::toNativeSeparators(path));
    case DiskChange::Changed:
        what = tr("（内容が書き換えられています）");
        break;
    case DiskChange::Deleted:
        what = tr("（ファイルが削除されています。保存すると作り直されます）");
        break;
    case DiskChange::Replaced:
        what = tr("（別のファイルに置き換えられています）");
        break;
    }
    return tr("ファイルは開いた後に%1によって変更されています。上書きしますか？\n%2\n\n%3\n\n"
              "「上書きする」：この画面の内容で置き換えます。\n"
              "「名前を付けて保存」：ディスク上のファイルを残し、別の名前で保存します。")
            .arg(RecoveryMessages::Changer(other), what, QDir::toNativeSeparators(path));
}

QStringList FileMessages::LoadWarnings(const ReadFacts &facts)
{
    using Looks = ReportSniffer::Looks;
    const QString keep = tr("残すには、保存の確認で「キャンセル」を選び、元のファイルをそのまま残してください。");
    QStringList warnings;
    switch (facts.looks) {
    case Looks::Utf8:
    case Looks::Utf8Bom:
    case Looks::Utf16Bom: {
        QString warning = tr("%1です（報告ファイルはShift_JIS）。\n"
                                         "日本語の文字は正しく表示されず、保存しても正しい報告にはなりません。"
                                         "「ファイル」→「インポート」で読み込むと、Shift_JISの報告にできます。")
                                  .arg(facts.looks == Looks::Utf16Bom ? tr("文字コードがUTF-16のファイル")
                                                                      : tr("文字コードがUTF-8のファイル"));
        if (facts.oddLines)
            warning += tr("\nShift_JISとして読めない行は%1行あります（最初は%2行目）。")
                               .arg(facts.oddLines)
                               .arg(facts.firstOddLine);
        warnings << warning;
        break;
    }
    case Looks::CommaSeparated:
        warnings << tr("カンマ区切り（CSV）のファイルのようです。\n"
                                   "項目がタブで区切られていないため、各行は1つ目の項目にまとめて読み込まれています。"
                                   "「ファイル」→「インポート」で読み込むと、項目ごとに分けられます。");
        break;
    case Looks::Report:
        break;
    }
    if (facts.oddLines && facts.looks != Looks::Utf8 && facts.looks != Looks::Utf8Bom
        && facts.looks != Looks::Utf16Bom) {
        warnings << tr("Shift_JIS（JIS X 0208）で書かれていない文字を含む行が%1行あります（最初は%2行目）。\n"
                                   "その文字は「\uFFFD」で表示されます。そのセルを編集しなければ、保存してもそのまま残ります。"
                                   "編集すると、その文字は削除されます。")
                            .arg(facts.oddLines)
                            .arg(facts.firstOddLine);
    }
    if (facts.longLines) {
        warnings << tr("20個目以降にも項目がある行が%1行あります（最初は%2行目）。\n"
                                   "20個目以降の項目は表示されず、保存すると失われます。%3")
                            .arg(facts.longLines)
                            .arg(facts.firstLongLine)
                            .arg(keep);
    }
    if (facts.bytesAfterEofMark) {
        warnings << tr("ファイル終端記号（0x1A）より後に%1バイトあります。\n"
                                   "この部分は読み込まれず、保存すると失われます。%2")
                            .arg(facts.bytesAfterEofMark)
                            .arg(keep);
    }
    if (facts.loneCrLines) {
        warnings << tr("後ろにLFのないCR（改行の一部）を含む行が%1行あります（最初は%2行目）。\n"
                       "このCRは読み込まれず、その前後の文字はつながって表示されます。保存するとCRは失われます。%3")
                            .arg(facts.loneCrLines)
                            .arg(facts.firstLoneCrLine)
                            .arg(keep);
    }
    return warnings;
}

QString FileMessages::LooksNotReport(const QString &path, ReportSniffer::Looks looks)
{
    QString what;
    switch (looks) {
    case ReportSniffer::Looks::CommaSeparated:
        what = tr("カンマ区切り（CSV）のファイル");
        break;
    case ReportSniffer::Looks::Utf8:
    case ReportSniffer::Looks::Utf8Bom:
        what = tr("文字コードがUTF-8のファイル");
        break;
    case ReportSniffer::Looks::Utf16Bom:
        what = tr("文字コードがUTF-16のファイル（表計算ソフトの「Unicode テキスト」など）");
        break;
    case ReportSniffer::Looks::Report:
        break;
    }
    return tr("%1\n\nこのファイルは報告ファイル（Shift_JISのタブ区切り）ではなく、%2のようです。\n\n"
                          "インポートすると、その各行を新しい報告の行として取り込みます（元のファイルは変わりません）。"
                          "報告ファイルとして開くと、文字や項目が正しく表示されないことがあります。")
            .arg(QDir::toNativeSeparators(path), what);
}

QString FileMessages::SaveLosses(const ReportFile::SaveLosses &losses)
{
    QStringList lost;
    for (const FormatProblem &problem : losses.lost)
        lost << tr("・%1").arg(FormatProblemText(problem, ReportSniffer::Looks::Report));
    return tr("読み込んだファイルにあった次の内容は、表示されておらず、保存されません。\n\n%1\n\n"
                          "残すには「キャンセル」を選び、元のファイルをそのまま残してください。\n"
                          "このまま保存しますか？")
            .arg(lost.join(u'\n'));
}

QString FileMessages::HeaderDrifts(const ReportDocument &document, const std::vector<ReportFileName::HeaderDrift> &drifts,
                     const QStringList &labels)
{
    QStringList differences;
    for (const ReportFileName::HeaderDrift &drift : drifts) {
        const QString label = labels.value(drift.box);
        const QString text = document.HeaderText(drift.box);
        if (drift.unfit)
            differences << tr("・%1：「%2」にはファイル名に使えない文字があります").arg(label, text);
        else
            differences << tr("・%1：「%2」は「%3」として読まれます")
                                   .arg(label, text, ShiftJis::ToText(drift.readBack));
    }
    return tr("このファイル名で保存すると、開き直したときに次の欄が今の値と変わります。\n\n%1"
                          "\n\nこのまま保存しますか？")
            .arg(differences.join(u'\n'));
}

QString FileMessages::Loaded(const ReportDocument &document)
{
    return tr("%1行を読み込みました。エラーのセルは%2個（%3行）です。")
            .arg(document.LineCount())
            .arg(document.Verdicts().ErrorCellCount())
            .arg(document.Verdicts().ErrorRowCount());
}

QString FileMessages::Saved(const ReportFile &file, const ReportFile::SaveLosses &before)
{
    QString text = tr("保存しました：%1").arg(QFileInfo(file.Path()).fileName());
    if (const std::uint64_t invalid = file.Document().Verdicts().ErrorCellCount())
        text += tr("（エラーのセル%1個）").arg(invalid);
    // What `qnveltor --check` called a problem of the file's form is gone
    // now; the user hears of it rather than finding the file changed.
    if (!before.mended.empty())
        text += tr("。読み込んだファイルの形式の違い%1件（改行、項目の数など）を直して保存しました").arg(before.mended.size());
    return text;
}

QString FileMessages::RecentFileMissing(const QString &path)
{
    return tr("ファイルが見つかりません。\n\n%1\n\n最近使ったファイルの一覧から削除します。")
            .arg(QDir::toNativeSeparators(path));
}

QString FileMessages::Import(const QString &path, ReadFailure failure)
{
    const QString reason = failure == ReadFailure::TooManyLines
            ? tr("報告の行が多すぎるため、インポートできません。表示中の報告はそのままです。")
            : LoadReason(path, failure);
    return withFile(tr("インポートエラー"), path, reason);
}

QString FileMessages::EncodingName(TextEncoding::Encoding encoding)
{
    switch (encoding) {
    case TextEncoding::Encoding::ShiftJis:
        return QStringLiteral("Shift_JIS");
    case TextEncoding::Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Encoding::Utf8Bom:
        return tr("UTF-8（BOM付き）");
    case TextEncoding::Encoding::Utf16LE:
    case TextEncoding::Encoding::Utf16BE:
        return QStringLiteral("UTF-16");
    }
    return {};
}

QString FileMessages::Imported(const ReportFile::ImportResult &result)
{
    return tr("%1行をインポートしました。エラーのセル%2個、Shift_JISで表せない文字を「〓」にしたセル%3個。")
            .arg(result.lines)
            .arg(result.invalid)
            .arg(result.facts.substitutedCells);
}

QString FileMessages::ImportSummary(const ReportFile::ImportResult &result)
{
    const ImportFacts &facts = result.facts;
    // The facts count the imported lines from 1; the user sees the report's.
    const auto line = [&result](std::uint64_t imported) { return std::uint64_t(result.firstLine) + imported; };
    QStringList notes;
    notes << tr("%1行をインポートしました（報告の%2行目から）。エラーのセルは%3個です。")
                     .arg(result.lines)
                     .arg(result.firstLine + 1)
                     .arg(result.invalid);
    notes << tr("文字コード：%1、区切り：%2")
                     .arg(EncodingName(facts.encoding),
                          facts.separator == u'\t' ? tr("タブ") : tr("カンマ"));
    if (facts.headerSkipped)
        notes << tr("・1行目は項目名の行なので、取り込んでいません。");
    if (facts.blankLines)
        notes << tr("・空行が%1行あり、取り込んでいません。").arg(facts.blankLines);
    if (facts.substitutedCells) {
        notes << tr("・Shift_JISで表せない文字を「〓」に置き換えたセルが%1個あります（最初は%2行目）。")
                         .arg(facts.substitutedCells)
                         .arg(line(facts.firstSubstitutedLine));
    }
    if (facts.longLines) {
        notes << tr("・20個目以降にも項目がある行が%1行あり（最初は%2行目）、その項目は取り込んでいません。")
                         .arg(facts.longLines)
                         .arg(line(facts.firstLongLine));
    }
    if (facts.flattenedCells) {
        notes << tr("・セル内の改行またはタブを空白にしたセルが%1個あります（最初は%2行目）。")
                         .arg(facts.flattenedCells)
                         .arg(line(facts.firstFlattenedLine));
    }
    if (facts.unclosedQuotes) {
        notes << tr("・閉じていない引用符（\"）が%1個あり、文字として読みました（最初は%2行目）。")
                         .arg(facts.unclosedQuotes)
                         .arg(line(facts.firstUnclosedQuoteLine));
    }
    notes << tr("元のファイルは変わりません。保存すると、報告ファイル（Shift_JIS）として書かれます。");
    return notes.join(u'\n');
}

QString FileMessages::ExportCancelled()
{
    return tr("エクスポートを中止しました。ファイルは書いていません。");
}

QString FileMessages::ImportCancelled()
{
    return tr("インポートを中止しました。表示中の報告はそのままです。");
}

QString FileMessages::Export(const QString &path, const ReportFile::ExportResult &result)
{
    QString reason;
    const QFileInfo info(path);
    if (result.ontoReport)
        reason = tr("編集中の報告ファイルそのものには書き出せません。別の名前を指定してください。");
    else if (result.outOfMemory)
        reason = tr("メモリが足りないため、書き出せませんでした。");
    else if (!info.dir().exists())
        reason = tr("書き出し先のフォルダーが見つかりません。");
    else if (info.exists() && !info.isFile())
        reason = tr("同じ名前のフォルダーなどがあるため、書き出せません。");
    else
        reason = tr("書き出せませんでした。同じ名前のファイルがあれば、それはそのままです。");
    return withFile(tr("エクスポートエラー"), path, reason + tr("報告はそのままです。"));
}

QString FileMessages::Exported(const QString &path, const ExportFacts &facts)
{
    QString status = tr("エクスポートしました：%1").arg(QDir::toNativeSeparators(path));
    if (facts.changedCells) {
        status += tr("（%1個のセルは元のバイトのままでは書き出せませんでした。最初は%2行目の%3番目の項目）")
                          .arg(facts.changedCells)
                          .arg(facts.firstChangedLine)
                          .arg(facts.firstChangedField);
    }
    return status;
}

QString FileMessages::LoadCancelled()
{
    return tr("読み込みを中止しました。表示中の報告はそのままです。");
}
