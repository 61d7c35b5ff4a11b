#include "ReportFile.h"

#include "CellChanges.h"
#include "CsvPartsReader.h"
#include "LinePartsReader.h"
#include "LoadedLines.h"
#include "MemoryHeadroom.h"
#include "ReportDocument.h"
#include "StepProgress.h"
#include "qnVelTorData.h"
#include "qnVelTorDataAttribute.h"
#include "qnVelTorFileName.h"
#include "qnVelTorHeaderRules.h"

#include <QDir>
#include <QFileInfo>
#include <QUndoStack>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

namespace {

// A load reads the file in this many parts at once, one per core of the
// machines it is meant for; a small file is read in one.
constexpr std::size_t LoadThreads = 2;

using LineParts = std::vector<std::unique_ptr<LoadedLines>>;

// What hands each part its lines, on the part's own thread.
std::vector<TakeLines> TakesOf(const LineParts &parts)
{
    std::vector<TakeLines> takes;
    for (const auto &part : parts)
        takes.emplace_back([part = part.get()](const std::string_view *fields, std::size_t count) {
            part->Take(fields, count);
        });
    return takes;
}

// The parts a reader kept, joined in the file's order into the first.
void JoinParts(LineParts &parts, std::size_t kept)
{
    for (std::size_t i = 1; i < kept; ++i)
        parts[0]->Append(std::move(*parts[i]));
    parts.resize(1);
}

} // namespace

ReportFile::ReportFile(ReportDocument &document, QObject *parent) : QObject(parent), document(document)
{
}

void ReportFile::SetPath(const QString &filePath)
{
    if (path == filePath)
        return;
    path = filePath;
    emit pathChanged(path);
}

ReportFile::SaveLosses ReportFile::Losses() const
{
    SaveLosses losses;
    for (const FormatProblem &problem : pendingFormat)
        (problem.LostBySave() ? losses.lost : losses.mended).push_back(problem);
    return losses;
}

void ReportFile::SetPendingFormat(std::vector<FormatProblem> problems)
{
    if (problems.empty() && pendingFormat.empty())
        return;
    pendingFormat = std::move(problems);
    emit formatChanged();
}

RecordFields ReportFile::LineFields() const
{
    // The lines go to the file straight from their rows: a second copy of a
    // large report could take more memory than there is.
    return [this](std::uint32_t line, std::string_view(&fields)[FieldCount]) {
        document.Line(int(line)).Cells(fields);
    };
}

void ReportFile::New()
{
    document.Clear();
    fileBaseName.clear();
    nameChanged = false;
    identity = {};
    SetPendingFormat({});
    SetPath(QString());
}

ReportFile::LoadResult ReportFile::Load(const QString &filePath, const ReadProgress &progress)
{
    LoadResult result;
    const std::string previousBaseName = fileBaseName;
    const auto fileSize = std::uint64_t(std::max<qint64>(QFileInfo(filePath).size(), 0));
    try {
        // Set before the file is opened: a later save compares the header
        // values with it even when this read fails.
        fileBaseName = FileBaseNameOfPath(filePath);
        // A report's lines are rarely shorter than a few dozen bytes: the
        // rows are not regrown and copied on the way, and what is reserved
        // but not filled takes address space only.
        const std::uint64_t expected = fileSize / 32 + 1;
        // The lines take about as much memory as the file; under an
        // address-space limit the window must keep room to paint after
        // them, or it cannot show them at all.
        bool read = HasHeadroomFor(fileSize);
        // A part of the file for each core; the first part's rows take the
        // others' at the end, so they have room for all.
        LineParts parts;
        if (!read) {
            result.failure = ReadFailure::OutOfMemory;
        } else {
            for (std::size_t i = 0; i < LoadThreads; ++i) {
                parts.push_back(std::make_unique<LoadedLines>(document.Attributes(), ReportContent::VerdictWidth));
                parts.back()->Reserve(std::size_t(std::min<std::uint64_t>(expected / (i == 0 ? 1 : LoadThreads),
                                                                          qnVelTorData::MaxRecords)));
            }
            LinePartsReader reader(TakesOf(parts));
            read = reader.Read(filePath, progress);
            result.failure = reader.Failure();
            result.facts = reader.Facts();
            if (read)
                JoinParts(parts, reader.KeptParts());
        }
        if (read && !HasHeadroomFor(0)) {
            read = false;
            result.failure = ReadFailure::OutOfMemory;
        }
        if (read) {
            document.Reset(parts[0]->TakeRows(), parts[0]->TakeArena(), parts[0]->TakeVerdicts(),
                           ReportFileName::HeadersOf(fileBaseName));
            nameChanged = false;
            identity = result.facts.identity;
            std::vector<FormatProblem> problems = FormatProblems(result.facts);
            problems.erase(std::remove_if(problems.begin(), problems.end(),
                                          [](const FormatProblem &problem) { return !problem.ChangedBySave(); }),
                           problems.end());
            SetPendingFormat(std::move(problems));
            SetPath(filePath);
        }
    } catch (const std::bad_alloc &) {
        result.failure = ReadFailure::OutOfMemory;
    }
    // A load the user cancels leaves everything as it was, also the name
    // the next save compares the header values with.
    if (result.failure == ReadFailure::Cancelled)
        fileBaseName = previousBaseName;
    ReleaseFreedMemory();
    return result;
}

ReportFile::SavePlan ReportFile::PlanSave(bool saveAs) const
{
    SavePlan plan;
    plan.losses = Losses();
    const ReportDocument::Headers headers = document.HeaderValues();
    const std::string baseName = ReportFileName::BaseName(headers);
    // The name comes from the header values, and is asked for, when it is
    // new or the values no longer give the file's.
    plan.needsName = saveAs || path.isEmpty() || nameChanged || baseName != fileBaseName;
    if (plan.needsName) {
        plan.drifts = ReportFileName::Drifts(headers);
        plan.suggestedName = ReportFileName::Suggested(baseName, path);
    }
    plan.change = ChangeOnDisk();
    return plan;
}

void ReportFile::TakeHeaderName()
{
    const std::string baseName = ReportFileName::BaseName(document.HeaderValues());
    if (baseName != fileBaseName) {
        fileBaseName = baseName;
        nameChanged = true;
    }
}

DiskChange ReportFile::ChangeOnDisk() const
{
    if (path.isEmpty())
        return DiskChange::Same;
    const DiskChange change = CompareIdentity(identity, IdentityOf(path));
    if (change == DiskChange::Deleted && !QFileInfo(path).absoluteDir().exists())
        return DiskChange::FolderGone;
    return change;
}

ReportFile::RestoreResult ReportFile::Restore(const QString &recoveryPath)
{
    RestoreResult result;
    try {
        LoadedLines lines(document.Attributes(), ReportContent::VerdictWidth);
        result.failure = ReadRecoveryFile(recoveryPath, result.facts,
                                          [&lines](const std::string_view *fields, std::size_t count) {
                                              lines.Take(fields, count);
                                          });
        if (result.Ok() && !HasHeadroomFor(0))
            result.failure = RecoveryFailure::OutOfMemory;
        if (result.Ok()) {
            const RecoveryFacts &facts = result.facts;
            ReportDocument::Headers headers;
            std::copy(facts.headers.begin(), facts.headers.end(), headers.begin());
            document.Reset(lines.TakeRows(), lines.TakeArena(), lines.TakeVerdicts(), headers);
            fileBaseName = facts.reportPath.isEmpty() ? std::string() : FileBaseNameOfPath(facts.reportPath);
            nameChanged = false;
            identity = facts.identity;
            SetPendingFormat(facts.format);
            SetPath(facts.reportPath);
            // Never saved: no undo leads back to a saved state.
            document.UndoStack()->resetClean();
        }
    } catch (const std::bad_alloc &) {
        result.failure = RecoveryFailure::OutOfMemory;
    }
    ReleaseFreedMemory();
    return result;
}

ReportFile::SaveResult ReportFile::Save(const QString &filePath, const std::function<bool()> &confirmWithoutBackup)
{
    SaveResult result;
    FileIdentity written;
    try {
        qnVelTorFileWriter writer;
        writer.SetConfirmWithoutBackup(confirmWithoutBackup);
        writer.Write(filePath, std::uint32_t(document.LineCount()), LineFields());
        result.failure = writer.Failure();
        result.backupPath = writer.BackupPath();
        written = writer.Written();
    } catch (const std::bad_alloc &) {
        result.failure = WriteFailure::OutOfMemory;
    }
    if (!result.Written())
        return result;
    // Only a file that was written becomes the current one: a later save
    // must not go quietly to a path that failed.
    identity = written;
    SetPath(filePath);
    // A report with no header values (one imported, say) takes those of the
    // name it was saved as, as an open would, when they keep their rules.
    const ReportDocument::Headers values = document.HeaderValues();
    if (std::all_of(values.begin(), values.end(), [](const std::string &value) { return value.empty(); })) {
        const ReportDocument::Headers named = ReportFileName::HeadersOfPath(filePath);
        std::string message;
        if (ValidateSyoudakuBangou(named[ReportDocument::SyoudakuBangou], message)
            && ValidateHoukokuNengappi(named[ReportDocument::HoukokuNengappi], message)) {
            document.FillHeaders(named);
            fileBaseName = FileBaseNameOfPath(filePath);
        }
    }
    nameChanged = false;
    // The file written holds all the report has, in the form of a report:
    // nothing more to lose or to change.
    SetPendingFormat({});
    document.MarkSaved();
    return result;
}

ReportFile::ImportResult ReportFile::Import(const QString &filePath, const ReadProgress &progress, ImportInto into)
{
    ImportResult result;
    const bool fresh = into == ImportInto::NewReport;
    result.firstLine = fresh ? 0 : document.LineCount();
    try {
        // The lines are built aside as a load builds them, rows and
        // verdicts, a part of the file on each core; the report is emptied
        // only once the file has been read whole.
        LineParts parts;
        for (std::size_t i = 0; i < LoadThreads; ++i)
            parts.push_back(std::make_unique<LoadedLines>(document.Attributes(), ReportContent::VerdictWidth));
        CsvPartsReader reader(TakesOf(parts));
        const std::uint64_t most = std::min<std::uint64_t>(INT_MAX, qnVelTorData::MaxRecords);
        reader.maxLines = most > std::uint64_t(result.firstLine) ? most - std::uint64_t(result.firstLine) : 0;
        bool read = reader.Read(filePath, progress);
        result.failure = reader.Failure();
        result.facts = reader.Facts();
        if (read)
            JoinParts(parts, reader.KeptParts());
        LoadedLines &lines = *parts[0];
        // A new report takes this one's place only when there is room for
        // it: refused after the emptying, the report would be lost.
        constexpr std::uint64_t ViewBytesPerLine = 32;
        if (read && fresh && !HasHeadroomFor(ViewBytesPerLine * lines.LineCount())) {
            read = false;
            result.failure = ReadFailure::OutOfMemory;
        }
        if (read) {
            result.lines = int(lines.LineCount());
            if (fresh)
                New();
            const std::uint64_t invalidBefore = document.Verdicts().ErrorCellCount();
            if (document.AppendLines(std::move(lines), tr("インポート")) != EditResult::Done)
                result.failure = ReadFailure::OutOfMemory;
            else
                result.invalid = document.Verdicts().ErrorCellCount() - invalidBefore;
        }
    } catch (const std::bad_alloc &) {
        result.failure = ReadFailure::OutOfMemory;
    }
    ReleaseFreedMemory();
    return result;
}

ReportFile::ExportResult ReportFile::Export(const QString &filePath, const ReadProgress &progress) const
{
    ExportResult result;
    if (!path.isEmpty() && QFileInfo(filePath) == QFileInfo(path)) {
        result.ontoReport = true;
        return result;
    }
    try {
        ReportCsvWriter writer;
        result.written = writer.WriteFile(filePath, std::uint32_t(document.LineCount()), LineFields(), progress);
        result.outOfMemory = writer.OutOfMemory();
        result.cancelled = writer.Cancelled();
        result.facts = writer.Facts();
    } catch (const std::bad_alloc &) {
        result.written = false;
        result.outOfMemory = true;
    }
    return result;
}

QString ReportFile::SuggestedExportName() const
{
    return ReportFileName::SuggestedExport(ReportFileName::BaseName(document.HeaderValues()));
}
