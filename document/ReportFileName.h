#pragma once

#include "ReportDocument.h"

#include <QString>

#include <string>
#include <vector>

// How a report's three header values and its file's name make each other:
// the base name is the values joined, and a file's name is read back into
// them at fixed byte positions. Pure rules, with no file and no state.
class ReportFileName
{
public:
    using Headers = ReportDocument::Headers;
    using HeaderBox = ReportDocument::HeaderBox;

    // A header value that would not come back as it is from the file name
    // a save proposes: it holds a character no file name can hold, or the
    // name reads back as `readBack`.
    struct HeaderDrift
    {
        HeaderBox box;
        bool unfit = false;
        std::string readBack;
    };

    // The values joined, as a save names the file.
    static std::string BaseName(const Headers &headers);
    // The values a base name gives back, as an open reads them.
    static Headers HeadersOf(const std::string &baseName);
    // The values the file at `path` would be opened with.
    static Headers HeadersOfPath(const QString &path);

    // The name a save dialog suggests for `baseName`: with the extension of
    // `currentPath`, or .dat for a report never saved; a base name with a
    // dot of its own keeps it as its extension. Empty without a base name.
    static QString Suggested(const std::string &baseName, const QString &currentPath);
    // The name an export dialog suggests: the base name with .csv.
    static QString SuggestedExport(const std::string &baseName);

    // The values that would not come back from the name a save proposes
    // for them; none when they are all empty (no name is proposed).
    static std::vector<HeaderDrift> Drifts(const Headers &headers);
};
