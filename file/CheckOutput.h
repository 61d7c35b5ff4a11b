#pragma once

#include <QByteArray>
#include <QString>

#include <string_view>

class QIODevice;

// Lines of text for a terminal, a pipe or a file, in UTF-8 or in Shift-JIS,
// gathered in a buffer and written in large pieces. Every write is checked:
// after the first one that fails nothing more is written, and Flush() and
// Failed() say so.
class CheckOutput
{
public:
    enum class Encoding { Utf8, ShiftJis };

    // `device` is not owned and must be open for writing.
    CheckOutput(QIODevice &device, Encoding encoding);

    // The text in this output's encoding. In Shift-JIS, a character that code
    // page 932 lacks becomes '?'.
    QByteArray Encode(const QString &text) const;

    // The text with its control characters (C0, DEL, C1) written as \n, \t,
    // \r or \xHH and every backslash doubled: a file name holding a line
    // break cannot make one problem look like two, or like another file's.
    static QString Escaped(const QString &text);

    // Bytes already in this output's encoding.
    void Append(std::string_view bytes);
    void Append(const QByteArray &bytes) { Append(std::string_view(bytes.constData(), std::size_t(bytes.size()))); }
    // The text and a line end.
    void AppendLine(const QString &text);

    // Writes what is buffered. False once any write has failed.
    bool Flush();
    bool Failed() const { return failed; }

private:
    bool WriteOut();

    QIODevice &device;
    Encoding encoding;
    std::string buffer;
    bool failed = false;
};
