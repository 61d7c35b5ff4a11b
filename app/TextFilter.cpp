#include "TextFilter.h"

#include "ShiftJis.h"
#include "qnVelTorFileName.h"

#include <QLineEdit>

#include <algorithm>
#include <limits>

namespace {

bool isUnstorableControl(QChar c)
{
    return c == u'\t' || c == u'\r' || c == u'\n' || c == QChar(0x1A);
}

qsizetype countUnencodable(const QString &text)
{
    qsizetype count = 0;
    ShiftJis::FromTextReplacing(text, {}, &count);
    return count;
}

qsizetype countLineBreaks(const QString &text)
{
    return std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c == u'\t' || c == u'\r' || c == u'\n'; });
}

qsizetype countNotInFileName(const QString &text)
{
    return std::count_if(text.cbegin(), text.cend(), [](QChar c) { return !CanStandInFileName(c); });
}

} // namespace

TextFilter::TextFilter(QLineEdit *edit, int byteLimit)
    : QValidator(edit), edit(edit), byteLimit(byteLimit)
{
    if (edit) {
        // QLineEdit cuts a paste at 32,767 characters before the filter
        // sees it; the filter cuts to the real limit itself and must count
        // what it leaves out from the whole paste.
        edit->setMaxLength(std::numeric_limits<int>::max());
        accepted = edit->text();
        connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { accepted = text; });
    }
}

QString TextFilter::RefusedMessage()
{
    return tr("Shift_JISで表せない文字は入力できません。");
}

QString TextFilter::LeftOutMessage(qsizetype count)
{
    return tr("長さの上限を超えるため、%1文字は入力されませんでした。").arg(count);
}

QString TextFilter::FileNameRefusedMessage()
{
    return tr("ファイル名に使えない文字（\\ / : * ? \" < > | と制御文字）は入力できません。");
}

QString TextFilter::LinesRefusedMessage()
{
    return tr("改行やタブを含む文字列（表の行やセルなど）は、この欄には貼り付けられません。");
}

QValidator::State TextFilter::validate(QString &input, int &pos) const
{
    // Counted, not searched, as below: a name made elsewhere may hold one.
    if (fileNameOnly && countLineBreaks(input) > countLineBreaks(accepted)) {
        if (edit && edit->hasFocus())
            emit refused(LinesRefusedMessage());
        return Invalid;
    }
    input = ShiftJis::MapLookAlikes(input);

    QString kept;
    kept.reserve(input.size());
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (isUnstorableControl(input.at(i))) {
            if (i < pos)
                --pos;
        } else {
            kept.append(input.at(i));
        }
    }
    input = kept;

    const QString &before = accepted;
    // Counted, not searched: a value loaded from a file name made elsewhere
    // may already hold one, and stays editable.
    if (fileNameOnly && countNotInFileName(input) > countNotInFileName(before)) {
        if (edit && edit->hasFocus())
            emit refused(FileNameRefusedMessage());
        return Invalid;
    }
    if (countUnencodable(input) > countUnencodable(before)) {
        // Text set by the program (a loaded cell) is checked too; only the
        // user's typing deserves the message.
        if (edit && edit->hasFocus())
            emit refused(RefusedMessage());
        return Invalid;
    }
    if (byteLimit > 0) {
        const qsizetype length = ShiftJis::ByteLength(input);
        const qsizetype beforeLength = ShiftJis::ByteLength(before);
        if (length > byteLimit && length > beforeLength) {
            // QLineEdit keeps an undo step for each change the user makes
            // and clears them when the program sets the text: only the
            // user's change is cut to fit, a loaded cell is left whole.
            if (!edit || !edit->isUndoAvailable())
                return Invalid;
            return FitChange(input, pos, std::max<qsizetype>(byteLimit, beforeLength));
        }
    }
    return Acceptable;
}

QValidator::State TextFilter::FitChange(QString &input, int &pos, qsizetype room) const
{
    const QString &before = accepted;
    // What the change put in ends at the cursor; the text after the cursor
    // is what stood at the end before.
    qsizetype end = std::clamp<qsizetype>(pos, 0, input.size());
    const qsizetype tail = input.size() - end;
    if (tail > before.size() || QStringView(input).sliced(end) != QStringView(before).last(tail))
        end = input.size();
    const qsizetype after = input.size() - end;
    qsizetype start = 0;
    const qsizetype common = std::min(end, before.size() - after);
    while (start < common && input.at(start) == before.at(start))
        ++start;

    const QStringView inserted = QStringView(input).sliced(start, end - start);
    qsizetype free = room - ShiftJis::ByteLength(input) + ShiftJis::ByteLength(inserted.toString());
    qsizetype kept = 0;
    qsizetype leftOut = 0;
    for (qsizetype i = 0; i < inserted.size();) {
        const qsizetype units = inserted.at(i).isHighSurrogate() && i + 1 < inserted.size() ? 2 : 1;
        // Once one character is left out, so is everything after it.
        const qsizetype bytes = leftOut ? 0 : ShiftJis::ByteLength(inserted.sliced(i, units).toString());
        if (leftOut == 0 && bytes <= free) {
            free -= bytes;
            kept = i + units;
        } else {
            ++leftOut;
        }
        i += units;
    }
    if (leftOut > 0)
        emit refused(LeftOutMessage(leftOut));
    if (kept == 0) {
        // QLineEdit takes back a refused change only when the text before it
        // was acceptable; a loaded cell beyond the limit was not, so the
        // change is taken out here.
        if (ShiftJis::ByteLength(before) <= byteLimit)
            return Invalid;
    }
    input = input.left(start + kept) + input.sliced(end);
    pos = int(start + kept);
    return Acceptable;
}
