#pragma once

#include <QStringList>

class QIODevice;

// `qnveltor --check [--sjis] [--notes [--strict]] FILE...`: checks reports
// from the command line, with no window and no display. The lines it writes
// are ReportCheck's; --notes adds the notes, --strict (which implies it)
// counts them as problems.

// Exit statuses: every file clean; a problem in some file; a file that could
// not be read, a wrong command line or output that could not be written
// (this one wins over the others).
inline constexpr int CheckClean = 0;
inline constexpr int CheckProblems = 1;
inline constexpr int CheckFailed = 2;

// True when the program's arguments ask for the check or for its usage
// (--check, --help, -h before any "--") rather than for the window. Looks
// at argv only, so that main() can ask before any application object exists.
bool IsReportCheckCommand(int argc, const char *const *argv);

// Runs the command: `arguments` are those after the program's name. The
// results go to `out`, the usage after a wrong command line to `err`; both
// are written in full before this returns. Returns the exit status.
int RunReportCheck(const QStringList &arguments, QIODevice &out, QIODevice &err);

// The same for main(): the arguments as the system passes them, the output
// to the standard output and error.
int RunReportCheck(int argc, char **argv);
