#include "qnVelTorForm.h"

#include "ReportModel.h"
#include "ShiftJis.h"
#include "VelTorGridView.h"

#include <QLineEdit>
#include <QPushButton>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

const QString foundHint = QStringLiteral("見つかりました(^_^)");
const QString notFoundHint = QStringLiteral("見つかりません(；_；)");

// Whether `word` occurs in `cell` starting on a character boundary. Byte
// equality is all the locale comparison could confirm, so a byte search
// suffices. The boundaries are only walked up to each candidate the byte
// search finds, which keeps the test linear in the cell's length; a
// candidate that starts on a trail byte is skipped by resuming at the end
// of its character.
bool occursOnBoundary(std::string_view cell, std::string_view word)
{
    if (word.empty() || cell.size() < word.size())
        return false;
    std::size_t boundary = 0;
    for (std::size_t pos = cell.find(word); pos != std::string_view::npos; pos = cell.find(word, boundary)) {
        while (boundary < pos)
            boundary += ShiftJis::IsLeadByte(static_cast<unsigned char>(cell[boundary])) ? 2 : 1;
        if (boundary == pos)
            return true;
    }
    return false;
}

// Which cells of each line hold the word, one bit per field. A cell's
// bytes are found by walking its row's block from the first field, so
// probing down a column would walk up to 19 fields of a different row at
// every step, and touch a million rows 19 times. Instead a band of rows is
// tested row by row, all fields at once, the first time a probe reaches
// it; the probes themselves then only read bits, and a hit close to the
// start costs no more than its band.
class CellHits
{
public:
    CellHits(const ReportModel &model, std::string_view word)
        : model(model), word(word), masks(std::size_t(model.rowCount())),
          bandDone(std::size_t(model.rowCount() / BandRows + 1)), bandsLeft(bandDone.size())
    {
    }

    bool Matches(int record, int field) { return (Mask(record) >> field) & 1u; }
    // No cell of the line holds the word.
    bool LineEmpty(int record) { return !Mask(record); }
    // No line holds the word in this field; false while that is not known.
    bool FieldEmpty(int field) const { return bandsLeft == 0 && !((fieldsWithHits >> field) & 1u); }

private:
    static constexpr std::size_t BandRows = 4096;

    std::uint32_t Mask(int record)
    {
        const std::size_t band = std::size_t(record) / BandRows;
        if (!bandDone[band]) {
            FillBand(band);
            bandDone[band] = true;
            --bandsLeft;
        }
        return masks[std::size_t(record)];
    }

    void FillBand(std::size_t band)
    {
        const std::size_t end = std::min(masks.size(), (band + 1) * BandRows);
        for (std::size_t record = band * BandRows; record < end; ++record) {
            const ReportRow &row = model.Row(int(record));
            std::uint32_t mask = 0;
            // Nearly every line lacks the word: one look through its whole
            // block tells, where 19 looks would each cost a call.
            if (!row.IsEmpty() && row.Bytes().find(word) != std::string_view::npos) {
                std::string_view cells[ReportRow::CellCount];
                row.Cells(cells);
                for (unsigned field = 0; field < ReportRow::CellCount; ++field) {
                    if (occursOnBoundary(cells[field], word))
                        mask |= 1u << field;
                }
            }
            masks[record] = mask;
            fieldsWithHits |= mask;
        }
    }

    const ReportModel &model;
    std::string_view word;
    std::vector<std::uint32_t> masks;
    std::vector<bool> bandDone;
    std::size_t bandsLeft;
    std::uint32_t fieldsWithHits = 0;
};

} // namespace

void TVelTorForm::KensakuLeftButtonClick()
{
    Search(KensakuLeftButton, &TVelTorForm::StepSearchLeft);
}

void TVelTorForm::KensakuRightButtonClick()
{
    Search(KensakuRightButton, &TVelTorForm::StepSearchRight);
}

void TVelTorForm::KensakuUpButtonClick()
{
    Search(KensakuUpButton, &TVelTorForm::StepSearchUp);
}

void TVelTorForm::KensakuDownButtonClick()
{
    Search(KensakuDownButton, &TVelTorForm::StepSearchDown);
}

bool TVelTorForm::StepLeft(int &x) const
{
    if (x > FixedCols) {
        --x;
        return false;
    }
    x = GridColCount() - 1;
    return true;
}

bool TVelTorForm::StepRight(int &x) const
{
    if (x < GridColCount() - 1) {
        ++x;
        return false;
    }
    x = FixedCols;
    return true;
}

bool TVelTorForm::StepUp(int &y) const
{
    if (y > FixedRows) {
        --y;
        return false;
    }
    y = GridRowCount() - 1;
    return true;
}

bool TVelTorForm::StepDown(int &y) const
{
    if (y < GridRowCount() - 1) {
        ++y;
        return false;
    }
    y = FixedRows;
    return true;
}

void TVelTorForm::StepSearchLeft(int &x, int &y) const
{
    if (StepLeft(x))
        StepUp(y);
}

void TVelTorForm::StepSearchRight(int &x, int &y) const
{
    if (StepRight(x))
        StepDown(y);
}

void TVelTorForm::StepSearchUp(int &x, int &y) const
{
    if (StepUp(y))
        StepLeft(x);
}

void TVelTorForm::StepSearchDown(int &x, int &y) const
{
    if (StepDown(y))
        StepRight(x);
}

bool TVelTorForm::CellMatches(int row, int col, const std::string &word) const
{
    // The title row and the handle column hold no report text.
    if (row < FixedRows || col < FixedCols || col >= GridColCount())
        return false;
    return occursOnBoundary(Model->Cell(GridRowToRecord(row), GridColToField(col)), word);
}

void TVelTorForm::Search(QPushButton *button, void (TVelTorForm::*step)(int &x, int &y) const)
{
    // A cell being typed into is part of what the user sees.
    VelTorGrid->CommitEditor();

    // The box cannot change during a click, and it admits only text that
    // code page 932 holds, so the bytes are made once.
    const std::string word = ShiftJis::FromText(KensakuWord->text()).value_or(std::string());

    const int x0 = CurrentCol();
    const int y0 = CurrentRow();
    int x = x0;
    int y = y0;
    bool found = false;
    // An empty word matches nowhere: the full cycle would end where it
    // started without a hit, so it is not run.
    if (!word.empty()) {
        // Probes stay inside the search area, so the rows can be read
        // without the model's bounds checks.
        CellHits hits(*Model, word);
        const bool horizontal = step == &TVelTorForm::StepSearchLeft || step == &TVelTorForm::StepSearchRight;
        const bool backward = step == &TVelTorForm::StepSearchLeft || step == &TVelTorForm::StepSearchUp;
        for (;;) {
            (this->*step)(x, y);
            if (hits.Matches(GridRowToRecord(y), GridColToField(x))) {
                found = true;
                break;
            }
            if (x == x0 && y == y0)
                break;
            // The rest of a line (left, right) or of a column (up, down)
            // that cannot hold the word is passed over at once; not the
            // start's, since the cycle ends on the start cell.
            if (horizontal) {
                if (y != y0 && hits.LineEmpty(GridRowToRecord(y)))
                    x = backward ? FixedCols : GridColCount() - 1;
            } else if (x != x0 && hits.FieldEmpty(GridColToField(x))) {
                y = backward ? FixedRows : GridRowCount() - 1;
            }
        }
    }

    if (found) {
        SetCurrentCell(x, y);
        VelTorGrid->scrollTo(Model->index(GridRowToRecord(y), GridColToField(x)));
    }
    const QString &hint = found ? foundHint : notFoundHint;
    button->setToolTip(hint);
    ShowHint(button, button->mapToGlobal(button->rect().center()), hint);
}

void TVelTorForm::SearchButtonLeft(QPushButton *button)
{
    // The message belongs to the last click only.
    button->setToolTip(QString());
    ShowHint(button, QPoint(), QString());
}
