// libFuzzer target for the report file layer. Any byte string is a report
// file; the properties below must hold for all of them:
//  - feeding the raw bytes in chunks of any size to PutBytes gives the same
//    records as feeding them one by one to PutChar after the text-mode
//    translation (CR dropped, 0x1A ends the input), and both give what the
//    format's plain rules say;
//  - the records, written and read back, come back unchanged, and the file
//    holds exactly TAB-joined fields with CR LF after each line;
//  - a report holding a value the format cannot carry is refused and the
//    old file stays as it was;
//  - the base name of a path is a piece of the path without a separator.

#include "FuzzCheck.h"
#include "../bench/SplitMix.h"
#include "ShiftJis.h"
#include "qnVelTorData.h"
#include "qnVelTorFile.h"
#include "qnVelTorFileName.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Writing and reading a file costs some twenty times the in-memory checks
// (each read and write sets up a large buffer, which the sanitizers make
// dear), so only small inputs and one in `roundTripShare` of them, chosen
// by their hash so that a crash still reproduces from the input alone.
constexpr std::size_t roundTripLimit = 4096;
constexpr std::uint64_t roundTripShare = 4;

// The chunk sizes come from the input itself, so a crash reproduces from
// the saved input alone.
using Random = SplitMix;

std::uint64_t Hash(std::string_view bytes)
{
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001B3ull;
    }
    return h;
}

using Records = std::vector<std::vector<std::string>>;

Records RecordsOf(const qnVelTorData &data)
{
    Records records;
    for (const qnVelTorDataRecord &record : data) {
        Check(record.fields.size() == FieldCount, "a record without exactly 19 fields");
        std::vector<std::string> fields;
        for (const qnVelTorDataField &field : record)
            fields.push_back(field.Get());
        records.push_back(std::move(fields));
    }
    return records;
}

// The format's rules read straight off: cut at the first 0x1A, drop CR,
// one record per LF-ended line plus a non-empty last line, the first 19
// TAB-separated pieces of each.
Records ExpectedRecords(std::string_view input)
{
    std::string text;
    for (char c : input) {
        if (c == '\x1A')
            break;
        if (c != '\r')
            text.push_back(c);
    }
    Records records;
    std::size_t lineStart = 0;
    while (lineStart < text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text.size();
        std::vector<std::string> fields(FieldCount);
        std::size_t pieceStart = lineStart;
        for (std::uint32_t f = 0; f < FieldCount && pieceStart <= lineEnd; ++f) {
            std::size_t pieceEnd = text.find('\t', pieceStart);
            if (pieceEnd == std::string::npos || pieceEnd > lineEnd)
                pieceEnd = lineEnd;
            fields[f] = text.substr(pieceStart, pieceEnd - pieceStart);
            pieceStart = pieceEnd + 1;
        }
        records.push_back(std::move(fields));
        lineStart = lineEnd + 1;
    }
    return records;
}

std::string Serialized(const Records &records)
{
    std::string bytes;
    for (const std::vector<std::string> &fields : records) {
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (f > 0)
                bytes.push_back('\t');
            bytes += fields[f];
        }
        bytes += "\r\n";
    }
    return bytes;
}

bool FileBytes(const QString &path, std::string &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray all = file.readAll();
    bytes.assign(all.constData(), static_cast<std::size_t>(all.size()));
    return true;
}

const QTemporaryDir &WorkDir()
{
    // tmpfs keeps the per-input file writes off the disk.
    static const QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
                                       ? QStringLiteral("/dev/shm/qnveltor-fuzz-XXXXXX")
                                       : QDir::tempPath() + QStringLiteral("/qnveltor-fuzz-XXXXXX"));
    if (!dir.isValid())
        Fail("no temporary folder");
    return dir;
}

Records ReadInChunks(std::string_view input)
{
    qnVelTorData data;
    qnVelTorFileReader reader(&data, QStringLiteral("unused.dat"));
    Random random(Hash(input));
    std::size_t done = 0;
    bool ended = false;
    while (done < input.size()) {
        const std::uint64_t r = random.Next();
        std::size_t size;
        switch (r % 8) {
        case 0: size = 0; break;
        case 1: size = 1 + (r >> 8) % 4096; break;
        default: size = 1 + (r >> 8) % 16; break;
        }
        if (size > input.size() - done)
            size = input.size() - done;
        const bool more = reader.PutBytes(input.data() + done, size);
        const std::string_view chunk = input.substr(done, size);
        if (ended)
            Check(!more, "PutBytes accepted bytes after a 0x1A");
        else
            Check(more == (chunk.find('\x1A') == std::string_view::npos),
                  "PutBytes answered true for a chunk with 0x1A, or false for one without");
        ended = ended || !more;
        done += size;
    }
    Check(reader.Finish(), "Finish reported an overflow");
    return RecordsOf(data);
}

Records ReadByteByByte(std::string_view input)
{
    qnVelTorData data;
    qnVelTorFileReader reader(&data, QStringLiteral("unused.dat"));
    for (char c : input) {
        if (c == '\x1A')
            break;
        if (c != '\r')
            reader.PutChar(static_cast<unsigned char>(c));
    }
    reader.PutChar(-1);
    return RecordsOf(data);
}

void CheckRoundTrip(const Records &records)
{
    qnVelTorData data;
    for (const std::vector<std::string> &fields : records) {
        qnVelTorDataRecord record;
        for (std::uint32_t f = 0; f < FieldCount; ++f) {
            Check(IsStorableValue(fields[f]), "the reader gave a value the format cannot carry");
            record.SetField(f, fields[f]);
        }
        data.AppendRecord(record);
    }

    const QString path = WorkDir().filePath(QStringLiteral("1234567890201204ABC.dat"));
    Check(qnVelTorFileWriter().Write(path, &data), "Write failed on a storable report");
    std::string written;
    Check(FileBytes(path, written), "the written file cannot be read");
    Check(written == Serialized(records), "the written file is not the TAB-joined, CR LF-ended lines");

    qnVelTorData back;
    Check(ReadReportFile(path, &back), "ReadReportFile failed on a written file");
    Check(back.FileBaseName() == "1234567890201204ABC", "wrong base name after the read");
    Check(RecordsOf(back) == records, "records changed on the way through the file");

    // One value the format cannot carry: the save is refused and the file
    // written above stays as it was.
    if (!records.empty()) {
        const std::uint32_t row = static_cast<std::uint32_t>(Hash(written) % records.size());
        const std::uint32_t col = static_cast<std::uint32_t>(Hash(written) % FieldCount);
        static const char *const unstorable[] = {"\t", "\r", "\n", "\x1A"};
        std::string value = *data.GetCell(row, col);
        value.insert(value.size() / 2, unstorable[written.size() % 4]);
        data.SetCell(row, col, value);
        Check(!qnVelTorFileWriter().Write(path, &data), "a value with TAB, CR, LF or 0x1A was written");
        std::string after;
        Check(FileBytes(path, after) && after == written, "a refused save changed the old file");
        const QString fresh = WorkDir().filePath(QStringLiteral("fresh.dat"));
        Check(!qnVelTorFileWriter().Write(fresh, &data) && !QFile::exists(fresh),
              "a refused save created a file");
    }
}

bool IsSeparator(unsigned char c)
{
    return c == '\\' || c == '/' || c == ':';
}

// Separators only count outside double-byte characters: 表 is 0x95 0x5C.
bool HoldsSeparator(std::string_view name)
{
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (ShiftJis::IsLeadByte(c) && i + 1 < name.size())
            ++i;
        else if (IsSeparator(c))
            return true;
    }
    return false;
}

void CheckBaseName(std::string_view input)
{
    const std::string name = FileBaseNameOfPath(input);
    Check(input.find(name) != std::string_view::npos, "the base name is not a piece of the path");
    Check(!HoldsSeparator(name), "the base name holds a separator");

    // The same for the path as text; the result is bytes again.
    const std::string fromText = FileBaseNameOfPath(ShiftJis::ToText(input));
    Check(!HoldsSeparator(fromText), "the base name of the decoded path holds a separator");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(bytes), size);

    const Records chunked = ReadInChunks(input);
    const Records single = ReadByteByByte(input);
    Check(chunked == single, "PutBytes in chunks and PutChar byte by byte disagree");
    Check(chunked == ExpectedRecords(input), "the records are not what the format's rules give");

    if (size < roundTripLimit && Hash(input) % roundTripShare == 0)
        CheckRoundTrip(chunked);

    CheckBaseName(input);
    return 0;
}
