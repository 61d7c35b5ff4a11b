#include "ReportCsvWriter.h"

#include "CsvCellWriter.h"
#include "SpreadsheetCell.h"

#include <QSaveFile>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include "FileSystemCalls.h"

#include <cerrno>
#endif

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Lines turned into text at once by one thread, and how many such parts
// may wait to be written: a few megabytes.
constexpr std::uint32_t PartLines = 8192;
// Bytes written to the device at once.
constexpr std::size_t WriteChunkSize = 1 << 20;
constexpr std::size_t PartsAhead = 6;
constexpr std::size_t ConvertThreads = 2;

// What one thread made of lines [first, first + PartLines).
struct Part
{
    std::string text;
    ExportFacts facts;
    bool done = false;
    bool outOfMemory = false;
};

bool SyncToDisk(int handle)
{
    if (handle < 0)
        return false;
#if defined(Q_OS_WIN)
    return _commit(handle) == 0;
#else
    // EINVAL: a kind of file that cannot be synced, where there is nothing
    // to wait for. Through the table of calls, so that a test can fail it.
    return FileSystemCalls::Current().fsync(handle) == 0 || errno == EINVAL;
#endif
}

// The CSV text of lines [first, end) in `part`.
void WritePart(Part &part, std::uint32_t first, std::uint32_t end, const RecordFields &fields)
{
    std::string &buffer = part.text;
    std::string_view values[FieldCount];
    CsvCellWriter cells;
    for (std::uint32_t record = first; record < end; ++record) {
        fields(record, values);
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            if (field > 0)
                buffer += ',';
            if (cells.AppendBytes(buffer, values[field]) && !part.facts.changedCells++) {
                part.facts.firstChangedLine = std::uint64_t(record) + 1;
                part.facts.firstChangedField = field + 1;
            }
        }
        buffer += "\r\n";
    }
}

} // namespace

bool ReportCsvWriter::Write(QIODevice &device, std::uint32_t count, const RecordFields &fields,
                            const ReadProgress &progress)
{
    outOfMemory = false;
    cancelled = false;
    facts = {};
    try {
        return WriteLines(device, count, fields, progress);
    } catch (const std::bad_alloc &) {
        outOfMemory = true;
        return false;
    }
}

bool ReportCsvWriter::WriteFile(const QString &path, std::uint32_t count, const RecordFields &fields,
                                const ReadProgress &progress)
{
    outOfMemory = false;
    cancelled = false;
    facts = {};
    try {
        // QSaveFile writes beside the target and renames only on commit. A
        // short write can hide in its buffer, and commit() would rename
        // even when flushing that fails, hence the flush and sync first.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        if (!WriteLines(file, count, fields, progress) || !file.flush() || !SyncToDisk(file.handle())) {
            file.cancelWriting();
            return false;
        }
        return file.commit();
    } catch (const std::bad_alloc &) {
        outOfMemory = true;
        return false;
    }
}

bool ReportCsvWriter::WriteLines(QIODevice &device, std::uint32_t count, const RecordFields &fields,
                                 const ReadProgress &progress)
{
    std::string header = "\xEF\xBB\xBF";
    const QStringList &names = SpreadsheetCell::FieldNames();
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        if (field > 0)
            header += ',';
        CsvCellWriter::AppendText(header, names[qsizetype(field)]);
    }
    header += "\r\n";
    std::string pending = std::move(header);
    const auto flush = [&device, &pending] {
        const bool whole = device.write(pending.data(), qint64(pending.size())) == qint64(pending.size());
        pending.clear();
        return whole;
    };

    // Parts are taken in order by the threads, and written in order here as
    // each is done; the threads wait while too many are ahead.
    const std::uint32_t partCount = (count + PartLines - 1) / PartLines;
    std::deque<Part> parts; // from `written` on
    std::uint32_t written = 0;
    std::uint32_t next = 0; // the next part a thread takes
    bool stop = false;
    std::mutex mutex;
    std::condition_variable changed;
    const auto work = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || next == partCount || next - written < PartsAhead; });
            if (stop || next == partCount)
                return;
            const std::uint32_t index = next++;
            Part &part = parts[index - written];
            lock.unlock();
            try {
                WritePart(part, index * PartLines, std::min(count, (index + 1) * PartLines), fields);
            } catch (const std::bad_alloc &) {
                part.outOfMemory = true;
            }
            lock.lock();
            part.done = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    bool ok = true;
    {
        // Room for every part that may be ahead, made before any thread
        // looks at the list: it never grows while they write into it.
        std::unique_lock<std::mutex> lock(mutex);
        parts.resize(std::min<std::size_t>(PartsAhead, partCount));
    }
    try {
        for (std::size_t i = 0; i < ConvertThreads && partCount > 1; ++i)
            threads.emplace_back(work);
    } catch (const std::system_error &) {
        // Fewer threads, or none: this one converts what is left.
    }
    const auto finish = [&] {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread &thread : threads)
            thread.join();
    };
    try {
        std::unique_lock<std::mutex> lock(mutex);
        while (written < partCount) {
            if (threads.empty() && next == written) {
                // No thread to convert: this one does it.
                const std::uint32_t index = next++;
                lock.unlock();
                WritePart(parts.front(), index * PartLines, std::min(count, (index + 1) * PartLines), fields);
                lock.lock();
                parts.front().done = true;
            }
            changed.wait(lock, [&] { return parts.front().done; });
            Part part = std::move(parts.front());
            parts.pop_front();
            parts.emplace_back();
            ++written;
            changed.notify_all();
            lock.unlock();
            if (part.outOfMemory)
                throw std::bad_alloc();
            if (part.facts.changedCells) {
                if (!facts.changedCells) {
                    facts.firstChangedLine = part.facts.firstChangedLine;
                    facts.firstChangedField = part.facts.firstChangedField;
                }
                facts.changedCells += part.facts.changedCells;
            }
            pending += part.text;
            if (pending.size() >= WriteChunkSize && !flush()) {
                ok = false;
                break;
            }
            if (progress && !progress(std::uint64_t(written) * PartLines, count)) {
                cancelled = true;
                ok = false;
                break;
            }
            lock.lock();
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    return ok && (pending.empty() || flush());
}
