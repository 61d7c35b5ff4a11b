#include "CellTyping.h"

#include "CellChanges.h"
#include "CellText.h"
#include "ReportContent.h"
#include "ReportEdits.h"
#include "qnVelTorDataAttribute.h"

#include <QUndoStack>

#include <new>
#include <string>

CellTyping::CellTyping(const ReportContent &content, ReportEdits &edits, QUndoStack &steps, MakeStep makeStep)
    : content(content), edits(edits), makeStep(std::move(makeStep))
{
    // A step taken while a line made by typing stands (the commit's own
    // among them) holds that line from then on.
    connect(&steps, &QUndoStack::indexChanged, this, [this] { madeLine = -1; });
}

void CellTyping::SetDirty(bool value)
{
    dirty = value;
    emit typed();
}

void CellTyping::Type(int at, int atField, const QString &text)
{
    if (at < 0 || at > content.LineCount() || atField < 0 || atField >= int(FieldCount))
        return;
    line = at;
    field = atField;
    const std::string_view stored = content.Cell(line, field);
    // A cell left as it was keeps its exact bytes, and is no change.
    const bool unchanged = CellText::EditLeaves(stored, text);
    if (!text.isEmpty() && line == content.LineCount()) {
        try {
            edits.AppendLines(1);
            madeLine = line;
        } catch (const std::bad_alloc &) {
            // The commit makes the line, or says that it cannot.
            line = -1;
            return;
        }
    }
    edits.ValidateTyped(line, field, unchanged ? std::string(stored) : CellText::ToBytes(text));
    SetDirty(!unchanged);
}

EditResult CellTyping::Commit(int at, int atField, const QString &text)
{
    if (CellText::EditLeaves(content.Cell(at, atField), text))
        return EditResult::Done;
    EditResult result = EditResult::OutOfMemory;
    try {
        // The line typing made is the step's to add and to take back.
        CellChanges changes(content, at == madeLine ? madeLine : content.LineCount());
        changes.Set(at, atField, CellText::ToBytes(text));
        result = makeStep(std::move(changes), tr("セルの編集"));
    } catch (const std::bad_alloc &) {
    }
    if (result == EditResult::Done && at == line && atField == field) {
        // The step checked the cell: nothing is left to put back.
        line = field = -1;
        SetDirty(false);
    }
    return result;
}

void CellTyping::End()
{
    if (madeLine >= 0) {
        // Text typed into the new-line position and taken back, or an edit
        // given up: the line it made holds nothing and belongs to no step.
        const int lastLine = content.LineCount() - 1;
        if (madeLine == lastLine && content.Line(lastLine).IsEmpty())
            edits.RemoveLastLines(1);
        madeLine = -1;
    }
    if (line >= 0 && line < content.LineCount())
        edits.Revalidate(line, field);
    const bool wasTyping = line >= 0 || dirty;
    line = field = -1;
    if (wasTyping)
        SetDirty(false);
}
