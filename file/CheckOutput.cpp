#include "CheckOutput.h"

#include "ShiftJis.h"

#include <QFileDevice>

namespace {

// Large enough that a report with an error on every line costs a write per
// few hundred lines, small enough that the lines reach a pipe in good time.
constexpr std::size_t FlushSize = 1 << 16;

} // namespace

CheckOutput::CheckOutput(QIODevice &device, Encoding encoding)
    : device(device), encoding(encoding)
{
    buffer.reserve(FlushSize + 4096);
}

QByteArray CheckOutput::Encode(const QString &text) const
{
    if (encoding == Encoding::Utf8)
        return text.toUtf8();
    const std::string bytes = ShiftJis::FromTextReplacing(text, "?");
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

void CheckOutput::Append(std::string_view bytes)
{
    if (failed)
        return;
    buffer.append(bytes);
    if (buffer.size() >= FlushSize)
        WriteOut();
}

void CheckOutput::AppendLine(const QString &text)
{
    Append(Encode(text));
    Append(std::string_view("\n"));
}

bool CheckOutput::Flush()
{
    WriteOut();
    // A file opened with Qt's own buffer holds the bytes there until asked.
    if (auto *file = qobject_cast<QFileDevice *>(&device); file && !failed && !file->flush())
        failed = true;
    return !failed;
}

bool CheckOutput::WriteOut()
{
    // A write may take only part of the bytes (a pipe, a signal); what is
    // left is written again, and no progress at all is a failure.
    std::size_t done = 0;
    while (!failed && done < buffer.size()) {
        const qint64 written = device.write(buffer.data() + done, qint64(buffer.size() - done));
        if (written <= 0)
            failed = true;
        else
            done += std::size_t(written);
    }
    buffer.clear();
    return !failed;
}
