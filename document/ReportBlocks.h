#pragma once

#include "EditResult.h"
#include "qnVelTorFile.h"

#include <QCoreApplication>
#include <QString>

class ReportDocument;

// Rectangles of cells, as spreadsheets copy and paste them: a block's text
// (TAB between cells, CR LF between lines), a block emptied, and
// spreadsheet text pasted from a cell on, to the right and down, adding
// lines as needed. Each change is one step of the document.
class ReportBlocks
{
    Q_DECLARE_TR_FUNCTIONS(ReportBlocks)

public:
    // Lines and fields, both ends included.
    struct Block
    {
        int top = 0;
        int left = 0;
        int bottom = 0;
        int right = 0;
    };

    // What a paste did, in cells; the block it changed when `changed`.
    struct [[nodiscard]] PasteResult
    {
        int pasted = 0;
        int invalid = 0;
        int refused = 0; // characters code page 932 lacks
        int outside = 0; // right of the last field
        int flattened = 0; // a TAB or line break in the cell became a space
        bool changed = false;
        bool outOfMemory = false;
        bool cancelled = false; // by the progress callback; nothing changed
        Block block;
    };

    // `document` is not owned.
    explicit ReportBlocks(ReportDocument &document) : document(document) {}

    // The block's text. Empty when memory ran out (`outOfMemory` set).
    QString Text(const Block &block, bool *outOfMemory = nullptr) const;
    // Empties the block's cells.
    EditResult Clear(const Block &block);
    // Spreadsheet text from (line, field) on. Quoted cells may hold TABs,
    // line breaks and doubled quotes (DelimitedText.h); a TAB or line break
    // in a cell becomes a space. `progress` hears now and then how many of
    // the text's characters have been read; false from it cancels the paste.
    PasteResult Paste(int line, int field, const QString &text, const ReadProgress &progress = {});

private:
    ReportDocument &document; // not owned
};
