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
    case ReadFailure::CannotOpen: {
        const QFileInfo info(path);
        if (!info.dir().exists())
            return QStringLiteral("フォルダーが見つかりません。");
        if (!info.exists())
            return QStringLiteral("ファイルが見つかりません。");
        return QStringLiteral("ファイルを読み取る権限がありません。");
    }
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

QString Save(const QString &path, bool outOfMemory)
{
    if (outOfMemory) {
        return withFile(QStringLiteral("ファイル書き込みエラー"), path,
                        QStringLiteral("メモリが足りないため、保存できませんでした。報告も元のファイルもそのままです。"));
    }
    const QFileInfo info(path);
    QString reason;
    if (!info.dir().exists())
        reason = QStringLiteral("保存先のフォルダーが見つかりません。");
    else if (info.exists() && !info.isFile())
        reason = QStringLiteral("同じ名前のフォルダーなどがあるため、保存できません。");
    else
        reason = QStringLiteral("保存できませんでした。元のファイルはそのままです。");
    return withFile(QStringLiteral("ファイル書き込みエラー"), path, reason);
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
