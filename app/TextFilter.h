#pragma once

#include <QValidator>

class QLineEdit;

// Keeps out of an edit box what a report cannot hold: TAB, CR, LF and 0x1A
// (the file format has no way to carry them), characters code page 932
// lacks (they would be saved as something else), and text beyond the box's
// limit in code page 932 bytes, where a double-byte character takes 2. The
// look-alikes that input methods produce are turned into the characters code
// page 932 holds. Text that was already in the box is left alone, so a cell
// loaded from a file can still be shortened or corrected.
class TextFilter : public QValidator
{
    Q_OBJECT

public:
    // `edit` is not owned; byteLimit 0 sets no limit.
    TextFilter(QLineEdit *edit, int byteLimit);

    State validate(QString &input, int &pos) const override;

    int ByteLimit() const { return byteLimit; }

    // Shown in the status bar when a character is refused.
    static QString RefusedMessage();
    // Shown in the status bar when `count` characters of a paste (or of
    // typing) did not fit within the limit and were left out.
    static QString LeftOutMessage(qsizetype count);

    // For a box whose value becomes part of a file name: characters that no
    // file name can hold are refused too, with a message of their own, and
    // text holding a line break or TAB (lines copied from the grid or a
    // spreadsheet) is refused whole rather than run together.
    void RefuseFileNameCharacters() { fileNameOnly = true; }
    static QString FileNameRefusedMessage();
    static QString LinesRefusedMessage();

signals:
    void refused(const QString &message) const;

private:
    // Cuts what the user's change put into `input` at the last character
    // that fits in `room` bytes.
    State FitChange(QString &input, int &pos, qsizetype room) const;

    QLineEdit *edit; // not owned
    int byteLimit;
    bool fileNameOnly = false;
    // QLineEdit applies a change before it asks the validator, so the text
    // as it was before the change is kept here.
    QString accepted;
};
