#pragma once

#include <string>
#include <string_view>

class ReportDocument;

// Finds a word from a cell on, to the left, right, up or down, through
// every field of every line and the empty new-line position after them,
// wrapping at the edges; the cell it starts from comes last. The word must
// start on a character boundary and match byte for byte.
class ReportSearch
{
public:
    enum Direction { Left, Right, Up, Down };

    // `document` is not owned.
    explicit ReportSearch(const ReportDocument &document) : document(document) {}

    // One step of the probe; true when it wrapped at the edge.
    bool StepLeft(int &field) const;
    bool StepRight(int &field) const;
    bool StepUp(int &line) const;
    bool StepDown(int &line) const;
    // Left and right go line by line, up and down field by field.
    void Step(Direction direction, int &line, int &field) const;

    bool CellMatches(int line, int field, std::string_view word) const;

    // Moves (line, field) to the next cell holding the word; false, with
    // them unchanged, when there is none. An empty word is found nowhere.
    bool Find(std::string_view word, Direction direction, int &line, int &field) const;

    // Whether `word` occurs in `cell` starting on a character boundary.
    static bool OccursOnBoundary(std::string_view cell, std::string_view word);

private:
    // Lines searched, the new-line position included.
    int Lines() const;

    const ReportDocument &document; // not owned
};
