#include "EditMessages.h"

#include "ReportDocument.h"
#include "qnVelTorDataAttribute.h"
#include "ShiftJis.h"

QString EditMessages::Replaced(const ReportReplace::Result &result)
{
    QString text = tr("%1か所を置換しました。").arg(result.replaced);
    if (result.tooLong)
        text += tr("項目の長さを超えるため%1か所は置換しませんでした。").arg(result.tooLong);
    if (result.unstorable)
        text += tr("Shift_JISで表せない文字になるため%1か所は置換しませんでした。").arg(result.unstorable);
    if (result.madeInvalid)
        text += tr("置換でエラーになったセルが%1個あります。").arg(result.madeInvalid);
    return text;
}

QString EditMessages::ReplaceNotFound(const QString &find)
{
    return tr("「%1」は見つかりません。").arg(find);
}

QString EditMessages::ReplaceShown(const ReportDocument &document, const ReportReplace::Match &match, const QString &markedText)
{
    const auto *field = document.Attributes().At(unsigned(match.field));
    return tr("%1行目「%2」：%3　（「次を置換」で置換します）")
            .arg(match.line + 1)
            .arg(field ? ShiftJis::ToText(field->name) : QString())
            .arg(markedText);
}

QString EditMessages::Renumbered(const BulkEdits::Result &result)
{
    return result.changed ? tr("連番を振り直しました（%1個のセルを変更）。").arg(result.changed)
                          : tr("連番はすでに振られています。");
}

QString EditMessages::FilledDown(const BulkEdits::Result &result)
{
    QString text = tr("%1個のセルに下方向へコピーしました。").arg(result.changed);
    if (result.invalid)
        text += tr("エラーのセルが%1個あります。").arg(result.invalid);
    return text;
}

QString EditMessages::Sorted(const BulkEdits::Result &result)
{
    return result.changed ? tr("並べ替えました（%1行が移動）。").arg(result.changed)
                          : tr("すでにその順に並んでいます。");
}

QString EditMessages::Pasted(const ReportBlocks::PasteResult &result)
{
    QString counts = tr("エラー%1個、Shift_JISにない文字で拒否%2個").arg(result.invalid).arg(result.refused);
    if (result.flattened > 0)
        counts += tr("、改行・タブを空白にしたセル%1個").arg(result.flattened);
    QString status = tr("%1個のセルを貼り付けました（%2）。").arg(result.pasted).arg(counts);
    if (result.outside > 0)
        status += tr("最後の項目より右の%1個は捨てました。").arg(result.outside);
    return status;
}

QString EditMessages::PasteCancelled()
{
    return tr("貼り付けを中止しました。報告は元のままです。");
}

QString EditMessages::Cancelled(const QString &command)
{
    return tr("%1を中止しました。報告は元のままです。").arg(command);
}

QString EditMessages::StepsDropped(int count)
{
    return tr("メモリを空けるため、古い操作%1件は元に戻せなくなりました。").arg(count);
}

QString EditMessages::OutOfMemoryPaste()
{
    return tr("メモリが足りないため、行を貼り付けられません。");
}

QString EditMessages::OutOfMemoryEdit()
{
    return tr("メモリが足りないため、実行できませんでした。報告は元のままです。");
}

QString EditMessages::OutOfMemoryDraw()
{
    return tr("メモリが足りないため、表示できないセルがあります。");
}

QString EditMessages::OutOfMemoryUndo()
{
    return tr("メモリが足りないため、元に戻せませんでした。");
}

QString EditMessages::OutOfMemoryRedo()
{
    return tr("メモリが足りないため、やり直せませんでした。");
}
