#include "CellTyping.h"

#include "CellChanges.h"
#include "CellText.h"
#include "ReportDocument.h"
#include "ReportEdits.h"
#include "qnVelTorDataAttribute.h"

#include <QUndoStack>

#include <new>
#include <string>

CellTyping::CellTyping(ReportDocument &document, ReportEdits &edits) : document(document), edits(edits)
{
    // A step taken while a line made by typing stands (the commit's own
    // among them) holds that line from then on.
    connect(document.UndoStack(), &QUndoStack::indexChanged, this, [this] { madeLine = -1; });
}

void CellTyping::SetDirty(bool value)
{
    dirty = value;
    emit typed();
}

void CellTyping::Type(int at, int atField, const QString &text)
{
    if (at < 0 || at > document.LineCount() || atField < 0 || atField >= int(FieldCount))
        return;
    line = at;
    field = atField;
    const std::string_view stored = document.Cell(line, field);
    // A cell left as it was keeps its exact bytes, and is no change.
    const bool unchanged = CellText::EditLeaves(stored, text);
    if (!text.isEmpty() && line == document.LineCount()) {
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
    if (CellText::EditLeaves(document.Cell(at, atField), text))
        return EditResult::Done;
    EditResult result = EditResult::OutOfMemory;
    try {
        // The line typing made is the step's to add and to take back.
        CellChanges changes(document.Content(), at == madeLine ? madeLine : document.LineCount());
        changes.Set(at, atField, CellText::ToBytes(text));
        result = document.ChangeCells(std::move(changes), tr("セルの編集"));
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
        const int lastLine = document.LineCount() - 1;
        if (madeLine == lastLine && document.Line(lastLine).IsEmpty())
            edits.RemoveLastLines(1);
        madeLine = -1;
    }
    if (line >= 0 && line < document.LineCount())
        edits.Revalidate(line, field);
    const bool wasTyping = line >= 0 || dirty;
    line = field = -1;
    if (wasTyping)
        SetDirty(false);
}
