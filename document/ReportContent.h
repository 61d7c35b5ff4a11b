#pragma once

#include "ReportRow.h"
#include "qnVelTorGridAttr.h"

#include <QObject>

#include <array>
#include <string>
#include <string_view>
#include <vector>

class qnVelTorDataAttribute;

// What the undo steps change: the report's lines, the verdict of every
// cell, and the three header values that make up its file name. Only
// ReportEdits changes it, and every change is told through the signals.
class ReportContent : public QObject
{
    Q_OBJECT

public:
    enum HeaderBox { SyoudakuBangou, HoukokuNengappi, NiniMoziretsu };
    static constexpr int HeaderCount = 3;
    // Verdicts are kept for the grid's 20 columns, the row handle's
    // included, which holds no field and never has a verdict.
    static constexpr unsigned VerdictWidth = 20;

    explicit ReportContent(QObject *parent = nullptr);

    const qnVelTorDataAttribute &Attributes() const { return attributes; }
    int LineCount() const { return int(lines.size()); }
    // Empty for a position out of range, the new-line position included.
    std::string_view Cell(int line, int field) const;
    // An empty line for a position out of range.
    const ReportRow &Line(int line) const;
    const qnVelTor::GridAttr &Verdicts() const { return verdicts; }
    const std::string &Header(HeaderBox box) const { return headers[box]; }

signals:
    // Everything was replaced: a load, New.
    void aboutToBeReset();
    void reset();
    // Lines appended at the end (first == the line count before) are empty
    // when they come; their texts follow as cellsChanged.
    void linesAboutToBeInserted(int first, int count);
    void linesInserted(int first, int count);
    void linesAboutToBeRemoved(int first, int count);
    void linesRemoved(int first, int count);
    void lineAboutToBeMoved(int from, int to);
    void lineMoved(int from, int to);
    // The lines were put in another order; the line count stays. Between
    // the two, linesPermuted tells the order: line i is the one that was at
    // order[i].
    void linesAboutToBeReordered();
    void linesPermuted(const std::vector<std::uint32_t> &order);
    void linesReordered();
    // The texts of these lines are about to change in place, their line
    // count and order staying; cellsChanged follows. Whoever keeps something
    // of the old texts reads it now.
    void linesAboutToChange(int firstLine, int lastLine);
    // Texts and verdicts of the lines changed.
    void cellsChanged(int firstLine, int lastLine);
    // Only the verdicts of the lines changed.
    void verdictsChanged(int firstLine, int lastLine);
    void headerChanged(ReportContent::HeaderBox box);
    // An undo or redo changed this place; a view may show it.
    void placeShown(int line, int field);
    void headerShown(ReportContent::HeaderBox box);

private:
    friend class ReportEdits;

    const qnVelTorDataAttribute &attributes;
    RowArena arena; // declared before the lines that point into it
    std::vector<ReportRow> lines;
    qnVelTor::GridAttr verdicts;
    std::array<std::string, HeaderCount> headers;
};
