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

namespace {

// Why a start would not write the file an interrupted save's record names.
QString RefusalReason(InterruptedSave::Refusal refusal)
{
    switch (refusal) {
    case InterruptedSave::Refusal::None:
        break;
    case InterruptedSave::Refusal::UnreadableRecord:
        return QStringLiteral("保存の記録を読み取れません。");
    case InterruptedSave::Refusal::RelativePath:
        return QStringLiteral("記録にあるファイルの場所が、どのフォルダーからのものか分かりません。");
    case InterruptedSave::Refusal::Missing:
        return QStringLiteral("ファイルが見つかりません。");
    case InterruptedSave::Refusal::Link:
        return QStringLiteral("ファイルがシンボリックリンクに置き換えられています。");
    case InterruptedSave::Refusal::OtherFile:
        return QStringLiteral("ファイルが別のファイルに置き換えられています。");
    case InterruptedSave::Refusal::OtherOwner:
        return QStringLiteral("ファイルの所有者が別のユーザーです。");
    case InterruptedSave::Refusal::CannotOpen:
        return QStringLiteral("ファイルを開けません。");
    }
    return {};
}

} // namespace

QString InterruptedSave(const struct InterruptedSave &save)
{
    using Outcome = InterruptedSave::Outcome;
    const QString killed = QStringLiteral("前回、ファイルをその場で書き換えている途中でプログラムが終了しました。");
    const QString path = save.path.isEmpty() ? QString() : QStringLiteral("\n\n") + QDir::toNativeSeparators(save.path);
    const QString copy = save.backupPath.isEmpty()
            ? QString()
            : QStringLiteral("\n\n保存する前の内容の控えは次の場所にあります：\n%1").arg(QDir::toNativeSeparators(save.backupPath));
    // What the file held when the user chose the old contents.
    const QString current = save.currentPath.isEmpty()
            ? QString()
            : QStringLiteral("\n\n戻す前の内容の控えは次の場所にあります：\n%1").arg(QDir::toNativeSeparators(save.currentPath));
    switch (save.outcome) {
    case Outcome::Restored:
        return QStringLiteral("前回、ファイルをその場で書き換えている途中でプログラムが終了したため、"
                              "保存する前の内容に戻しました。")
                + path;
    case Outcome::NotRestored:
        return killed + QStringLiteral("保存する前の内容に戻せなかったため、ファイルは壊れているおそれがあります。") + path
                + copy + current;
    case Outcome::ChangedSince:
        return killed + QStringLiteral("その後、ファイルは他のプログラムによって書き換えられているため、そのままにしました。")
                + path + copy + current;
    case Outcome::Kept:
        return QStringLiteral("ファイルはそのままにしました。") + path + copy;
    case Outcome::RestoredOnRequest:
        return QStringLiteral("保存する前の内容に戻しました。") + path + current;
    case Outcome::CurrentNotStored:
        return QStringLiteral("今の内容の控えを作れなかったため、保存する前の内容には戻さず、ファイルはそのままにしました。")
                + path + copy;
    case Outcome::Refused:
        return killed + QStringLiteral("記録にあるファイルが、書き換えていたファイルと同じものか確かめられないため、"
                                       "何も変更していません。")
                + RefusalReason(save.refusal) + path + copy;
    case Outcome::RecordStuck: {
        const QString why = save.recordFailure == WriteFailure::NoPermission
                ? QStringLiteral("キャッシュフォルダーに書き込む権限がありません")
                : save.recordFailure == WriteFailure::ReadOnlyDisk ? QStringLiteral("ディスクが読み取り専用です")
                                                                   : QStringLiteral("ディスクのエラーです");
        return killed + QStringLiteral("保存の記録を削除できなかったため（%1）、保存する前の内容には戻していません。"
                                       "記録が残ったまま戻すと、起動するたびに戻すことになります。")
                                .arg(why)
                + path + copy;
    }
    }
    return {};
}

QString RestoreInDoubt(const struct InterruptedSave &save)
{
    return QStringLiteral("前回、ファイルをその場で書き換えている途中でプログラムが終了しました。"
                          "その後、ファイルが他のプログラムによって書き換えられたかどうか、確かめられません。\n\n%1\n\n"
                          "保存する前の内容に戻しますか？\n"
                          "「はい」：保存する前の内容に戻します。今の内容も控えとして残します。\n"
                          "「いいえ」：ファイルはそのままにします。保存する前の内容の控えは残します。")
            .arg(QDir::toNativeSeparators(save.path));
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
    using Looks = ReportSniffer::Looks;
    const QString keep = QStringLiteral("残すには、保存の確認で「キャンセル」を選び、元のファイルをそのまま残してください。");
    QStringList warnings;
    switch (facts.looks) {
    case Looks::Utf8:
    case Looks::Utf8Bom:
    case Looks::Utf16Bom: {
        QString warning = QStringLiteral("%1です（報告ファイルはShift_JIS）。\n"
                                         "日本語の文字は正しく表示されず、保存しても正しい報告にはなりません。"
                                         "「ファイル」→「インポート」で読み込むと、Shift_JISの報告にできます。")
                                  .arg(facts.looks == Looks::Utf16Bom ? QStringLiteral("文字コードがUTF-16のファイル")
                                                                      : QStringLiteral("文字コードがUTF-8のファイル"));
        if (facts.oddLines)
            warning += QStringLiteral("\nShift_JISとして読めない行は%1行あります（最初は%2行目）。")
                               .arg(facts.oddLines)
                               .arg(facts.firstOddLine);
        warnings << warning;
        break;
    }
    case Looks::CommaSeparated:
        warnings << QStringLiteral("カンマ区切り（CSV）のファイルのようです。\n"
                                   "項目がタブで区切られていないため、各行は1つ目の項目にまとめて読み込まれています。"
                                   "「ファイル」→「インポート」で読み込むと、項目ごとに分けられます。");
        break;
    case Looks::Report:
        break;
    }
    if (facts.oddLines && facts.looks != Looks::Utf8 && facts.looks != Looks::Utf8Bom
        && facts.looks != Looks::Utf16Bom) {
        warnings << QStringLiteral("Shift_JIS（JIS X 0208）で書かれていない文字を含む行が%1行あります（最初は%2行目）。\n"
                                   "その文字は「\uFFFD」で表示されます。そのセルを編集しなければ、保存してもそのまま残ります。"
                                   "編集すると、その文字は削除されます。")
                            .arg(facts.oddLines)
                            .arg(facts.firstOddLine);
    }
    if (facts.longLines) {
        warnings << QStringLiteral("20個目以降にも項目がある行が%1行あります（最初は%2行目）。\n"
                                   "20個目以降の項目は表示されず、保存すると失われます。%3")
                            .arg(facts.longLines)
                            .arg(facts.firstLongLine)
                            .arg(keep);
    }
    if (facts.bytesAfterEofMark) {
        warnings << QStringLiteral("ファイル終端記号（0x1A）より後に%1バイトあります。\n"
                                   "この部分は読み込まれず、保存すると失われます。%2")
                            .arg(facts.bytesAfterEofMark)
                            .arg(keep);
    }
    return warnings;
}

QString LooksNotReport(const QString &path, ReportSniffer::Looks looks)
{
    QString what;
    switch (looks) {
    case ReportSniffer::Looks::CommaSeparated:
        what = QStringLiteral("カンマ区切り（CSV）のファイル");
        break;
    case ReportSniffer::Looks::Utf8:
    case ReportSniffer::Looks::Utf8Bom:
        what = QStringLiteral("文字コードがUTF-8のファイル");
        break;
    case ReportSniffer::Looks::Utf16Bom:
        what = QStringLiteral("文字コードがUTF-16のファイル（表計算ソフトの「Unicode テキスト」など）");
        break;
    case ReportSniffer::Looks::Report:
        break;
    }
    return QStringLiteral("%1\n\nこのファイルは報告ファイル（Shift_JISのタブ区切り）ではなく、%2のようです。\n\n"
                          "インポートすると、その各行を新しい報告の行として取り込みます（元のファイルは変わりません）。"
                          "報告ファイルとして開くと、文字や項目が正しく表示されないことがあります。")
            .arg(QDir::toNativeSeparators(path), what);
}

QString SaveLosses(const ReportDocument::SaveLosses &losses)
{
    QStringList lost;
    if (losses.longLines) {
        lost << QStringLiteral("・20個目以降の項目（%1行分、最初は%2行目）")
                        .arg(losses.longLines)
                        .arg(losses.firstLongLine);
    }
    if (losses.bytesAfterEofMark)
        lost << QStringLiteral("・ファイル終端記号（0x1A）より後の%1バイト").arg(losses.bytesAfterEofMark);
    return QStringLiteral("読み込んだファイルにあった次の内容は、表示されておらず、保存されません。\n\n%1\n\n"
                          "残すには「キャンセル」を選び、元のファイルをそのまま残してください。\n"
                          "このまま保存しますか？")
            .arg(lost.join(u'\n'));
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

QString Pasted(const ReportDocument::PasteResult &result)
{
    QString counts = QStringLiteral("エラー%1個、Shift_JISにない文字で拒否%2個").arg(result.invalid).arg(result.refused);
    if (result.flattened > 0)
        counts += QStringLiteral("、改行・タブを空白にしたセル%1個").arg(result.flattened);
    QString status = QStringLiteral("%1個のセルを貼り付けました（%2）。").arg(result.pasted).arg(counts);
    if (result.outside > 0)
        status += QStringLiteral("最後の項目より右の%1個は捨てました。").arg(result.outside);
    return status;
}

QString PasteCancelled()
{
    return QStringLiteral("貼り付けを中止しました。報告は元のままです。");
}

QString Import(const QString &path, ReadFailure failure)
{
    const QString reason = failure == ReadFailure::TooManyLines
            ? QStringLiteral("報告の行が多すぎるため、インポートできません。表示中の報告はそのままです。")
            : LoadReason(path, failure);
    return withFile(QStringLiteral("インポートエラー"), path, reason);
}

namespace {

QString encodingName(TextEncoding::Encoding encoding)
{
    switch (encoding) {
    case TextEncoding::Encoding::ShiftJis:
        return QStringLiteral("Shift_JIS");
    case TextEncoding::Encoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Encoding::Utf8Bom:
        return QStringLiteral("UTF-8（BOM付き）");
    case TextEncoding::Encoding::Utf16LE:
    case TextEncoding::Encoding::Utf16BE:
        return QStringLiteral("UTF-16");
    }
    return {};
}

} // namespace

QString Imported(const ReportDocument::ImportResult &result)
{
    return QStringLiteral("%1行をインポートしました。エラーのセル%2個、Shift_JISで表せない文字を「〓」にしたセル%3個。")
            .arg(result.lines)
            .arg(result.invalid)
            .arg(result.facts.substitutedCells);
}

QString ImportSummary(const ReportDocument::ImportResult &result)
{
    const ImportFacts &facts = result.facts;
    // The facts count the imported lines from 1; the user sees the report's.
    const auto line = [&result](std::uint64_t imported) { return std::uint64_t(result.firstLine) + imported; };
    QStringList notes;
    notes << QStringLiteral("%1行をインポートしました（報告の%2行目から）。エラーのセルは%3個です。")
                     .arg(result.lines)
                     .arg(result.firstLine + 1)
                     .arg(result.invalid);
    notes << QStringLiteral("文字コード：%1、区切り：%2")
                     .arg(encodingName(facts.encoding),
                          facts.separator == u'\t' ? QStringLiteral("タブ") : QStringLiteral("カンマ"));
    if (facts.headerSkipped)
        notes << QStringLiteral("・1行目は項目名の行なので、取り込んでいません。");
    if (facts.substitutedCells) {
        notes << QStringLiteral("・Shift_JISで表せない文字を「〓」に置き換えたセルが%1個あります（最初は%2行目）。")
                         .arg(facts.substitutedCells)
                         .arg(line(facts.firstSubstitutedLine));
    }
    if (facts.longLines) {
        notes << QStringLiteral("・20個目以降にも項目がある行が%1行あり（最初は%2行目）、その項目は取り込んでいません。")
                         .arg(facts.longLines)
                         .arg(line(facts.firstLongLine));
    }
    if (facts.flattenedCells) {
        notes << QStringLiteral("・セル内の改行またはタブを空白にしたセルが%1個あります（最初は%2行目）。")
                         .arg(facts.flattenedCells)
                         .arg(line(facts.firstFlattenedLine));
    }
    if (facts.unclosedQuotes) {
        notes << QStringLiteral("・閉じていない引用符（\"）が%1個あり、文字として読みました（最初は%2行目）。")
                         .arg(facts.unclosedQuotes)
                         .arg(line(facts.firstUnclosedQuoteLine));
    }
    notes << QStringLiteral("元のファイルは変わりません。保存すると、報告ファイル（Shift_JIS）として書かれます。");
    return notes.join(u'\n');
}

QString ImportCancelled()
{
    return QStringLiteral("インポートを中止しました。表示中の報告はそのままです。");
}

QString Export(const QString &path, const ReportDocument::ExportResult &result)
{
    QString reason;
    const QFileInfo info(path);
    if (result.ontoReport)
        reason = QStringLiteral("編集中の報告ファイルそのものには書き出せません。別の名前を指定してください。");
    else if (result.outOfMemory)
        reason = QStringLiteral("メモリが足りないため、書き出せませんでした。");
    else if (!info.dir().exists())
        reason = QStringLiteral("書き出し先のフォルダーが見つかりません。");
    else if (info.exists() && !info.isFile())
        reason = QStringLiteral("同じ名前のフォルダーなどがあるため、書き出せません。");
    else
        reason = QStringLiteral("書き出せませんでした。同じ名前のファイルがあれば、それはそのままです。");
    return withFile(QStringLiteral("エクスポートエラー"), path, reason + QStringLiteral("報告はそのままです。"));
}

QString Exported(const QString &path, const ExportFacts &facts)
{
    QString status = QStringLiteral("エクスポートしました：%1").arg(QDir::toNativeSeparators(path));
    if (facts.changedCells) {
        status += QStringLiteral("（%1個のセルは元のバイトのままでは書き出せませんでした。最初は%2行目の%3番目の項目）")
                          .arg(facts.changedCells)
                          .arg(facts.firstChangedLine)
                          .arg(facts.firstChangedField);
    }
    return status;
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
