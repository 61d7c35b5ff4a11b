#include "NoteFix.h"

#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <iterator>

namespace {

bool allDigits(std::string_view value)
{
    return std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The value as the fix makes it; false when the fix has no rule for it.
bool mechanical(NoteKind kind, std::string_view value, std::string &out)
{
    switch (kind) {
    case NoteKind::ContentCategory:
    case NoteKind::MedleyCategory:
    case NoteKind::IvtCategory:
        if (value.size() != 1 || value[0] < 'a' || value[0] > 'z')
            return false;
        out.assign(1, char(value[0] - 'a' + 'A'));
        return true;
    case NoteKind::CollectCodeFilled:
    case NoteKind::IlCategoryFilled:
        out.clear();
        return true;
    case NoteKind::ContentSubNumber:
    case NoteKind::MedleySubNumber:
        if (value.empty() || value.size() > 2 || !allDigits(value))
            return false;
        out.assign(3 - value.size(), '0');
        out.append(value);
        return true;
    case NoteKind::WorkCodeNotNumber:
        out.clear();
        std::copy_if(value.begin(), value.end(), std::back_inserter(out), [](char c) { return c != '-'; });
        return true;
    case NoteKind::InformationFeeNotNumber:
    case NoteKind::RequestCountNotNumber:
        if (value.empty()) {
            out.assign(1, '0');
            return true;
        }
        // 1,000 as 1000.
        out.clear();
        std::copy_if(value.begin(), value.end(), std::back_inserter(out), [](char c) { return c != ','; });
        return true;
    default:
        return false;
    }
}

} // namespace

bool NoteFix::Offered(NoteKind kind)
{
    std::string out;
    return mechanical(kind, "", out) || mechanical(kind, "v", out) || mechanical(kind, "1", out)
            || mechanical(kind, "1-1", out);
}

QString NoteFix::Text() const
{
    switch (kind) {
    case NoteKind::ContentCategory:
    case NoteKind::MedleyCategory:
    case NoteKind::IvtCategory:
        return tr("［%1］の小文字を大文字に").arg(FieldTitle());
    case NoteKind::CollectCodeFilled:
    case NoteKind::IlCategoryFilled:
        return tr("［%1］を空欄に").arg(FieldTitle());
    case NoteKind::ContentSubNumber:
    case NoteKind::MedleySubNumber:
        return tr("［%1］を3桁に").arg(FieldTitle());
    case NoteKind::WorkCodeNotNumber:
        return tr("［%1］の「-」を削除").arg(FieldTitle());
    case NoteKind::InformationFeeNotNumber:
    case NoteKind::RequestCountNotNumber:
        return tr("［%1］の空欄を「0」に").arg(FieldTitle());
    default:
        return {};
    }
}

QString NoteFix::FieldTitle() const
{
    const auto *attribute = qnVelTorDataAttribute::Instance()->At(qnVelTorDataNotes::Field(kind));
    return attribute ? ShiftJis::ToText(attribute->name) : QString();
}

bool NoteFix::Touches(std::uint32_t field) const
{
    return field == qnVelTorDataNotes::Field(kind);
}

bool NoteFix::Fix(std::uint32_t field, std::string_view value, std::string &out) const
{
    // Only where the rule is broken, and only where the fix clears it.
    if (qnVelTorDataNotes::CellNote(field, value) != kind || !mechanical(kind, value, out))
        return false;
    return qnVelTorDataNotes::CellNote(field, out) == NoteKind::None
            && qnVelTorDataAttribute::Instance()->IsValid(field, out);
}
