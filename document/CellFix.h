#pragma once

#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

class ReportDocument;

// A fix of many cells at once, as one step: each cell of the scope that the
// fix changes is gathered into a CellChanges and handed to the document.
// Only cells whose bytes change are touched. A fix whose result would not
// fit a cell's field is refused as a whole, with nothing changed, and tells
// the first such cell: a half-done fix would leave the user to find which
// cells it did.
class CellFix
{
    Q_DECLARE_TR_FUNCTIONS(CellFix)

public:
    // Lines top to bottom and fields left to right; the whole report by
    // default.
    struct Scope
    {
        int top = 0;
        int bottom = -1; // -1: the last line
        int left = 0;
        int right = -1; // -1: the last field
    };

    struct [[nodiscard]] Result
    {
        std::uint64_t changed = 0; // cells changed
        // The first cell whose result would not fit; the report is as it was.
        bool refused = false;
        int line = -1;
        int field = -1;
        bool outOfMemory = false; // the report is as it was
    };

    virtual ~CellFix() = default;

    Result Apply(ReportDocument &document, const Scope &scope) const;
    // Over the whole report.
    Result Apply(ReportDocument &document) const;
    // What the step is called, in the undo history and the menus.
    virtual QString Text() const = 0;

protected:
    // Whether the fix looks at the cells of `field` at all.
    virtual bool Touches(std::uint32_t field) const = 0;
    // The cell's value fixed, into `out`; false when the fix leaves it.
    virtual bool Fix(std::uint32_t field, std::string_view value, std::string &out) const = 0;
};
