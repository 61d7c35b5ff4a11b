#include "SpreadsheetCell.h"

#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>

namespace SpreadsheetCell {

bool IsDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'\uFF10' && c <= u'\uFF19');
}

bool StartsFormula(QChar c)
{
    switch (c.unicode()) {
    case u'=': case u'+': case u'-': case u'@':
    case u'\uFF1D': case u'\uFF0B': case u'\uFF0D': case u'\uFF20':
        return true;
    default:
        return false;
    }
}

bool NeedsTextForm(QStringView cell)
{
    if (cell.isEmpty() || !(StartsFormula(cell.front()) || std::any_of(cell.begin(), cell.end(), IsDigit)))
        return false;
    return cell.size() <= MaxFormulaText || FromTextForm(cell).has_value();
}

QString TextForm(QStringView cell)
{
    QString form;
    form.reserve(cell.size() + 4);
    form += u"=\"";
    for (const QChar c : cell) {
        form += c;
        if (c == u'"')
            form += c;
    }
    form += u'"';
    return form;
}

std::optional<QString> FromTextForm(QStringView cell)
{
    if (cell.size() < 3 || !cell.startsWith(u"=\"") || cell.back() != u'"')
        return std::nullopt;
    const QStringView inner = cell.sliced(2, cell.size() - 3);
    QString text;
    text.reserve(inner.size());
    for (qsizetype i = 0; i < inner.size(); ++i) {
        if (inner[i] == u'"') {
            // A quote that is not doubled ends the string: ="a"&"b" is a
            // formula of two strings, not this form.
            if (i + 1 == inner.size() || inner[i + 1] != u'"')
                return std::nullopt;
            ++i;
        }
        text += inner[i];
    }
    return text;
}

const QStringList &FieldNames()
{
    static const QStringList names = [] {
        QStringList list;
        const qnVelTorDataAttribute *attributes = qnVelTorDataAttribute::Instance();
        for (std::uint32_t field = 0; field < FieldCount; ++field)
            list << ShiftJis::ToText(attributes->At(field)->name);
        return list;
    }();
    return names;
}

} // namespace SpreadsheetCell
