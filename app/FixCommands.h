#pragma once

#include "CellFix.h"
#include "ReviewModel.h"

#include <QObject>
#include <QString>

#include <memory>

class CommandContext;
class ReportDocument;

// The one-step fixes of the 編集 menu and the review list: full-width
// letters and digits made half-width and spaces trimmed, over the selected
// block or, with one cell selected, the whole report; and a group of the
// review list fixed as a whole where that is mechanical. Each tells the
// status bar how many cells it changed, or why it changed none.
class FixCommands : public QObject
{
    Q_OBJECT

public:
    // Not owned.
    FixCommands(ReportDocument &document, CommandContext &context, QObject *parent = nullptr);

    void NarrowWidth();
    void TrimSpaces();
    void FixGroup(ReviewModel::Group group);

    // The fix of a group of the review list; null where none is mechanical.
    static std::unique_ptr<CellFix> GroupFix(ReviewModel::Group group);

private:
    void Run(const CellFix &fix, bool overSelection);

    ReportDocument &document;
    CommandContext &context;
};
