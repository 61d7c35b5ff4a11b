#pragma once

#include "LineOrder.h"
#include "qnVelTorFile.h"

#include <QCoreApplication>

#include <cstdint>
#include <vector>

class ReportDocument;

// Edits of many cells or lines at once, each one step of the document:
// the key codes renumbered, the top cells of a block filled down, the lines
// sorted. Each computes its change and hands it to the document, which
// validates it and makes the step. Each tells `progress` how far it has got
// now and then, and stops when it says so, leaving the report and its
// history as they were.
class BulkEdits
{
    Q_DECLARE_TR_FUNCTIONS(BulkEdits)

public:
    struct [[nodiscard]] Result
    {
        std::uint64_t changed = 0; // cells changed, or lines moved by a sort
        std::uint64_t invalid = 0; // of the changed cells, those now invalid
        bool outOfMemory = false;  // the report is then as it was
        bool cancelled = false;    // by the progress; the report is as it was
    };

    // Where a renumbering of the lines from `first` on starts: the number in
    // that line's interface key code (1 to 18 ASCII digits), else the line's
    // own number, first + 1.
    static std::uint64_t NumberFrom(const ReportDocument &document, int first);
    // The interface key codes (field 0) of lines first..last become start,
    // start + 1, ... in decimal digits; only cells whose value changes are
    // touched.
    static Result Renumber(ReportDocument &document, int first, int last, std::uint64_t start,
                           const ReadProgress &progress = {});

    // The top cell of each column of the block is copied into the cells
    // below it, byte for byte; a block of one line takes the cells of the
    // line above it, as spreadsheets do. Lines past the report's end are
    // left out.
    static Result FillDown(ReportDocument &document, int top, int left, int bottom, int right,
                           const ReadProgress &progress = {});

    // The lines in the order LineOrder gives.
    static Result Sort(ReportDocument &document, const std::vector<LineOrder::Key> &keys,
                       const ReadProgress &progress = {});
};
