#include "ReportReplace.h"

#include "CellChanges.h"
#include "ReportDocument.h"
#include "ShiftJis.h"
#include "StepProgress.h"
#include "qnVelTorDataAttribute.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace {

// Lines a thread of ReplaceAll looks through between two looks at `stop`.
constexpr int StopCheckLines = 1024;

} // namespace

ReportReplace::ReportReplace(ReportDocument &document, const QString &find, const QString &replacement,
                             const TextFolding &folding, const Scope &scope)
    : document(document), find(find), replacement(ShiftJis::MapLookAlikes(replacement)), folding(folding),
      scope(scope), sieve(find, folding)
{
    for (char16_t control : {u'\t', u'\r', u'\n', char16_t(0x1A)})
        this->replacement.remove(QChar(control));
    foldedFind = folding.Fold(find);
    this->scope.top = std::max(scope.top, 0);
    this->scope.left = std::max(scope.left, 0);
    this->scope.bottom = std::min(scope.bottom, document.LineCount() - 1);
    this->scope.right = std::min(scope.right, int(FieldCount) - 1);
}

bool ReportReplace::InScope(int line, int field) const
{
    return line >= scope.top && line <= scope.bottom && field >= scope.left && field <= scope.right;
}

qsizetype ReportReplace::FindInCell(const QString &text, qsizetype from, qsizetype &length) const
{
    if (!folding.Folds()) {
        const qsizetype at = text.indexOf(find, from);
        length = find.size();
        return at;
    }
    std::vector<qsizetype> origins;
    const QString folded = folding.Fold(text, &origins);
    return FindFolded(folded, origins, from, length);
}

qsizetype ReportReplace::FindFolded(const QString &folded, const std::vector<qsizetype> &origins, qsizetype from,
                                    qsizetype &length) const
{
    const auto first = std::lower_bound(origins.begin(), origins.end(), from);
    const qsizetype at = folded.indexOf(foldedFind, qsizetype(first - origins.begin()));
    if (at < 0)
        return -1;
    length = origins[std::size_t(at + foldedFind.size())] - origins[std::size_t(at)];
    return origins[std::size_t(at)];
}

void ReportReplace::FindAllInCell(const QString &text, std::vector<std::pair<qsizetype, qsizetype>> &found) const
{
    found.clear();
    if (!folding.Folds()) {
        for (qsizetype at = text.indexOf(find); at >= 0; at = text.indexOf(find, at + find.size()))
            found.emplace_back(at, find.size());
        return;
    }
    std::vector<qsizetype> origins;
    const QString folded = folding.Fold(text, &origins);
    qsizetype length = 0;
    // An empty occurrence (a find text folded into nothing) would be found
    // again and again where it stands.
    for (qsizetype at = FindFolded(folded, origins, 0, length); at >= 0 && length > 0;
         at = FindFolded(folded, origins, at + length, length))
        found.emplace_back(at, length);
}

bool ReportReplace::Store(int field, const QString &text, std::uint64_t count, std::string &bytes,
                          Result &result) const
{
    std::optional<std::string> encoded = ShiftJis::FromText(text);
    if (!encoded) {
        result.unstorable += count;
        return false;
    }
    if (encoded->size() > document.Attributes().MaxLength(unsigned(field))) {
        result.tooLong += count;
        return false;
    }
    bytes = std::move(*encoded);
    return true;
}

void ReportReplace::ReplaceIn(int top, int bottom, Part &part, const std::atomic<bool> &stop) const
{
    const qnVelTorDataAttribute &attributes = document.Attributes();
    Result &result = part.result;
    std::string bytes;
    std::vector<std::pair<qsizetype, qsizetype>> found;
    for (int line = top; line <= bottom; ++line) {
        if ((line - top) % StopCheckLines == StopCheckLines - 1) {
            part.lines.store(std::uint64_t(line - top), std::memory_order_relaxed);
            if (stop.load(std::memory_order_relaxed))
                return;
        }
        std::string_view cells[ReportRow::CellCount];
        std::uint32_t fields = sieve.CellsToRead(document.Line(line), scope.left, scope.right, cells);
        for (; fields; fields &= fields - 1) {
            const int field = std::countr_zero(fields);
            const QString text = ShiftJis::ToText(cells[field]);
            FindAllInCell(text, found);
            if (found.empty())
                continue;
            const std::uint64_t count = found.size();
            QString replaced;
            qsizetype done = 0;
            for (const auto &[at, length] : found) {
                replaced += QStringView(text).mid(done, at - done);
                replaced += replacement;
                done = at + length;
            }
            replaced += QStringView(text).mid(done);
            if (!Store(field, replaced, count, bytes, result))
                continue;
            result.replaced += count;
            if (attributes.IsValid(unsigned(field), cells[field]) && !attributes.IsValid(unsigned(field), bytes))
                ++result.madeInvalid;
            part.changes.Set(line, field, bytes);
        }
    }
    part.lines.store(std::uint64_t(bottom - top + 1), std::memory_order_relaxed);
}

ReportReplace::Result ReportReplace::ReplaceAll(const ReadProgress &progress)
{
    Result result;
    if (find.isEmpty())
        return result;
    try {
        StepProgress told(&progress);
        told.Part(0, 2);
        // Two halves of the lines at once, each on a core; the main thread
        // tells the progress meanwhile. A small scope is looked through at
        // once.
        const int lines = std::max(scope.bottom - scope.top + 1, 0);
        const int middle = lines >= 4096 ? scope.top + lines / 2 : scope.bottom + 1;
        Part first(document.Content());
        Part second(document.Content());
        std::atomic<bool> stop {false};
        std::mutex mutex;
        std::condition_variable finished;
        bool secondDone = false;
        std::optional<std::thread> worker;
        std::exception_ptr failure;
        if (middle <= scope.bottom) {
            try {
                worker.emplace([&] {
                    try {
                        ReplaceIn(middle, scope.bottom, second, stop);
                    } catch (...) {
                        failure = std::current_exception();
                    }
                    const std::lock_guard<std::mutex> lock(mutex);
                    secondDone = true;
                    finished.notify_one();
                });
            } catch (const std::system_error &) {
                // No thread to be had: this one does both halves.
                ReplaceIn(middle, scope.bottom, second, stop);
                secondDone = true;
            }
        } else {
            secondDone = true;
        }
        const auto joinWorker = [&] {
            if (worker && worker->joinable())
                worker->join();
        };
        try {
            // The first half in steps, telling the progress between them.
            constexpr int Step = int(StepProgress::Lines);
            for (int from = scope.top; from < middle; from += Step) {
                ReplaceIn(from, std::min(middle - 1, from + Step - 1), first, stop);
                const std::uint64_t done = std::uint64_t(std::min(middle, from + Step) - scope.top)
                        + second.lines.load(std::memory_order_relaxed);
                told.Tell(done, std::uint64_t(lines));
            }
            // Then the other half, the progress told as it passes each
            // step: as often whatever the threads' pace.
            const std::uint64_t secondLines = std::uint64_t(scope.bottom - middle + 1);
            std::unique_lock<std::mutex> lock(mutex);
            for (std::uint64_t reached = Step; reached < secondLines + Step; reached += Step) {
                while (!secondDone && second.lines.load(std::memory_order_relaxed) < std::min(reached, secondLines))
                    finished.wait_for(lock, std::chrono::milliseconds(20));
                lock.unlock();
                told.Tell(std::uint64_t(middle - scope.top) + std::min(reached, secondLines), std::uint64_t(lines));
                lock.lock();
            }
            while (!secondDone)
                finished.wait(lock);
        } catch (...) {
            stop = true;
            joinWorker();
            throw;
        }
        joinWorker();
        if (failure)
            std::rethrow_exception(failure);
        for (const Part *part : {&first, &second}) {
            result.replaced += part->result.replaced;
            result.tooLong += part->result.tooLong;
            result.unstorable += part->result.unstorable;
            result.madeInvalid += part->result.madeInvalid;
        }
        first.changes.Append(std::move(second.changes));
        const EditResult done = document.ChangeCells(std::move(first.changes), tr("置換"), StepProgress::Share(progress, 1, 2));
        if (done != EditResult::Done) {
            result = {};
            result.outOfMemory = done == EditResult::OutOfMemory;
            result.cancelled = done == EditResult::Cancelled;
        }
    } catch (const std::bad_alloc &) {
        result = {};
        result.outOfMemory = true;
    } catch (const StepCancelled &) {
        result = {};
        result.cancelled = true;
    }
    return result;
}

ReportReplace::Match ReportReplace::Scan(int line, int field, qsizetype start, int lastLine, int lastField) const
{
    for (; line <= lastLine; ++line, field = scope.left, start = 0) {
        std::string_view cells[ReportRow::CellCount];
        const std::uint32_t fields = sieve.CellsToRead(document.Line(line), scope.left, scope.right, cells);
        const int last = line == lastLine ? lastField : scope.right;
        for (; fields && field <= last; ++field, start = 0) {
            if (!(fields & (1u << field)))
                continue;
            qsizetype length = 0;
            const qsizetype at = FindInCell(ShiftJis::ToText(cells[field]), start, length);
            if (at >= 0)
                return {line, field, at, length};
        }
    }
    return {};
}

ReportReplace::Match ReportReplace::FindFrom(int line, int field, qsizetype start) const
{
    if (find.isEmpty() || scope.top > scope.bottom || scope.left > scope.right)
        return {};
    // A start outside the scope starts at the next cell inside it.
    if (line < scope.top || line > scope.bottom) {
        line = scope.top;
        field = scope.left;
        start = 0;
    } else if (field < scope.left) {
        field = scope.left;
        start = 0;
    } else if (field > scope.right) {
        field = scope.left;
        start = 0;
        line = line == scope.bottom ? scope.top : line + 1;
    }
    const Match match = Scan(line, field, start, scope.bottom, scope.right);
    if (match.Found())
        return match;
    // Wrapped: from the scope's start up to the start cell, which is looked
    // through again from its beginning for a match before `start`.
    return Scan(scope.top, scope.left, 0, line, field);
}

bool ReportReplace::Holds(const Match &match) const
{
    if (!match.Found() || !InScope(match.line, match.field) || find.isEmpty())
        return false;
    qsizetype length = 0;
    const QString text = ShiftJis::ToText(document.Cell(match.line, match.field));
    return FindInCell(text, match.start, length) == match.start && length == match.length;
}

ReportReplace::Result ReportReplace::ReplaceOne(Match &match)
{
    Result result;
    if (!Holds(match)) {
        match = {};
        return result;
    }
    qsizetype next = match.start + match.length;
    try {
        const std::string_view before = document.Cell(match.line, match.field);
        QString text = ShiftJis::ToText(before);
        text.replace(match.start, match.length, replacement);
        std::string bytes;
        if (Store(match.field, text, 1, bytes, result)) {
            const qnVelTorDataAttribute &attributes = document.Attributes();
            const bool wasValid = attributes.IsValid(unsigned(match.field), before);
            CellChanges changes(document.Content());
            changes.Set(match.line, match.field, bytes);
            if (document.ChangeCells(std::move(changes), tr("置換")) != EditResult::Done) {
                result.outOfMemory = true;
                return result;
            }
            result.replaced = 1;
            result.madeInvalid = wasValid && !attributes.IsValid(unsigned(match.field), bytes) ? 1 : 0;
            next = match.start + replacement.size();
        }
        match = FindFrom(match.line, match.field, next);
    } catch (const std::bad_alloc &) {
        result.outOfMemory = true;
    }
    return result;
}

QString ReportReplace::MarkedText(const Match &match) const
{
    const QString text = ShiftJis::ToText(document.Cell(match.line, match.field));
    return text.left(match.start) + tr("【") + text.mid(match.start, match.length) + tr("】")
            + text.mid(match.start + match.length);
}
