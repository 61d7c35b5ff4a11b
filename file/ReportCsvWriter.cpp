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
#include <new>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t WriteChunkSize = 1 << 20;

bool IsAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

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
        if (u == u'"') {
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

} // namespace

bool ReportCsvWriter::Write(QIODevice &device, std::uint32_t count, const RecordFields &fields)
{
    outOfMemory = false;
    facts = {};
    try {
        return WriteLines(device, count, fields);
    } catch (const std::bad_alloc &) {
        outOfMemory = true;
        return false;
    }
}

bool ReportCsvWriter::WriteFile(const QString &path, std::uint32_t count, const RecordFields &fields)
{
    outOfMemory = false;
    facts = {};
    try {
        // QSaveFile writes beside the target and renames only on commit. A
        // short write can hide in its buffer, and commit() would rename
        // even when flushing that fails, hence the flush and sync first.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        if (!WriteLines(file, count, fields) || !file.flush() || !SyncToDisk(file.handle())) {
            file.cancelWriting();
            return false;
        }
        return file.commit();
    } catch (const std::bad_alloc &) {
        outOfMemory = true;
        return false;
    }
}

bool ReportCsvWriter::WriteLines(QIODevice &device, std::uint32_t count, const RecordFields &fields)
{
    std::string buffer;
    buffer.reserve(WriteChunkSize + 64 * 1024);
    const auto flush = [&device, &buffer] {
        const bool ok = device.write(buffer.data(), qint64(buffer.size())) == qint64(buffer.size());
        buffer.clear();
        return ok;
    };

    buffer += "\xEF\xBB\xBF";
    const QStringList &names = SpreadsheetCell::FieldNames();
    for (std::uint32_t field = 0; field < FieldCount; ++field) {
        if (field > 0)
            buffer += ',';
        AppendCell(buffer, names[qsizetype(field)]);
    }
    buffer += "\r\n";

    std::string_view values[FieldCount];
    QString text;
    for (std::uint32_t record = 0; record < count; ++record) {
        fields(record, values);
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            if (field > 0)
                buffer += ',';
            const std::string_view bytes = values[field];
            if (bytes.empty())
                continue;
            // ASCII is its own text: most cells skip the converter.
            const bool ascii = IsAscii(bytes);
            text = ascii ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size())) : ShiftJis::ToText(bytes);
            AppendCell(buffer, text);
            const bool changed = ascii ? !IsStorableValue(bytes) : ReportImporter::CellBytes(text) != bytes;
            if (changed && !facts.changedCells++) {
                facts.firstChangedLine = std::uint64_t(record) + 1;
                facts.firstChangedField = field + 1;
            }
        }
        buffer += "\r\n";
        if (buffer.size() >= WriteChunkSize && !flush())
            return false;
    }
    return buffer.empty() || flush();
}
