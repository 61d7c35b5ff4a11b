#include "ReportCsvWriter.h"

#include "ReportImporter.h"
#include "ShiftJis.h"
#include "SpreadsheetCell.h"

#include <QSaveFile>

#if defined(Q_OS_WIN)
#include <io.h>
#else
#include "FileSystemCalls.h"

#include <cerrno>
#endif

#include <algorithm>
#include <array>
#include <atomic>
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

bool IsAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether each code of a cell with characters outside ASCII reads back as
// itself from the CSV: what the import makes of its character (look-alikes
// mapped, 0x1A and characters without a code as 〓, bad bytes as 〓). A cell
// reads back when all its codes do. Asked once per code, by any thread.
constexpr std::uint8_t Unknown = 0;
constexpr std::uint8_t ReadsBack = 1;
constexpr std::uint8_t Changes = 2;
std::array<std::atomic<std::uint8_t>, 0x10000> pairsBack;
std::array<std::atomic<std::uint8_t>, 0x100> bytesBack;

bool CodeReadsBack(std::atomic<std::uint8_t> &entry, std::string_view code)
{
    std::uint8_t known = entry.load(std::memory_order_relaxed);
    if (known == Unknown) {
        known = ReportImporter::CellBytes(ShiftJis::ToText(code)) == code ? ReadsBack : Changes;
        entry.store(known, std::memory_order_relaxed);
    }
    return known == ReadsBack;
}

// Whether a cell holding a byte of 0x80 or above reads back byte for byte:
// its codes taken as the converter takes them (ShiftJisCore.h).
bool CellReadsBack(std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t size = bytes.size();
    for (std::size_t i = 0; i < size;) {
        if (ShiftJis::IsLeadByte(p[i]) && i + 1 < size && ShiftJis::IsTrailByte(p[i + 1])) {
            if (!CodeReadsBack(pairsBack[std::size_t(p[i]) << 8 | p[i + 1]], bytes.substr(i, 2)))
                return false;
            i += 2;
        } else {
            if (!CodeReadsBack(bytesBack[p[i]], bytes.substr(i, 1)))
                return false;
            ++i;
        }
    }
    return true;
}

// What one thread made of lines [first, first + PartLines).
struct Part
{
    std::string text;
    ExportFacts facts;
    bool done = false;
    bool outOfMemory = false;
};

void AppendUtf8(std::string &out, char32_t code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | code >> 6);
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | code >> 12);
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | code >> 18);
        out += char(0x80 | (code >> 12 & 0x3F));
        out += char(0x80 | (code >> 6 & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Appends the cell as the CSV holds it. A cell in ="…" form stands bare
// when its text needs no quoting (="000", the form spreadsheets know best),
// and is quoted as a whole otherwise ("=""1,000""").
void AppendCell(std::string &out, QStringView text)
{
    const bool form = SpreadsheetCell::NeedsTextForm(text);
    const bool quoted = std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == u',' || c == u'"' || c == u'\r' || c == u'\n' || c == u'\t';
    });
    // How many quotes stand for one quote of the formula's string, and for
    // one quote of the cell's text.
    const std::size_t formQuote = quoted ? 2 : 1;
    const std::size_t textQuote = formQuote * (form ? 2 : 1);
    if (quoted)
        out += '"';
    if (form) {
        out += '=';
        out.append(formQuote, '"');
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80 && u != u'"') {
            out += char(u);
        } else if (u == u'"') {
            out.append(textQuote, '"');
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(u, text[++i].unicode()));
        } else {
            // A lone surrogate has no UTF-8 form; Shift-JIS text never has one.
            AppendUtf8(out, QChar::isSurrogate(u) ? U'\uFFFD' : char32_t(u));
        }
    }
    if (form)
        out.append(formQuote, '"');
    if (quoted)
        out += '"';
}

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
    // The text of a cell, decoded into a buffer kept from cell to cell.
    std::vector<char16_t> text;
    for (std::uint32_t record = first; record < end; ++record) {
        fields(record, values);
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            if (field > 0)
                buffer += ',';
            const std::string_view bytes = values[field];
            if (bytes.empty())
                continue;
            // ASCII is its own text.
            const bool ascii = IsAscii(bytes);
            if (text.size() < ShiftJis::DecodeCapacity(bytes.size()))
                text.resize(ShiftJis::DecodeCapacity(bytes.size()) * 2);
            const char16_t *textEnd = ascii ? std::copy(bytes.begin(), bytes.end(), text.data())
                                            : ShiftJis::DecodeInto(bytes, text.data());
            AppendCell(buffer, QStringView(text.data(), textEnd - text.data()));
            const bool changed = ascii ? !IsStorableValue(bytes) : !CellReadsBack(bytes);
            if (changed && !part.facts.changedCells++) {
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
        AppendCell(header, names[qsizetype(field)]);
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
