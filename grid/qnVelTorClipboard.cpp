#include "qnVelTorClipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>

namespace {

QString formatName()
{
    return QString::fromLatin1(qnVelTorClipboard::FormatName);
}

} // namespace

std::string qnVelTorClipboard::MakePayload(const std::vector<std::string> &cells)
{
    std::string payload;
    std::size_t size = 2 * CellCount;
    for (unsigned i = 0; i < CellCount && i < cells.size(); ++i)
        size += cells[i].size();
    payload.reserve(size);
    for (unsigned i = 0; i < CellCount; ++i) {
        if (i < cells.size())
            payload += cells[i];
        payload += "\r\n";
    }
    return payload;
}

std::vector<std::string> qnVelTorClipboard::ParsePayload(std::string_view payload)
{
    std::vector<std::string> cells(CellCount);

    // Another program may hand over a block larger than what it wrote,
    // padded with zeros: the text ends at the first NUL.
    const std::size_t nul = payload.find('\0');
    if (nul != std::string_view::npos)
        payload = payload.substr(0, nul);

    unsigned line = 0;
    std::size_t pos = 0;
    while (pos < payload.size() && line < CellCount) {
        std::size_t end = payload.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = payload.size();
        std::string &cell = cells[line++];
        // Safety rule: a cell never holds TAB, CR, LF or 0x1A, because a
        // report file cannot carry them (TAB separates fields, CR LF ends a
        // line, 0x1A ends the file). CR and LF are line breaks here already;
        // TAB and 0x1A from foreign data are dropped.
        for (std::size_t i = pos; i < end; ++i) {
            const char c = payload[i];
            if (c != '\t' && c != '\x1A')
                cell += c;
        }
        pos = end;
        // CR LF is one break, and so is a lone CR or a lone LF. A break at
        // the very end opens no further line: the loop stops at the end.
        if (pos < payload.size()) {
            if (payload[pos] == '\r' && pos + 1 < payload.size() && payload[pos + 1] == '\n')
                pos += 2;
            else
                ++pos;
        }
    }
    return cells;
}

bool qnVelTorClipboard::PutRecord(const std::vector<std::string> &cells) const
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const std::string payload = MakePayload(cells);
    auto *mime = new QMimeData;
    mime->setData(formatName(), QByteArray(payload.data(), qsizetype(payload.size())));
    // The clipboard takes ownership of mime.
    clipboard->setMimeData(mime, QClipboard::Clipboard);
    // setMimeData reports nothing. On X11 the server ignores the ownership
    // request when the timestamp Qt passes is older than the last change of
    // the selection (another client just took it), so ask again.
    return HasRecord();
}

bool qnVelTorClipboard::HasRecord() const
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const QMimeData *mime = clipboard->mimeData(QClipboard::Clipboard);
    return mime && mime->hasFormat(formatName());
}

bool qnVelTorClipboard::GetRecord(std::vector<std::string> &cells) const
{
    const QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    const QMimeData *mime = clipboard->mimeData(QClipboard::Clipboard);
    if (!mime || !mime->hasFormat(formatName()))
        return false;
    const QByteArray bytes = mime->data(formatName());
    // A line written by PutRecord is never empty (20 CR LF at least); on X11
    // an empty answer is what a failed or timed-out transfer looks like.
    if (bytes.isEmpty())
        return false;
    cells = ParsePayload(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    return true;
}
