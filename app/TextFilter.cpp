#include "TextFilter.h"

#include "ShiftJis.h"
#include "qnVelTorFileName.h"

#include <QLineEdit>

#include <algorithm>

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

qsizetype countNotInFileName(const QString &text)
{
    return std::count_if(text.cbegin(), text.cend(), [](QChar c) { return !CanStandInFileName(c); });
}

} // namespace

TextFilter::TextFilter(QLineEdit *edit, int byteLimit)
    : QValidator(edit), edit(edit), byteLimit(byteLimit)
{
    if (edit) {
        accepted = edit->text();
        connect(edit, &QLineEdit::textChanged, this, [this](const QString &text) { accepted = text; });
    }
}

QString TextFilter::RefusedMessage()
{
    return QStringLiteral("Shift_JISで表せない文字は入力できません。");
}

QString TextFilter::FileNameRefusedMessage()
{
    return QStringLiteral("ファイル名に使えない文字（\\ / : * ? \" < > | と制御文字）は入力できません。");
}

QValidator::State TextFilter::validate(QString &input, int &pos) const
{
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
        if (length > byteLimit && length > ShiftJis::ByteLength(before))
            return Invalid;
    }
    return Acceptable;
}
