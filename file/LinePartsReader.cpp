#include "LinePartsReader.h"

#include "InputFile.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

// Bytes looked through for a line end after each cut: a line longer than
// this across a cut leaves that cut out.
constexpr qint64 CutWindow = 64 * 1024;

// The chunk size of FeedFile, whose first chunk the sniffer looks at.
qint64 FirstChunkSize(qint64 size)
{
    return std::clamp<qint64>(size, 4096, ReadChunkSize);
}

} // namespace

struct LinePartsReader::Part
{
    Part(TakeLines take, std::uint64_t begin, std::uint64_t end, bool last, std::uint64_t maxLines,
         std::size_t cellLimit)
        : splitter(std::move(take)), begin(begin), end(end), last(last)
    {
        splitter.maxLines = maxLines;
        splitter.cellLimit = cellLimit;
    }

    enum class State {
        Unread,
        Read, // to its end
        EndMark, // a 0x1A ended the input: later parts are no part of it
        Shortened, // the file ended before the part did
        Failed,
        Stopped, // because of another part, or a cancel
    };

    ReportLineSplitter splitter;
    std::uint64_t begin;
    std::uint64_t end; // the last part reads on to the end of the file
    bool last;
    std::uint64_t fedEnd = 0; // the bytes before this offset went to the splitter
    State state = State::Unread;
    ReadFailure failure = ReadFailure::None;
    bool finished = true; // no lines past maxLines
};

struct LinePartsReader::Shared
{
    // Parts from this one on stop at their next chunk.
    void StopFrom(std::size_t part)
    {
        std::size_t current = stopFrom.load();
        while (part < current && !stopFrom.compare_exchange_weak(current, part)) {
        }
    }
    bool Stops(std::size_t part) const { return stopFrom.load(std::memory_order_relaxed) <= part; }

    std::atomic<std::size_t> stopFrom {std::numeric_limits<std::size_t>::max()};
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t bytesDone = 0; // under `mutex`
    std::size_t running = 0; // threads not yet done, under `mutex`
};

LinePartsReader::LinePartsReader(std::vector<TakeLines> takes)
    : takes(std::move(takes))
{
    if (this->takes.empty())
        this->takes.emplace_back();
}

LinePartsReader::~LinePartsReader() = default;

std::size_t LinePartsReader::Parts() const
{
    return parts.size();
}

std::uint64_t LinePartsReader::PartLines(std::size_t part) const
{
    return part < parts.size() ? parts[part]->splitter.Lines() : 0;
}

std::uint64_t LinePartsReader::PartStart(std::size_t part) const
{
    return part < parts.size() ? parts[part]->begin : 0;
}

bool LinePartsReader::Read(const QString &path, const ReadProgress &progress)
{
    failure = ReadFailure::None;
    facts = {};
    parts.clear();
    kept = 0;
    try {
        InputFile file;
        const bool opened = file.Open(path, failure);
        facts.identity = file.Identity();
        if (!opened)
            return false;
        const std::vector<std::uint64_t> cuts = Cuts(file, failure);
        if (failure != ReadFailure::None)
            return false;
        return cuts.empty() ? ReadWhole(file, progress) : ReadParts(file, cuts, progress);
    } catch (const std::bad_alloc &) {
        // Also from a take on this thread; the others are joined by then.
        failure = ReadFailure::OutOfMemory;
        return false;
    }
}

std::vector<std::uint64_t> LinePartsReader::Cuts(InputFile &file, ReadFailure &why)
{
    std::vector<std::uint64_t> cuts;
    const qint64 size = file.Size();
    if (!InputFile::CanReadAt || takes.size() < 2 || size <= 0)
        return cuts;
    std::vector<std::uint64_t> targets;
    if (!cutsNear.empty()) {
        targets = cutsNear;
        std::sort(targets.begin(), targets.end());
        if (targets.size() >= takes.size())
            targets.resize(takes.size() - 1);
    } else {
        const std::uint64_t bySize = std::uint64_t(size) / std::max<std::uint64_t>(minPartSize, 1);
        std::uint64_t count = std::min<std::uint64_t>(takes.size(), bySize);
        const unsigned cores = std::thread::hardware_concurrency();
        if (cores > 0)
            count = std::min<std::uint64_t>(count, cores);
        for (std::uint64_t i = 1; i < count; ++i)
            targets.push_back(std::uint64_t(size) / count * i);
    }
    std::unique_ptr<char[]> window;
    for (const std::uint64_t target : targets) {
        if (target >= std::uint64_t(size) || (!cuts.empty() && target < cuts.back()))
            continue;
        if (!window)
            window.reset(new char[std::size_t(CutWindow)]);
        const qint64 length = std::min<qint64>(CutWindow, size - qint64(target));
        const qint64 got = file.ReadFullyAt(window.get(), length, qint64(target));
        if (got < 0) {
            why = ReadFailure::ReadError;
            return {};
        }
        const void *lf = std::memchr(window.get(), LfByte, std::size_t(got));
        if (!lf)
            continue;
        const std::uint64_t cut = target + std::uint64_t(static_cast<const char *>(lf) - window.get()) + 1;
        // A part of no bytes is no part.
        if (cut < std::uint64_t(size) && (cuts.empty() || cut > cuts.back()))
            cuts.push_back(cut);
    }
    return cuts;
}

bool LinePartsReader::ReadWhole(InputFile &file, const ReadProgress &progress)
{
    const qint64 size = file.Size();
    parts.push_back(std::make_unique<Part>(takes[0], 0, std::uint64_t(std::max<qint64>(size, 0)), true, maxLines,
                                           cellLimit));
    Part &part = *parts[0];
    FeedNotes notes;
    const bool read = FeedFile(
            file, [&part](const char *bytes, std::size_t count) { return part.splitter.PutBytes(bytes, count); }, {},
            progress, failure, &notes);
    part.finished = read && part.splitter.Finish();
    kept = 1;
    static_cast<LineFacts &>(facts) = part.splitter.Facts();
    facts.bytesAfterEofMark = part.splitter.BytesAfterEnd() + notes.unread;
    facts.looks = notes.looks;
    if (read && !part.finished)
        failure = ReadFailure::TooManyLines;
    return part.finished;
}

bool LinePartsReader::ReadParts(InputFile &file, const std::vector<std::uint64_t> &cuts, const ReadProgress &progress)
{
    const qint64 size = file.Size();
    for (std::size_t i = 0; i <= cuts.size(); ++i) {
        const std::uint64_t begin = i == 0 ? 0 : cuts[i - 1];
        const bool last = i == cuts.size();
        parts.push_back(
                std::make_unique<Part>(takes[i], begin, last ? std::uint64_t(size) : cuts[i], last, maxLines,
                                       cellLimit));
    }

    // What the file looks like comes from the first chunk a whole read
    // would read; the first part reads the same one unless it is shorter.
    const qint64 firstChunk = FirstChunkSize(size);
    bool sniffFirstChunk = true;
    if (parts[0]->end < std::uint64_t(firstChunk)) {
        sniffFirstChunk = false;
        const std::unique_ptr<char[]> head(new char[std::size_t(firstChunk)]);
        const qint64 got = file.ReadFullyAt(head.get(), firstChunk, 0);
        if (got < 0) {
            failure = ReadFailure::ReadError;
            return false;
        }
        facts.looks = ReportSniffer::Sniff(QByteArrayView(head.get(), got), got >= size);
    }

    Shared shared;
    bool cancelled = false;
    std::uint64_t told = 0; // the bytes the last progress call counted
    const auto tell = [&](std::uint64_t done) {
        told = done;
        if (progress && !cancelled && !progress(done, std::uint64_t(size))) {
            cancelled = true;
            shared.StopFrom(0);
        }
    };

    // Reads part `index` to its end, or until it or an earlier part says
    // the rest need not be read; `onCaller` on the calling thread.
    const auto readPart = [&](std::size_t index, bool onCaller) {
        Part &part = *parts[index];
        try {
            const qint64 chunkSize = FirstChunkSize(size);
            const std::unique_ptr<char[]> buffer(new char[std::size_t(chunkSize)]);
            std::uint64_t at = part.begin;
            char lastByte = LfByte;
            for (;;) {
                if (shared.Stops(index)) {
                    part.state = Part::State::Stopped;
                    return;
                }
                const qint64 want = part.last ? chunkSize : std::min<qint64>(chunkSize, qint64(part.end - at));
                if (want == 0) {
                    // The cut lies just after a line end; a file changed
                    // since it was found could put a line across it.
                    if (lastByte != LfByte) {
                        part.state = Part::State::Failed;
                        part.failure = ReadFailure::ReadError;
                        shared.StopFrom(index + 1);
                        return;
                    }
                    part.state = Part::State::Read;
                    break;
                }
                const qint64 got = file.ReadAt(buffer.get(), want, qint64(at));
                if (got < 0) {
                    part.state = Part::State::Failed;
                    part.failure = ReadFailure::ReadError;
                    shared.StopFrom(index + 1);
                    return;
                }
                if (got == 0) {
                    part.state = part.last ? Part::State::Read : Part::State::Shortened;
                    break;
                }
                if (index == 0 && at == 0 && sniffFirstChunk)
                    facts.looks = ReportSniffer::Sniff(QByteArrayView(buffer.get(), got), got >= size);
                const bool more = part.splitter.PutBytes(buffer.get(), std::size_t(got));
                at += std::uint64_t(got);
                part.fedEnd = at;
                lastByte = buffer[std::size_t(got - 1)];
                std::uint64_t done = 0;
                {
                    const std::lock_guard<std::mutex> lock(shared.mutex);
                    done = shared.bytesDone += std::uint64_t(got);
                }
                shared.changed.notify_one();
                if (onCaller)
                    tell(done);
                if (!more) {
                    part.state = Part::State::EndMark;
                    break;
                }
            }
            // The lines after the end of the input, or after where the file
            // ended, are not the report's.
            if (part.state != Part::State::Read)
                shared.StopFrom(index + 1);
            part.finished = part.splitter.Finish();
        } catch (const std::bad_alloc &) {
            part.state = Part::State::Failed;
            part.failure = ReadFailure::OutOfMemory;
            shared.StopFrom(index + 1);
        }
    };

    std::vector<std::thread> threads;
    // Joined before anything they use goes, also when this thread leaves by
    // an exception (from `progress`): the others are told to stop first.
    struct Joiner
    {
        std::vector<std::thread> &threads;
        Shared &shared;
        ~Joiner()
        {
            if (std::uncaught_exceptions() > 0)
                shared.StopFrom(0);
            for (std::thread &thread : threads)
                thread.join();
        }
    } joiner {threads, shared};

    std::size_t onThreads = parts.size();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        {
            const std::lock_guard<std::mutex> lock(shared.mutex);
            ++shared.running;
        }
        try {
            threads.emplace_back([&, i] {
                readPart(i, false);
                {
                    const std::lock_guard<std::mutex> lock(shared.mutex);
                    --shared.running;
                }
                shared.changed.notify_one();
            });
        } catch (const std::system_error &) {
            // No thread to be had: this part and the rest are read here.
            const std::lock_guard<std::mutex> lock(shared.mutex);
            --shared.running;
            onThreads = i;
            break;
        }
    }

    readPart(0, true);
    for (std::size_t i = onThreads; i < parts.size(); ++i)
        readPart(i, true);

    // The others, telling their progress as it comes, and the last of it
    // once they are done.
    {
        std::unique_lock<std::mutex> lock(shared.mutex);
        for (;;) {
            shared.changed.wait(lock, [&] { return shared.running == 0 || shared.bytesDone != told; });
            if (shared.bytesDone != told) {
                const std::uint64_t done = shared.bytesDone;
                lock.unlock();
                tell(done);
                lock.lock();
            } else if (shared.running == 0) {
                break;
            }
        }
    }
    for (std::thread &thread : threads)
        thread.join();
    threads.clear();

    if (cancelled) {
        failure = ReadFailure::Cancelled;
        return false;
    }
    // In the file's order, as one reading would meet them: a failure of a
    // part after the end of the input is no failure.
    kept = parts.size();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const Part &part = *parts[i];
        if (part.state == Part::State::Read)
            continue;
        if (part.state == Part::State::EndMark || part.state == Part::State::Shortened) {
            kept = i + 1;
            break;
        }
        failure = part.state == Part::State::Failed ? part.failure : ReadFailure::ReadError;
        kept = i;
        Merge(std::uint64_t(size));
        return false;
    }
    Merge(std::uint64_t(size));
    std::uint64_t lines = 0;
    bool finished = true;
    for (std::size_t i = 0; i < kept; ++i) {
        lines += parts[i]->splitter.Lines();
        finished = finished && parts[i]->finished;
    }
    if (!finished || lines > maxLines) {
        failure = ReadFailure::TooManyLines;
        return false;
    }
    return true;
}

void LinePartsReader::Merge(std::uint64_t size)
{
    // Each part numbers its lines from 1; Append numbers them on.
    LineFacts joined;
    for (std::size_t i = 0; i < kept; ++i)
        joined.Append(parts[i]->splitter.Facts());
    static_cast<LineFacts &>(facts) = joined;
    if (kept > 0 && parts[kept - 1]->state == Part::State::EndMark) {
        const Part &part = *parts[kept - 1];
        facts.bytesAfterEofMark = part.splitter.BytesAfterEnd() + (size > part.fedEnd ? size - part.fedEnd : 0);
    }
}
