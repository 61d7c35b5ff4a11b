#pragma once

#include "RecoveryFile.h"
#include "ReportRow.h"

#include <QString>

#include <functional>
#include <vector>

class ReportDocument;
class ReportFile;

// The report as it stands at one moment, for its recovery copy to be
// written on another thread while the window goes on editing. Taking it
// copies no cell: its rows read the report's own blocks, which the keeper
// holds for as long as the snapshot lives, whatever the edits free
// meanwhile (blocks are never changed, only freed and replaced). A million
// lines cost their pointers.
class RecoverySnapshot
{
public:
    // On the thread that edits the report.
    RecoverySnapshot(const ReportDocument &document, const ReportFile &file);

    const RecoveryFacts &Facts() const { return facts; }
    // Writes the copy to `path`; on any thread. `keepGoing` as
    // WriteRecoveryFile takes it.
    WriteFailure Write(const QString &path, const std::function<bool()> &keepGoing = {}) const;

private:
    RowBlockKeeper keeper; // made before the rows that rely on it, gone after them
    std::vector<ReportRow> rows;
    RecoveryFacts facts;
};
