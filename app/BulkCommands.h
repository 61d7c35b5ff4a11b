#pragma once

#include "LineOrder.h"
#include "ReportSearch.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class CommandContext;
class ReportDocument;

// The main window's commands over many cells or lines and its ways of
// finding a place: find and replace, renumbering, filling down, sorting,
// the next and previous invalid cell, and the search box's four
// directions. Each change is one step of the document; the window's
// handlers forward here.
class BulkCommands : public QObject
{
    Q_OBJECT

public:
    // Not owned.
    BulkCommands(ReportDocument &document, CommandContext &context, QObject *parent = nullptr);

    // Find and replace, starting with `findText` unless an earlier one
    // looked for something.
    void Replace(const QString &findText);
    // The selected lines, else all of them.
    void Renumber();
    void FillDown();
    void Sort();
    void GoToError(bool forward);
    // Moves to the next cell holding `word` in `direction`; false when
    // there is none.
    bool Search(const QString &word, ReportSearch::Direction direction);

    QStringList FieldNames() const;

private:
    ReportDocument &document;
    CommandContext &context;
    // What the last find and replace looked for, and the last sort's keys.
    QString lastFind;
    QString lastReplacement;
    std::vector<LineOrder::Key> lastSortKeys;
};
