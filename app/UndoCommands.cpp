#include "UndoCommands.h"

#include "ReportModel.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorGridAttr.h"

#include <QLineEdit>

#include <bit>
#include <string_view>

namespace {

int firstField(std::uint32_t fields)
{
    return fields ? std::countr_zero(fields) : 0;
}

} // namespace

ReportEdits::ReportEdits(ReportModel &model, qnVelTor::GridAttr &attrs, const qnVelTorDataAttribute &attributes)
    : model(model), attrs(attrs), attributes(attributes)
{
}

int ReportEdits::LineCount() const
{
    return model.rowCount() - 1;
}

void ReportEdits::Validate(int record, int field)
{
    std::string message;
    const bool valid = attributes.Validate(unsigned(field), model.Cell(record, field), message);
    attrs.SetError(unsigned(record), unsigned(field), !valid);
    attrs.SetErrorMessage(unsigned(record), unsigned(field), std::move(message));
}

void ReportEdits::ValidateLine(int record)
{
    for (int field = 0; field < int(ReportRow::CellCount); ++field)
        Validate(record, field);
    model.RowDecorationChanged(record);
}

void ReportEdits::InsertLine(int record, const ReportRow &line)
{
    // A line that does not fit in memory leaves the report as it was.
    attrs.InsertRow(unsigned(record));
    try {
        model.InsertRow(record, ReportRow(line));
    } catch (...) {
        attrs.RemoveRow(unsigned(record));
        throw;
    }
    if (!line.IsEmpty()) {
        try {
            ValidateLine(record);
        } catch (...) {
            model.RemoveRow(record);
            attrs.RemoveRow(unsigned(record));
            throw;
        }
    }
}

void ReportEdits::RemoveLine(int record)
{
    attrs.RemoveRow(unsigned(record));
    model.RemoveRow(record);
}

void ReportEdits::MoveLine(int from, int to)
{
    if (model.MoveRow(from, to))
        attrs.MoveRow(unsigned(from), unsigned(to));
}

void ReportEdits::AppendLines(int count)
{
    // Lines that do not fit in memory leave the report as it was.
    const unsigned rows = attrs.RowCount();
    try {
        for (int i = 0; i < count; ++i)
            attrs.AddRow();
        model.AppendEmptyLines(count);
    } catch (...) {
        while (attrs.RowCount() > rows)
            attrs.RemoveRow(attrs.RowCount() - 1);
        throw;
    }
}

void ReportEdits::RemoveLastLines(int count)
{
    for (int i = 0; i < count; ++i)
        attrs.RemoveRow(attrs.RowCount() - 1);
    model.RemoveLastLines(count);
}

void ReportEdits::SetCells(int record, std::uint32_t fields, const ReportRow &cells)
{
    std::string_view texts[ReportRow::CellCount];
    model.Row(record).Cells(texts);
    std::string_view given[ReportRow::CellCount];
    cells.Cells(given);
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field))
            texts[field] = given[field];
    }
    // The views point into the old block; the new one is built first.
    model.ReplaceRow(record, ReportRow::FromCells(texts));
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field))
            Validate(record, int(field));
    }
    model.RowDecorationChanged(record);
}

void GridCommand::Focus(int record, int field)
{
    if (done && edits.focus)
        edits.focus(record, field);
}

CellsCommand::LineChange CellsCommand::MakeLine(int record, std::uint32_t fields,
                                                const std::string_view (&before)[ReportRow::CellCount],
                                                const std::string_view (&after)[ReportRow::CellCount])
{
    std::string_view keptBefore[ReportRow::CellCount];
    std::string_view keptAfter[ReportRow::CellCount];
    for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
        if (fields & (1u << field)) {
            keptBefore[field] = before[field];
            keptAfter[field] = after[field];
        }
    }
    return {record, fields, ReportRow::FromCells(keptBefore), ReportRow::FromCells(keptAfter)};
}

CellsCommand::CellsCommand(ReportEdits &edits, const QString &text, std::vector<LineChange> lines, int linesBefore,
                           int linesAdded)
    : GridCommand(edits, text), lines(std::move(lines)), linesBefore(linesBefore), linesAdded(linesAdded)
{
}

void CellsCommand::Apply(bool after)
{
    std::size_t changed = 0;
    try {
        for (; changed < lines.size(); ++changed) {
            const LineChange &line = lines[changed];
            edits.SetCells(line.record, line.fields, after ? line.after : line.before);
        }
    } catch (...) {
        // Memory ran out part way: the lines changed so far go back, so that
        // the step is either whole or not there at all.
        for (std::size_t i = 0; i <= changed && i < lines.size(); ++i) {
            const LineChange &line = lines[i];
            edits.SetCells(line.record, line.fields, after ? line.before : line.after);
        }
        throw;
    }
}

void CellsCommand::redo()
{
    // Typing into the new-line row has already added its line.
    const int missing = linesBefore + linesAdded - edits.LineCount();
    if (missing > 0)
        edits.AppendLines(missing);
    try {
        Apply(true);
    } catch (...) {
        if (missing > 0)
            edits.RemoveLastLines(missing);
        throw;
    }
    if (!lines.empty())
        Focus(lines.front().record, firstField(lines.front().fields));
    done = true;
}

void CellsCommand::undo()
{
    Apply(false);
    const int surplus = edits.LineCount() - linesBefore;
    if (linesAdded > 0 && surplus > 0)
        edits.RemoveLastLines(surplus);
    if (!lines.empty())
        Focus(lines.front().record, firstField(lines.front().fields));
}

InsertLineCommand::InsertLineCommand(ReportEdits &edits, const QString &text, int record, int field, ReportRow line)
    : GridCommand(edits, text), record(record), field(field), line(std::move(line))
{
}

void InsertLineCommand::redo()
{
    edits.InsertLine(record, line);
    Focus(record, field);
    done = true;
}

void InsertLineCommand::undo()
{
    edits.RemoveLine(record);
    Focus(record, field);
}

RemoveLineCommand::RemoveLineCommand(ReportEdits &edits, const QString &text, int record, int field)
    : GridCommand(edits, text), record(record), field(field), line(edits.model.Row(record))
{
}

void RemoveLineCommand::redo()
{
    edits.RemoveLine(record);
    Focus(record, field);
    done = true;
}

void RemoveLineCommand::undo()
{
    edits.InsertLine(record, line);
    Focus(record, field);
}

MoveLineCommand::MoveLineCommand(ReportEdits &edits, int from, int to, int field)
    : GridCommand(edits, QStringLiteral("行の移動")), from(from), to(to), field(field)
{
}

void MoveLineCommand::redo()
{
    edits.MoveLine(from, to);
    Focus(to, field);
    done = true;
}

void MoveLineCommand::undo()
{
    edits.MoveLine(to, from);
    Focus(from, field);
}

HeaderCommand::HeaderCommand(QLineEdit *box, int boxId, QString *remembered, QString before, QString after,
                             int session)
    : QUndoCommand(QStringLiteral("見出しの編集")), box(box), boxId(boxId), remembered(remembered),
      before(std::move(before)), after(std::move(after)), session(session)
{
}

bool HeaderCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = static_cast<const HeaderCommand *>(other);
    if (next->box != box || next->session != session)
        return false;
    after = next->after;
    // Typed and taken back again: no step is left.
    setObsolete(after == before);
    return true;
}

void HeaderCommand::Show(const QString &text)
{
    // The box holds the text already when the user has just typed it; a
    // setText would move the cursor to the end.
    if (box->text() != text)
        box->setText(text);
    *remembered = text;
}

void HeaderCommand::redo()
{
    Show(after);
}

void HeaderCommand::undo()
{
    Show(before);
    box->setFocus(Qt::OtherFocusReason);
}
