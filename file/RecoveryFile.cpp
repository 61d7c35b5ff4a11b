#include "RecoveryFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr char Magic[] = "qnVelTor unsaved report ";
constexpr int Version = 1;
// No line of the head is longer: a path of a few thousand bytes, %-encoded.
constexpr qint64 HeadLineLimit = 1 << 16;
// Nor is a header value; a box takes a few dozen bytes.
constexpr std::uint64_t HeaderValueLimit = 1 << 20;
constexpr std::size_t WriteChunkSize = 1 << 20;
constexpr qint64 ReadChunkSize = 1 << 20;
constexpr std::size_t LinesPerTake = 1024;
// The lines go through `keepGoing` this many at a time.
constexpr std::uint32_t LinesPerCheck = 4096;
constexpr QCryptographicHash::Algorithm DigestAlgorithm = QCryptographicHash::Sha256;
constexpr qsizetype DigestHexSize = 64;
// "end " the digest in hex, LF.
constexpr qint64 EndLineSize = 4 + DigestHexSize + 1;

QByteArray IdentityFields(const FileIdentity &identity)
{
    return QByteArray::number(identity.exists ? 1 : 0) + ' ' + QByteArray::number(identity.device) + ' '
            + QByteArray::number(identity.inode) + ' ' + QByteArray::number(identity.size) + ' '
            + QByteArray::number(identity.modifiedNs) + ' ' + QByteArray::number(identity.changedNs);
}

// The count of the problems, then each one's kind, count and first line.
QByteArray FormatFields(const std::vector<FormatProblem> &problems)
{
    QByteArray fields = QByteArray::number(quint64(problems.size()));
    for (const FormatProblem &problem : problems) {
        fields += ' ' + QByteArray::number(int(problem.kind)) + ' ' + QByteArray::number(problem.count) + ' '
                + QByteArray::number(problem.first);
    }
    return fields;
}

bool ParseFormat(const QByteArray &text, std::vector<FormatProblem> &problems)
{
    const QList<QByteArray> parts = text.split(' ');
    bool ok = false;
    const qsizetype count = qsizetype(parts.value(0).toULongLong(&ok));
    if (!ok || count > 64 || parts.size() != 1 + 3 * count)
        return false;
    problems.clear();
    for (qsizetype i = 0; i < count; ++i) {
        bool kindOk = false, countOk = false, firstOk = false;
        const uint kind = parts[1 + 3 * i].toUInt(&kindOk);
        FormatProblem problem{FormatProblem::Kind(kind), parts[2 + 3 * i].toULongLong(&countOk),
                              parts[3 + 3 * i].toULongLong(&firstOk)};
        if (!kindOk || !countOk || !firstOk || kind > uint(FormatProblem::Kind::EofMark))
            return false;
        problems.push_back(problem);
    }
    return true;
}

// Every line of the head but the first, which names the format.
QByteArray HeadOf(const RecoveryFacts &facts, std::uint64_t lineBytes)
{
    const auto &h = facts.headers;
    return QByteArray(Magic) + QByteArray::number(Version) + '\n' + "report "
            + QFile::encodeName(facts.reportPath).toPercentEncoding("/") + '\n' + "identity "
            + IdentityFields(facts.identity) + '\n' + "format " + FormatFields(facts.format) + '\n'
            + "copied " + QByteArray::number(facts.copiedMs) + '\n' + "headers "
            + QByteArray::number(quint64(h[0].size())) + ' ' + QByteArray::number(quint64(h[1].size())) + ' '
            + QByteArray::number(quint64(h[2].size())) + '\n' + "lines " + QByteArray::number(facts.lines) + ' '
            + QByteArray::number(lineBytes) + '\n';
}

// Numbers separated by single spaces, all of them there and nothing else.
bool ParseNumbers(const QByteArray &text, std::uint64_t *numbers, int count)
{
    const QList<QByteArray> parts = text.split(' ');
    if (parts.size() != count)
        return false;
    for (int i = 0; i < count; ++i) {
        bool ok = false;
        numbers[i] = parts[i].toULongLong(&ok);
        // No sign, no spaces, no leading "+": the text the writer makes.
        if (!ok || parts[i].isEmpty() || !std::all_of(parts[i].begin(), parts[i].end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return false;
    }
    return true;
}

bool ParseSigned(const QByteArray &text, qint64 &number)
{
    bool ok = false;
    number = text.toLongLong(&ok);
    return ok && !text.isEmpty() && QByteArray::number(number) == text;
}

bool ParseIdentity(const QByteArray &text, FileIdentity &identity)
{
    const QList<QByteArray> parts = text.split(' ');
    std::uint64_t numbers[3] = {};
    if (parts.size() != 6 || (parts[0] != "0" && parts[0] != "1")
        || !ParseNumbers(parts.mid(1, 3).join(' '), numbers, 3) || !ParseSigned(parts[4], identity.modifiedNs)
        || !ParseSigned(parts[5], identity.changedNs))
        return false;
    identity.exists = parts[0] == "1";
    identity.device = numbers[0];
    identity.inode = numbers[1];
    identity.size = numbers[2];
    return true;
}

// Reads a recovery copy from its first byte, every byte into the digest.
class CopyReader
{
public:
    explicit CopyReader(const QString &path) : file(path), hash(DigestAlgorithm) { }

    RecoveryFailure Open()
    {
        if (!QFileInfo(file.fileName()).isFile() || !file.open(QIODevice::ReadOnly))
            return RecoveryFailure::CannotOpen;
        return RecoveryFailure::None;
    }

    // The head and the header values; `lineBytes` is the count of the
    // lines' bytes that follow them.
    RecoveryFailure ReadHead(RecoveryFacts &facts, std::uint64_t &lineBytes)
    {
        QByteArray line;
        if (!ReadLine(line))
            return file.error() != QFileDevice::NoError ? RecoveryFailure::CannotOpen : RecoveryFailure::Foreign;
        if (!line.startsWith(Magic))
            return RecoveryFailure::Foreign;
        qint64 version = 0;
        if (!ParseSigned(line.mid(qsizetype(std::strlen(Magic))), version) || version < 1)
            return RecoveryFailure::Foreign;
        if (version > Version)
            return RecoveryFailure::Newer;
        if (version != Version)
            return RecoveryFailure::Foreign;

        std::uint64_t headerSizes[RecoveryFacts::HeaderCount] = {};
        std::uint64_t lines[2] = {};
        static const char *const keys[] = {"report ", "identity ", "format ", "copied ", "headers ", "lines "};
        for (int i = 0; i < 6; ++i) {
            if (!ReadLine(line) || !line.startsWith(keys[i]))
                return RecoveryFailure::Damaged;
            const QByteArray value = line.mid(qsizetype(std::strlen(keys[i])));
            bool ok = true;
            switch (i) {
            case 0:
                facts.reportPath = QFile::decodeName(QByteArray::fromPercentEncoding(value));
                ok = facts.reportPath.isEmpty() || QFileInfo(facts.reportPath).isAbsolute();
                break;
            case 1:
                ok = ParseIdentity(value, facts.identity);
                break;
            case 2:
                ok = ParseFormat(value, facts.format);
                break;
            case 3:
                ok = ParseSigned(value, facts.copiedMs);
                break;
            case 4:
                ok = ParseNumbers(value, headerSizes, RecoveryFacts::HeaderCount);
                break;
            case 5:
                ok = ParseNumbers(value, lines, 2);
                break;
            }
            if (!ok)
                return RecoveryFailure::Damaged;
        }
        facts.lines = lines[0];
        lineBytes = lines[1];
        // Each line takes its 18 TABs and CR LF at least; the file holds
        // its head, the values, the lines and the end line.
        const qint64 headSize = file.pos();
        std::uint64_t valueBytes = 0;
        for (const std::uint64_t size : headerSizes) {
            if (size > HeaderValueLimit)
                return RecoveryFailure::Damaged;
            valueBytes += size;
        }
        if (facts.lines > UINT32_MAX || lineBytes < facts.lines * (FieldCount + 1)
            || lineBytes > std::uint64_t(LLONG_MAX / 2)
            || std::uint64_t(file.size()) != std::uint64_t(headSize) + valueBytes + 1 + lineBytes + EndLineSize)
            return RecoveryFailure::Damaged;
        for (int i = 0; i < RecoveryFacts::HeaderCount; ++i) {
            QByteArray value;
            if (!ReadExactly(qint64(headerSizes[i]), value))
                return RecoveryFailure::Damaged;
            facts.headers[std::size_t(i)].assign(value.constData(), std::size_t(value.size()));
        }
        QByteArray newline;
        if (!ReadExactly(1, newline) || newline != "\n")
            return RecoveryFailure::Damaged;
        return RecoveryFailure::None;
    }

    // The lines, `lineBytes` of them, handed to `take`; then the end line.
    RecoveryFailure ReadLines(const RecoveryFacts &facts, std::uint64_t lineBytes, const TakeLines &take)
    {
        std::vector<std::string_view> fields(LinesPerTake * FieldCount);
        QByteArray pending;
        std::uint64_t left = lineBytes;
        std::uint64_t linesRead = 0;
        while (left > 0) {
            QByteArray chunk;
            if (!ReadExactly(qint64(std::min<std::uint64_t>(left, ReadChunkSize)), chunk))
                return RecoveryFailure::Damaged;
            left -= std::uint64_t(chunk.size());
            pending += chunk;
            const char *const begin = pending.constData();
            const char *const end = begin + pending.size();
            const char *line = begin;
            std::size_t batched = 0;
            while (const char *lf = static_cast<const char *>(std::memchr(line, '\n', std::size_t(end - line)))) {
                if (!SplitLine(line, lf, &fields[batched * FieldCount]))
                    return RecoveryFailure::Damaged;
                line = lf + 1;
                ++linesRead;
                if (++batched == LinesPerTake) {
                    take(fields.data(), batched);
                    batched = 0;
                }
            }
            if (batched > 0)
                take(fields.data(), batched);
            pending.remove(0, qsizetype(line - begin));
        }
        if (!pending.isEmpty() || linesRead != facts.lines)
            return RecoveryFailure::Damaged;
        const QByteArray digest = hash.result().toHex();
        QByteArray endLine;
        if (!ReadExactly(EndLineSize, endLine) || endLine != "end " + digest + '\n' || !file.atEnd())
            return RecoveryFailure::Damaged;
        return RecoveryFailure::None;
    }

private:
    bool ReadLine(QByteArray &line)
    {
        line = file.readLine(HeadLineLimit);
        if (!line.endsWith('\n'))
            return false;
        hash.addData(line);
        line.chop(1);
        return true;
    }

    bool ReadExactly(qint64 size, QByteArray &bytes)
    {
        bytes = file.read(size);
        if (bytes.size() != size)
            return false;
        hash.addData(bytes);
        return true;
    }

    // The line [begin, lf): 19 fields, TAB between them, CR before the LF,
    // and no byte a cell cannot hold.
    static bool SplitLine(const char *begin, const char *lf, std::string_view *fields)
    {
        if (lf == begin || lf[-1] != '\r')
            return false;
        const char *const end = lf - 1;
        const char *field = begin;
        unsigned count = 0;
        for (const char *p = begin;; ++p) {
            if (p == end || *p == '\t') {
                if (count == FieldCount)
                    return false;
                fields[count++] = std::string_view(field, std::size_t(p - field));
                if (p == end)
                    break;
                field = p + 1;
            } else if (*p == '\r' || *p == EofByte) {
                return false;
            }
        }
        return count == FieldCount;
    }

    QFile file;
    QCryptographicHash hash;
};

// Gives the file readable by the user alone before its first write: the
// write that replaces it keeps its permissions. A file already there is
// left as it is.
void MakePrivate(const QString &path)
{
    QFile file(path);
    if (!QFileInfo::exists(path)
        && file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        file.close();
}

} // namespace

WriteFailure WriteRecoveryFile(const QString &path, const RecoveryFacts &facts, const RecordFields &fields,
                               const std::function<bool()> &keepGoing)
{
    if (facts.lines > UINT32_MAX)
        return WriteFailure::RefusedValue;
    const auto count = std::uint32_t(facts.lines);
    const auto stopped = [&keepGoing](std::uint32_t line) {
        return line % LinesPerCheck == 0 && keepGoing && !keepGoing();
    };
    try {
        std::string_view values[FieldCount];
        std::uint64_t lineBytes = 0;
        for (std::uint32_t line = 0; line < count; ++line) {
            if (stopped(line))
                return WriteFailure::WriteError;
            fields(line, values);
            for (const std::string_view value : values) {
                if (!IsStorableValue(value))
                    return WriteFailure::RefusedValue;
                lineBytes += value.size();
            }
            lineBytes += FieldCount + 1; // the TABs and CR LF
        }
        const QByteArray head = HeadOf(facts, lineBytes);
        qint64 size = head.size() + 1 + qint64(lineBytes) + EndLineSize;
        for (const std::string &value : facts.headers)
            size += qint64(value.size());

        const auto contents = [&](const PutBytes &put) {
            QCryptographicHash hash(DigestAlgorithm);
            std::string buffer;
            buffer.reserve(WriteChunkSize + 4096);
            const auto flush = [&] {
                hash.addData(QByteArrayView(buffer.data(), qsizetype(buffer.size())));
                const bool ok = put(buffer.data(), buffer.size());
                buffer.clear();
                return ok;
            };
            buffer.append(head.constData(), std::size_t(head.size()));
            for (const std::string &value : facts.headers)
                buffer.append(value);
            buffer.push_back('\n');
            for (std::uint32_t line = 0; line < count; ++line) {
                if (stopped(line)) {
                    errno = ECANCELED;
                    return false;
                }
                fields(line, values);
                for (unsigned field = 0; field < FieldCount; ++field) {
                    if (field > 0)
                        buffer.push_back(TabByte);
                    buffer.append(values[field]);
                }
                buffer.append("\r\n");
                if (buffer.size() >= WriteChunkSize && !flush())
                    return false;
            }
            if (!flush())
                return false;
            const QByteArray end = "end " + hash.result().toHex() + '\n';
            return put(end.constData(), std::size_t(end.size()));
        };
        MakePrivate(path);
        return ReplaceFile(path, size, contents, {}).failure;
    } catch (const std::bad_alloc &) {
        return WriteFailure::OutOfMemory;
    }
}

RecoveryFailure ReadRecoveryFacts(const QString &path, RecoveryFacts &facts)
{
    try {
        CopyReader reader(path);
        std::uint64_t lineBytes = 0;
        RecoveryFailure failure = reader.Open();
        if (failure == RecoveryFailure::None)
            failure = reader.ReadHead(facts, lineBytes);
        return failure;
    } catch (const std::bad_alloc &) {
        return RecoveryFailure::OutOfMemory;
    }
}

RecoveryFailure ReadRecoveryFile(const QString &path, RecoveryFacts &facts, const TakeLines &take)
{
    try {
        CopyReader reader(path);
        std::uint64_t lineBytes = 0;
        RecoveryFailure failure = reader.Open();
        if (failure == RecoveryFailure::None)
            failure = reader.ReadHead(facts, lineBytes);
        if (failure == RecoveryFailure::None)
            failure = reader.ReadLines(facts, lineBytes, take);
        return failure;
    } catch (const std::bad_alloc &) {
        return RecoveryFailure::OutOfMemory;
    }
}
