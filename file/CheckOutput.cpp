#include "CheckOutput.h"

#include "ShiftJis.h"

#include <QFileDevice>

#include <algorithm>

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

QString CheckOutput::Escaped(const QString &text)
{
    const auto plain = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= 0x20 && u != u'\\' && (u < 0x7F || u > 0x9F);
    };
    if (std::all_of(text.begin(), text.end(), plain))
        return text;
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'\\':
            escaped += QStringLiteral("\\\\");
            break;
        case u'\n':
            escaped += QStringLiteral("\\n");
            break;
        case u'\t':
            escaped += QStringLiteral("\\t");
            break;
        case u'\r':
            escaped += QStringLiteral("\\r");
            break;
        default:
            if (plain(c))
                escaped += c;
            else
                escaped += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        }
    }
    return escaped;
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
