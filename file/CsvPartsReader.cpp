#include "CsvPartsReader.h"

#include "CsvPartImporter.h"
#include "InputFile.h"
#include "ShiftJis.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace {

using TextEncoding::Encoding;

// Enough of the file's start to hold the first 64 K characters the
// separator is guessed from (DelimitedTextReader::GuessSeparator) in
// UTF-8, whose characters take at most three bytes a unit, and more.
constexpr qint64 HeadSize = 4 * 65536 + 64;
constexpr std::size_t ChunkSize = 1 << 20;
// How far past its target the cut may lie: a line longer than this
// there leaves the file in one part.
constexpr std::uint64_t CutWindow = 1 << 20;

constexpr std::uint64_t CutUnknown = 0;
constexpr std::uint64_t CutAbandoned = ~std::uint64_t(0);

// The quotes among the bytes, eight at a time.
std::uint64_t CountQuotes(const char *bytes, std::size_t size)
{
    constexpr std::uint64_t quotes = 0x2222222222222222ull;
    constexpr std::uint64_t lows = 0x7F7F7F7F7F7F7F7Full;
    std::uint64_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        const std::uint64_t x = word ^ quotes;
        // The high bit of each byte that was a quote, and of no other.
        const std::uint64_t zero = ~(((x & lows) + lows) | x | lows);
        // Each such bit moved to the foot of its byte, the bytes summed.
        count += ((zero >> 7) * 0x0101010101010101ull) >> 56;
    }
    for (; i < size; ++i)
        count += bytes[i] == '"';
    return count;
}

// Just after the first LF from `target` on that an even count of quotes
// since `begin` puts outside quotes, as a well-formed file has it (or any
// LF, without `quoted`); 0 when there is none near, or when `stop` says so.
std::uint64_t FindCut(InputFile &file, std::uint64_t begin, std::uint64_t target, bool quoted,
                      const std::atomic<bool> &stop)
{
    const std::unique_ptr<char[]> buffer(new char[ChunkSize]);
    std::uint64_t quotes = 0;
    for (std::uint64_t at = quoted ? begin : target; at < target;) {
        if (stop.load(std::memory_order_relaxed))
            return 0;
        const qint64 got = file.ReadFullyAt(buffer.get(), qint64(std::min<std::uint64_t>(ChunkSize, target - at)),
                                     qint64(at));
        if (got <= 0)
            return 0;
        quotes += CountQuotes(buffer.get(), std::size_t(got));
        at += std::uint64_t(got);
    }
    const qint64 got = file.ReadFullyAt(buffer.get(), qint64(CutWindow), qint64(target));
    for (qint64 i = 0; i < got; ++i) {
        const char c = buffer[std::size_t(i)];
        if (c == '"' && quoted)
            ++quotes;
        else if (c == '\n' && quotes % 2 == 0)
            return target + std::uint64_t(i) + 1;
    }
    return 0;
}

// The facts of `later`, read after `first`, joined to them.
ImportFacts Joined(const ImportFacts &first, const ImportFacts &later)
{
    ImportFacts joined = first;
    joined.badBytes += later.badBytes;
    joined.lines += later.lines;
    joined.blankLines += later.blankLines;
    const auto join = [&first](std::uint64_t &count, std::uint64_t &firstLine, std::uint64_t laterCount,
                               std::uint64_t laterFirst) {
        if (!count && laterCount)
            firstLine = first.lines + laterFirst;
        count += laterCount;
    };
    join(joined.flattenedCells, joined.firstFlattenedLine, later.flattenedCells, later.firstFlattenedLine);
    join(joined.substitutedCells, joined.firstSubstitutedLine, later.substitutedCells, later.firstSubstitutedLine);
    join(joined.longLines, joined.firstLongLine, later.longLines, later.firstLongLine);
    join(joined.unclosedQuotes, joined.firstUnclosedQuoteLine, later.unclosedQuotes, later.firstUnclosedQuoteLine);
    return joined;
}

ReadFailure OpenFailure(ReadFailure failure)
{
    // The reasons an import has always given.
    return failure == ReadFailure::NotRegularFile ? failure : ReadFailure::CannotOpen;
}

} // namespace

CsvPartsReader::CsvPartsReader(std::vector<TakeLines> takes) : takes(std::move(takes))
{
    if (this->takes.empty())
        this->takes.emplace_back();
}

CsvPartsReader::~CsvPartsReader() = default;

bool CsvPartsReader::Read(const QString &path, const ReadProgress &progress)
{
    failure = ReadFailure::None;
    facts = {};
    parts = 0;
    kept = 0;
    cut = 0;
    progressBase = 0;
    try {
        InputFile file;
        if (!file.Open(path, failure)) {
            failure = OpenFailure(failure);
            return false;
        }
        size = std::uint64_t(std::max<qint64>(file.Size(), 0));
        QByteArray head(HeadSize, Qt::Uninitialized);
        const qint64 got = file.ReadFullyAt(head.data(), HeadSize, 0);
        if (got < 0) {
            failure = ReadFailure::ReadError;
            return false;
        }
        head.truncate(got);
        const bool whole = got < HeadSize;
        qsizetype mark = 0;
        if (!TextEncoding::HasByteOrderMark(head, &encoding, &mark) && !DetectEncoding(file, progress))
            return false;
        if (encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE)
            return ReadWhole(file, progress);

        // The separator from the text of the head, as the whole text's
        // first 64 K characters hold it: the head holds more.
        const QByteArrayView body = QByteArrayView(head).sliced(mark);
        QString text;
        if (encoding == Encoding::ShiftJis) {
            text = ShiftJis::ToText(std::string_view(body.data(), std::size_t(body.size())));
        } else {
            text.resize(body.size());
            qsizetype bad = 0;
            text.truncate(TextEncoding::DecodeUtf8Into(body, reinterpret_cast<char16_t *>(text.data()), bad));
        }
        if (whole && text.endsWith(QChar(u'\x1A')))
            text.chop(1);
        separator = char(DelimitedTextReader::GuessSeparator(text).unicode());

        const auto begin = std::uint64_t(mark);
        std::uint64_t target = 0;
        if (takes.size() > 1 && InputFile::CanReadAt) {
            if (cutNear > 0)
                target = cutNear;
            else if (size >= begin + 2 * minPartSize && std::thread::hardware_concurrency() != 1)
                target = begin + (size - begin) / 2;
        }
        return ReadParts(file, begin, target > begin && target < size ? target : 0, progress);
    } catch (const std::bad_alloc &) {
        // Also from a take on this thread; the other is joined by then.
        failure = ReadFailure::OutOfMemory;
        return false;
    }
}

bool CsvPartsReader::DetectEncoding(InputFile &file, const ReadProgress &progress)
{
    // TextEncoding::Detect over the whole file, a piece at a time, each
    // piece ending after a byte below 0x40.
    TextEncoding::Evidence evidence;
    std::vector<char> buffer(std::max<std::size_t>(chunkSize, 2));
    std::size_t carried = 0;
    std::uint64_t at = 0; // where the buffer starts in the file
    while (!evidence.Settled()) {
        if (carried > buffer.size() / 2)
            buffer.resize(buffer.size() * 2);
        const qint64 got = file.ReadAt(buffer.data() + carried, qint64(buffer.size() - carried), qint64(at + carried));
        if (got < 0) {
            failure = ReadFailure::ReadError;
            return false;
        }
        if (got == 0) {
            evidence.Add(QByteArrayView(buffer.data(), qsizetype(carried)));
            break;
        }
        const std::size_t filled = carried + std::size_t(got);
        std::size_t piece = filled;
        while (piece > 0 && static_cast<unsigned char>(buffer[piece - 1]) >= 0x40)
            --piece;
        evidence.Add(QByteArrayView(buffer.data(), qsizetype(piece)));
        std::memmove(buffer.data(), buffer.data() + piece, filled - piece);
        carried = filled - piece;
        at += piece;
        progressBase = std::min(size, at + carried) / 2;
        if (progress && !progress(progressBase, size)) {
            failure = ReadFailure::Cancelled;
            return false;
        }
    }
    encoding = evidence.Result();
    return true;
}

bool CsvPartsReader::ReadWhole(InputFile &file, const ReadProgress &progress)
{
    parts = 1;
    QByteArray bytes;
    bytes.reserve(qsizetype(size + ReadChunkSize));
    for (;;) {
        const qsizetype at = bytes.size();
        bytes.resize(at + ReadChunkSize);
        const qint64 got = file.ReadAt(bytes.data() + at, ReadChunkSize, at);
        if (got < 0) {
            failure = ReadFailure::ReadError;
            return false;
        }
        bytes.resize(at + qsizetype(got));
        if (got == 0)
            break;
        // Reading is the first half of the progress, parsing the second.
        const auto total = std::max<std::uint64_t>(size, std::uint64_t(bytes.size()));
        if (progress && !progress(std::uint64_t(bytes.size()) / 2, total)) {
            failure = ReadFailure::Cancelled;
            return false;
        }
    }
    const auto total = std::uint64_t(bytes.size());
    const auto parsed = [&](double share) {
        return !progress || progress(total / 2 + std::uint64_t(double(total - total / 2) * share), total);
    };
    const bool read = ImportBytes(std::move(bytes), takes[0], parsed, maxLines, failure, facts);
    kept = read ? 1 : 0;
    return read;
}

// The second part, read on a thread of its own from the cut it finds.
struct CsvPartsReader::Second
{
    Second(const TakeLines &take, Encoding encoding, char separator) : importer(take, encoding, separator, false) { }
    // Joined before anything it uses goes, also when the calling thread
    // leaves by an exception (from a take or the progress).
    ~Second() { Join(); }

    void Join()
    {
        if (thread.joinable()) {
            stop = true;
            thread.join();
        }
    }

    // On the part's thread: finds the cut near `target` and reads from it.
    void Run(InputFile &file, std::uint64_t begin, std::uint64_t target, bool byQuotes)
    {
        std::uint64_t found = 0;
        try {
            found = FindCut(file, begin, target, byQuotes, stop);
            Publish(found ? found : CutAbandoned);
            if (found) {
                end = importer.Read(file, found, [this](std::uint64_t bytes) {
                    {
                        const std::lock_guard<std::mutex> lock(mutex);
                        done = bytes;
                    }
                    changed.notify_one();
                    return !stop.load(std::memory_order_relaxed);
                });
                failure = importer.Failure();
            }
        } catch (const std::bad_alloc &) {
            if (!found)
                Publish(CutAbandoned);
            end = CsvPartImporter::End::Failed;
            failure = ReadFailure::OutOfMemory;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            running = false;
        }
        changed.notify_one();
    }

    void Publish(std::uint64_t at)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            cut = at;
        }
        changed.notify_one();
    }

    // The cut, once the part has found it (or found none).
    std::uint64_t Cut()
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return cut != CutUnknown; });
        return cut;
    }

    std::uint64_t Done()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return done;
    }

    // Until the part is done, calls `tell` as it reads, and once after.
    template<typename Tell>
    void Wait(const Tell &tell)
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (std::uint64_t seen = ~std::uint64_t(0);;) {
            changed.wait(lock, [&] { return !running || done != seen; });
            seen = done;
            const bool wasRunning = running;
            lock.unlock();
            tell();
            lock.lock();
            if (!wasRunning)
                break;
        }
    }

    CsvPartImporter importer;
    CsvPartImporter::End end = CsvPartImporter::End::Cancelled;
    ReadFailure failure = ReadFailure::None;
    std::atomic<bool> stop {false}; // the part stops at its next chunk
    std::mutex mutex;
    std::condition_variable changed;
    // Under `mutex`: where the part starts, once it is known, the bytes it
    // read, and whether it is still reading.
    std::uint64_t cut = CutUnknown;
    std::uint64_t done = 0;
    bool running = true;
    std::thread thread;
};

bool CsvPartsReader::ReadParts(InputFile &file, std::uint64_t begin, std::uint64_t target,
                               const ReadProgress &progress)
{
    CsvPartImporter first(takes[0], encoding, separator, true);
    first.maxLines = maxLines;
    first.chunkSize = chunkSize;
    std::unique_ptr<Second> second;
    parts = 1;
    if (target > 0) {
        second = std::make_unique<Second>(takes[1], encoding, separator);
        second->importer.maxLines = maxLines;
        second->importer.chunkSize = chunkSize;
        try {
            second->thread = std::thread(&Second::Run, second.get(), std::ref(file), begin, target, cutNear == 0);
            parts = 2;
        } catch (const std::system_error &) {
            // No thread to be had: the first part reads the whole.
            second.reset();
        }
    }

    // The bytes read so far as the progress counts them, never less than
    // told before: the second part's count drops out when it is dropped.
    bool dropped = false;
    std::uint64_t firstDone = 0;
    std::uint64_t told = 0;
    bool cancelled = false;
    const auto tell = [&] {
        const std::uint64_t done = std::min(size, firstDone + (second && !dropped ? second->Done() : 0));
        told = std::max(told, progressBase + (size ? done * (size - progressBase) / size : 0));
        if (progress && !cancelled && !progress(told, size)) {
            cancelled = true;
            if (second)
                second->stop = true;
        }
        return !cancelled;
    };

    // The first part stops where the second started, if it gets there on
    // a line end; past it, or when no cut was found, it reads on alone.
    // Finding the cut takes far less than reading up to it.
    std::uint64_t landed = 0;
    if (second) {
        first.watch = target;
        first.atRowEnd = [&](std::uint64_t offset) {
            const std::uint64_t at = second->Cut();
            if (at != CutAbandoned && offset < at) {
                first.watch = at;
                return false;
            }
            if (offset == at && first.AtCleanRowStart()) {
                landed = at;
                return true;
            }
            first.watch = ~std::uint64_t(0);
            second->stop = true;
            dropped = true;
            return false;
        };
    }
    const CsvPartImporter::End firstEnd = first.Read(file, begin, [&](std::uint64_t done) {
        firstDone = done;
        return tell();
    });
    if (second) {
        if (landed == 0) {
            dropped = true;
            second->stop = true;
        }
        second->Wait(tell);
        second->Join();
    }

    facts = first.Facts();
    kept = 1;
    if (firstEnd == CsvPartImporter::End::Cancelled || cancelled) {
        failure = ReadFailure::Cancelled;
        return false;
    }
    if (firstEnd == CsvPartImporter::End::Failed) {
        failure = first.Failure();
        return false;
    }
    if (landed == 0)
        return true;
    cut = landed;
    if (second->end != CsvPartImporter::End::TextEnd) {
        failure = second->end == CsvPartImporter::End::Failed ? second->failure : ReadFailure::Cancelled;
        return false;
    }
    kept = 2;
    facts = Joined(first.Facts(), second->importer.Facts());
    if (facts.lines > maxLines) {
        failure = ReadFailure::TooManyLines;
        return false;
    }
    return true;
}
