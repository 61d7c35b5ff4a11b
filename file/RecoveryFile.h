#pragma once

#include "FileIdentity.h"
#include "FormatProblem.h"
#include "ReportLineSplitter.h"
#include "SafeReplace.h"
#include "qnVelTorFile.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A recovery copy: the unsaved report of a running editor, kept in the
// cache folder so that a start after a crash can offer it back. Its bytes:
//
//   qnVelTor unsaved report 1
//   report <the report's absolute path, %-encoded but for '/'; nothing when it has none>
//   identity <exists 0|1> <device> <inode> <size> <modified ns> <changed ns>
//   format <n> then n times: <kind> <count> <first line>  (FormatProblem.h)
//   copied <milliseconds since 1970, UTC>
//   headers <bytes of value 1> <bytes of value 2> <bytes of value 3>
//   lines <line count> <bytes of the lines>
//   <the three header values' bytes, one after another> LF
//   <the lines: 19 cells each, TAB between them, CR LF after each>
//   end <SHA-256, in hex, of every byte before this line>
//
// The identity is the report's file as it was read or last saved, so that
// a restored report's save still asks when the file changed since; the
// format is how a save would write that file otherwise, losses among it. Cells hold any
// byte but TAB, CR, LF and 0x1A, so the lines read back exactly; the
// header values may hold any byte, their counts say where each ends. The
// first line names the format and its version: another version, or any
// count, line or digest that does not add up, makes the file one this
// program does not read.
struct RecoveryFacts
{
    static constexpr int HeaderCount = 3;

    QString reportPath;
    FileIdentity identity;
    std::vector<FormatProblem> format;
    qint64 copiedMs = 0;
    std::array<std::string, HeaderCount> headers;
    std::uint64_t lines = 0;

    bool operator==(const RecoveryFacts &) const = default;
};

// Why a recovery copy gave no report.
enum class RecoveryFailure {
    None,
    CannotOpen, // missing, unreadable, or not a regular file
    Foreign, // not a recovery copy of this program's
    Newer, // one of a later version of the program's, which can read it
    Damaged, // begins as one, but its counts, lines or digest do not add up
    OutOfMemory,
};

// Writes a recovery copy of `facts` and the facts.lines lines `fields`
// gives, as a save writes a report: a new file beside, synced, renamed
// over the old one; readable by the user alone. `keepGoing`, asked now and
// then, stops the write with false (a WriteError), leaving the copy there
// was. RefusedValue when a cell holds TAB, CR, LF or 0x1A.
WriteFailure WriteRecoveryFile(const QString &path, const RecoveryFacts &facts, const RecordFields &fields,
                               const std::function<bool()> &keepGoing = {});

// The facts at the head of a recovery copy, for offering it; its lines are
// not read.
RecoveryFailure ReadRecoveryFacts(const QString &path, RecoveryFacts &facts);

// The whole copy: its facts, then its lines handed to `take` a chunk at a
// time (19 fields a line, viewed in a buffer that lives until `take`
// returns). A failure may come after lines were taken: the caller keeps
// them aside until this returns None.
RecoveryFailure ReadRecoveryFile(const QString &path, RecoveryFacts &facts, const TakeLines &take);
