#include "qnVelTorFile.h"

#include "InputFile.h"
#include "LinePartsReader.h"
#include "ShiftJis.h"
#include "qnVelTorFileName.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr std::size_t WriteChunkSize = 1 << 20;

constexpr std::array<bool, 256> makeControlTable()
{
    std::array<bool, 256> table {};
    table[static_cast<unsigned char>(TabByte)] = true;
    table[static_cast<unsigned char>(LfByte)] = true;
    table[static_cast<unsigned char>(CrByte)] = true;
    table[static_cast<unsigned char>(EofByte)] = true;
    return table;
}

constexpr std::array<bool, 256> controlBytes = makeControlTable();

// TAB, LF, CR and 0x1A are all below 0x20, and such bytes are rare in a
// report: eight bytes at a time are tested for any byte below 0x20 before
// they are looked at one by one.
const char *FindControlByte(const char *p, const char *end)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    while (p < end) {
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (((word - ones * 0x20) & ~word & highs) != 0)
                break;
            p += 8;
        }
        for (const char *stop = std::min(p + 8, end); p < stop; ++p) {
            if (controlBytes[static_cast<unsigned char>(*p)])
                return p;
        }
    }
    return end;
}

// Writes the lines through `put`, which takes a chunk of bytes and says
// whether all of them were written.
bool WriteRecords(std::uint32_t count, const RecordFields &fields, const PutBytes &put)
{
    std::string buffer;
    buffer.reserve(WriteChunkSize + 4096);
    const auto flush = [&put, &buffer] {
        const bool ok = put(buffer.data(), buffer.size());
        buffer.clear();
        return ok;
    };

    std::string_view values[FieldCount];
    for (std::uint32_t record = 0; record < count; ++record) {
        fields(record, values);
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            if (field > 0)
                buffer.push_back(TabByte);
            buffer.append(values[field]);
        }
        buffer.append("\r\n");
        if (buffer.size() >= WriteChunkSize && !flush())
            return false;
    }
    return buffer.empty() || flush();
}

} // namespace

bool IsStorableValue(std::string_view value)
{
    return FindControlByte(value.data(), value.data() + value.size()) == value.data() + value.size();
}

ReportSniffer::Looks SniffReportFile(const QString &path)
{
    ReadFailure failure = ReadFailure::None;
    InputFile file;
    if (!file.Open(path, failure))
        return ReportSniffer::Looks::Report;
    QByteArray head(ReportSniffer::HeadSize, Qt::Uninitialized);
    qint64 got = 0;
    while (got < head.size()) {
        const qint64 read = file.Read(head.data() + got, head.size() - got);
        if (read <= 0)
            break;
        got += read;
    }
    // Short of the head: the bytes are the whole file.
    const bool whole = got < head.size() || got >= file.Size();
    return ReportSniffer::Sniff(QByteArrayView(head.constData(), got), whole);
}

bool ReadReportFile(const QString &path, qnVelTorData *data)
{
    return ReadReportFile(path, data, {});
}

bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take, ReadFacts *facts)
{
    return ReadReportFile(path, data, take, {}, nullptr, facts);
}

bool ReadReportFile(const QString &path, qnVelTorData *data, const TakeRecords &take, const ReadProgress &progress,
                    ReadFailure *failure, ReadFacts *facts)
{
    ReadFailure dummy;
    ReadFailure &why = failure ? *failure : dummy;
    why = ReadFailure::None;
    if (!data) {
        why = ReadFailure::CannotOpen;
        return false;
    }
    try {
        // Set before the file is opened: the caller compares a later save's
        // name with it even when this read fails.
        data->SetFileBaseName(FileBaseNameOfPath(path));
        qnVelTorFileReader reader(data, path);
        const bool ok = reader.Read(take, progress);
        why = reader.Failure();
        if (facts)
            *facts = reader.Facts();
        return ok;
    } catch (const std::bad_alloc &) {
        // Also from `take`, which builds the caller's copy of the lines.
        why = ReadFailure::OutOfMemory;
        return false;
    }
}

qnVelTorFileReader::qnVelTorFileReader(qnVelTorData *data, const QString &path)
    : data(data), path(path)
{
}

qnVelTorFileReader::~qnVelTorFileReader() = default;

bool qnVelTorFileReader::Read(const TakeRecords &take, const ReadProgress &progress)
{
    failure = ReadFailure::None;
    InputFile file;
    if (!file.Open(path, failure))
        return false;
    facts.identity = file.Identity();
    const auto afterChunk = [this, &take] {
        if (take)
            take(*data);
    };
    FeedNotes notes;
    const bool read = FeedFile(
            file, [this](const char *bytes, std::size_t size) { return PutBytes(bytes, size); }, afterChunk,
            progress, failure, &notes);
    facts.looks = notes.looks;
    if (!read)
        return false;
    const bool finished = Finish();
    facts.bytesAfterEofMark = (splitter ? splitter->BytesAfterEnd() : 0) + notes.unread;
    afterChunk();
    if (!finished)
        failure = ReadFailure::TooManyLines;
    return finished;
}

bool ReadReportLines(const QString &path, const TakeLines &take, const ReadProgress &progress,
                     ReadFailure *failure, ReadFacts *facts)
{
    // One take: the whole file on this thread.
    LinePartsReader reader({take});
    const bool read = reader.Read(path, progress);
    if (failure)
        *failure = reader.Failure();
    if (facts)
        *facts = reader.Facts();
    return read;
}

bool qnVelTorFileReader::PutBytes(const char *bytes, std::size_t size)
{
    if (!splitter) {
        splitter = std::make_unique<ReportLineSplitter>(
                [this](const std::string_view *fields, std::size_t lines) { TakeSplitLines(fields, lines); });
    }
    const bool more = splitter->PutBytes(bytes, size);
    CopySplitterFacts();
    return more;
}

bool qnVelTorFileReader::Finish()
{
    if (!finished) {
        finished = true;
        ended = true;
        if (splitter) {
            splitter->Finish();
            CopySplitterFacts();
        } else {
            PutChar(-1);
        }
    }
    return !overflow;
}

void qnVelTorFileReader::CopySplitterFacts()
{
    // The identity is the file's, set by Read().
    static_cast<LineFacts &>(facts) = splitter->Facts();
}

void qnVelTorFileReader::TakeSplitLines(const std::string_view *fields, std::size_t lines)
{
    for (std::size_t line = 0; line < lines; ++line, fields += FieldCount) {
        if (data->RecordCount() == qnVelTorData::MaxRecords) {
            overflow = true;
            return;
        }
        if (!record)
            record = std::make_unique<qnVelTorDataRecord>();
        for (std::uint32_t field = 0; field < FieldCount; ++field)
            record->fields[field].Set(fields[field]);
        // The record object is kept for the next line; moving it out leaves
        // it with fresh empty fields.
        data->AppendRecord(std::move(*record));
    }
}

void qnVelTorFileReader::PutChar(int ch)
{
    switch (ch) {
    case TabByte:
        EndField();
        break;
    case LfByte:
        EndField();
        EndRecord();
        break;
    case -1:
        // A last line without a line end still counts, even one of TABs only.
        if (lineLength > 0) {
            EndField();
            EndRecord();
        }
        break;
    default:
        fieldText.push_back(static_cast<char>(ch));
        break;
    }
    lineLength = ch == LfByte ? 0 : lineLength + 1;
}

void qnVelTorFileReader::EndField()
{
    EndField(fieldText);
    fieldText.clear();
}

void qnVelTorFileReader::EndField(std::string_view text)
{
    if (!recordOpen) {
        if (!record)
            record = std::make_unique<qnVelTorDataRecord>();
        recordOpen = true;
        fieldIndex = 0;
    }
    // Pieces past the 19th of a line have no field and are dropped.
    if (qnVelTorDataField *field = record->fields.At(fieldIndex)) {
        field->Set(text);
    } else if (!lineLong && !text.empty()) {
        lineLong = true;
        if (!facts.longLines++)
            facts.firstLongLine = linesEnded + 1;
    }
    if (!lineOdd && !ShiftJis::IsWellFormed(text)) {
        lineOdd = true;
        if (!facts.oddLines++)
            facts.firstOddLine = linesEnded + 1;
    }
    if (fieldIndex < std::numeric_limits<std::uint32_t>::max())
        ++fieldIndex;
}

void qnVelTorFileReader::EndRecord()
{
    if (!recordOpen)
        return;
    recordOpen = false;
    ++linesEnded;
    lineLong = false;
    lineOdd = false;
    if (data->RecordCount() == qnVelTorData::MaxRecords) {
        overflow = true;
        return;
    }
    // The record object is kept for the next line; moving it out leaves it
    // with fresh empty fields.
    data->AppendRecord(std::move(*record));
}

bool qnVelTorFileWriter::Write(const QString &path, const qnVelTorData *data)
{
    if (!data) {
        failure = WriteFailure::CannotCreate;
        backupPath.clear();
        written = {};
        return false;
    }
    return Write(path, data->RecordCount(), [data](std::uint32_t record, std::string_view (&fields)[FieldCount]) {
        const qnVelTorDataRecord &line = *data->RecordAt(record);
        for (std::uint32_t field = 0; field < FieldCount; ++field) {
            const qnVelTorDataField *value = line.fields.At(field);
            fields[field] = value ? std::string_view(value->Get()) : std::string_view();
        }
    });
}

bool qnVelTorFileWriter::Write(const QString &path, std::uint32_t count, const RecordFields &fields)
{
    backupPath.clear();
    written = {};
    try {
        failure = WriteLines(path, count, fields);
    } catch (const std::bad_alloc &) {
        // Whatever was made on the way is removed while the stack unwinds.
        failure = WriteFailure::OutOfMemory;
    }
    return failure == WriteFailure::None;
}

WriteFailure qnVelTorFileWriter::WriteLines(const QString &path, std::uint32_t count, const RecordFields &fields)
{
    // Refused values are found before the file is touched, and the size of
    // the file to be is known.
    std::string_view values[FieldCount];
    qint64 size = 0;
    for (std::uint32_t record = 0; record < count; ++record) {
        fields(record, values);
        for (const std::string_view value : values) {
            if (!IsStorableValue(value))
                return WriteFailure::RefusedValue;
            size += static_cast<qint64>(value.size());
        }
        size += FieldCount - 1 + 2; // the TABs and CR LF
    }
    const ReplaceResult result = ReplaceFile(
            path, size, [count, &fields](const PutBytes &put) { return WriteRecords(count, fields, put); },
            confirmWithoutBackup);
    backupPath = result.backupPath;
    written = result.written;
    return result.failure;
}
