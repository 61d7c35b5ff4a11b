#pragma once

#include "ReportContent.h"
#include "ReportRow.h"
#include "qnVelTorFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The only way anything changes a report's content: the undo steps, a load
// and the text being typed into a cell all go through here. The lines and
// their verdicts always move together, so that a red frame never lands on
// a line that was not checked, and every change is told to the views.
class ReportEdits
{
public:
    explicit ReportEdits(ReportContent &content) : content(content) {}

    int LineCount() const { return content.LineCount(); }
    const ReportRow &Line(int line) const { return content.Line(line); }

    // The rows go into the report before `line` (at its end when `line` is
    // the line count), each validated, with one signal for them all; `rows`
    // keeps its size and holds empty rows after. When memory runs out they
    // are back in `rows` and the report is as it was.
    void InsertLines(int line, std::vector<ReportRow> &rows);
    // The lines from `first` on move out into `rows`, with one signal;
    // with `verdicts`, theirs go there.
    void TakeLines(int first, int count, std::vector<ReportRow> &rows, qnVelTor::GridAttr::Rows *verdicts = nullptr);
    // Lines taken out with their verdicts come back before `line`, not
    // checked again; both are left empty. When memory runs out nothing
    // changes.
    void PutLines(int line, std::vector<ReportRow> &rows, qnVelTor::GridAttr::Rows &verdicts);
    void MoveLine(int from, int to);
    // Line order[i] becomes line i; the verdicts follow their lines.
    void Reorder(const std::vector<std::uint32_t> &order);
    // `count` empty lines at the end.
    void AppendLines(int count);
    void RemoveLastLines(int count);
    // Sets the fields in the mask to the texts of `cells`, leaving the
    // others as they are, and validates them.
    void SetCells(int line, std::uint32_t fields, const ReportRow &cells);
    // The same without validating, the views told only linesAboutToChange:
    // returns the line's row as it was, for the caller to put back with
    // PutBack(), which needs no memory, or to drop once it has validated the
    // fields and called CellsChanged().
    ReportRow ReplaceCells(int line, std::uint32_t fields, const ReportRow &cells);
    void PutBack(int line, ReportRow &&row) noexcept;
    // Swaps the line's row with `row`, without validating, the views told
    // only linesAboutToChange. A row may so go to a step while its block
    // lies in the report's arena: the steps are dropped whenever the arena is.
    void SwapRow(int line, ReportRow &row) noexcept;
    // Writes the texts over the line's cells of the mask, each exactly as
    // long as the cell it replaces, without validating, the views told only
    // linesAboutToChange; needs no memory.
    void OverwriteCells(int line, std::uint32_t fields, const std::string_view *texts) noexcept;
    void CellsChanged(int first, int last) { emit content.cellsChanged(first, last); }
    void SetHeader(ReportContent::HeaderBox box, const std::string &bytes);

    // Lines read from elsewhere, with their verdicts, appended at once: the
    // rows' arena becomes the report's. When memory runs out nothing
    // changes.
    void AppendLoaded(std::vector<ReportRow> &rows, RowArena &arena, qnVelTor::GridAttr &verdicts);

    // Everything replaced at once (a load, New): the views hear one reset.
    void Reset(std::vector<ReportRow> &&rows, RowArena &&arena, qnVelTor::GridAttr &&verdicts);

    // The verdict of a text being typed into the cell, which the cell does
    // not hold yet; Validate() gives the cell its own back.
    void ValidateTyped(int line, int field, std::string_view bytes);

    // The cell's verdict from the text it holds; with the views told.
    void Revalidate(int line, int field);
    void Validate(int line, int field);
    void ValidateLine(int line);
    // The fields of the mask, reading the line once.
    void ValidateFields(int line, std::uint32_t fields);

    // A field of -1 names the line only.
    void ShowPlace(int line, int field) { emit content.placeShown(line, field); }
    void ShowHeader(ReportContent::HeaderBox box) { emit content.headerShown(box); }

    // Asks, before any view hears of `count` more lines, for the memory
    // the lines and the views will need: an allocation failing half way
    // through telling the views would leave them with lines the report
    // does not have.
    void MakeRoom(std::size_t count);

    // Where the step being done, undone or redone tells how far it has got
    // (StepProgress.h); null while nobody watches. Not owned.
    const ReadProgress *Progress() const { return progress; }
    void SetProgress(const ReadProgress *watcher) { progress = watcher; }

private:
    ReportContent &content;
    const ReadProgress *progress = nullptr; // not owned
};
