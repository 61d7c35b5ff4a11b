#pragma once

#include "FileIdentity.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

// Why a save did not happen, for the one message the user reads. Unless
// said otherwise below, the file at the path is as it was byte for byte and
// no file was left beside it.
enum class WriteFailure {
    None,
    RefusedValue, // a value holds TAB, CR, LF or 0x1A, which would read back different
    OutOfMemory,
    FolderMissing, // the folder does not exist, or a part of the path is a file
    NotRegularFile, // the path names a folder, a device or a pipe
    NoPermission, // no right to replace the file or to create one in the folder
    ReadOnlyDisk, // the disk is mounted read-only or write-protected
    NameTooLong, // the name or the whole path is longer than the system takes
    DiskFull, // no room, or the user's quota is used up
    NoInodes, // room is left, but the disk can hold no more files
    CannotCreate, // the new file could not be made, for another reason
    WriteError, // the disk failed while the new file was written
    // The disk did not confirm that the data (or the folder's entry for it)
    // is stored. Where the folder lets the old file be kept meanwhile, it
    // is put back; otherwise the file holds the whole new report.
    SyncError,
    RenameError, // the new file could not take the old one's place
    // The folder takes no new file, so the file was overwritten in place
    // after a copy of it was stored; the write failed and the old bytes
    // were put back from the copy.
    InPlaceRestored,
    // The same, but the old bytes could not be put back: the file is
    // damaged, and BackupPath() names the copy of the old file (empty when
    // none could be made and the caller agreed to write without one).
    InPlaceNotRestored,
    // Only an in-place write was possible, no copy of the old file could
    // be stored, and the caller did not agree to write without one.
    InPlaceDeclined,
};

// Writes a file's contents by handing them, in order, to `put`, which
// returns false (with errno telling why, on Unix) when they could not be
// written; returns false then too.
using PutBytes = std::function<bool(const char *bytes, std::size_t size)>;
using FileContents = std::function<bool(const PutBytes &put)>;

struct ReplaceResult
{
    WriteFailure failure = WriteFailure::None;
    // After InPlaceNotRestored: the stored copy of the old file, which is
    // kept.
    QString backupPath;
    // After a success: the file as it is now on the disk.
    FileIdentity written;
};

// Replaces the file at `path` with the `size` bytes `contents` writes, so
// that the file on the disk is always either the old one or the whole new
// one: see qnVelTorFileWriter, which saves reports with it.
ReplaceResult ReplaceFile(const QString &path, qint64 size, const FileContents &contents,
                          const std::function<bool()> &confirmWithoutBackup);

// An in-place save that never ended: the program was killed, or the power
// went, while the file was being overwritten where it stands; and what the
// start did about it. The file is only ever written when it is the very
// one the save wrote, and holds what the save left in it.
struct InterruptedSave
{
    enum class Outcome {
        // The save had left the file part written: the old bytes are back.
        Restored,
        // They could not be put back: the file may be damaged.
        NotRestored,
        // Another program wrote the file after the save had ended its
        // write: left as it is.
        ChangedSince,
        // Whether another program wrote it since could not be told, and
        // the user chose to leave it as it is.
        Kept,
        // The same, but the user chose the old bytes: they are back, and
        // `currentPath` holds what the file held.
        RestoredOnRequest,
        // The user chose the old bytes, but what the file held could not
        // be stored first: left as it is.
        CurrentNotStored,
        // The record does not lead to the file the save wrote (`refusal`
        // says why): nothing was written.
        Refused,
        // The record could not be removed, so the old bytes were not put
        // back: every later start would have put them back again.
        RecordStuck,
    };
    enum class Refusal {
        None,
        UnreadableRecord, // not a record this program makes
        RelativePath,
        Missing, // nothing at the path any more
        Link, // a symbolic link at the path now
        OtherFile, // another file at the path (one renamed over it), or not a regular file
        OtherOwner, // the file is another user's
        CannotOpen,
    };

    QString path;
    Outcome outcome = Outcome::Restored;
    Refusal refusal = Refusal::None;
    // Unless the old bytes are back: the copy of them, kept. Empty when
    // there is none.
    QString backupPath;
    // After RestoredOnRequest: the copy of what the file held before.
    QString currentPath;
    // After RecordStuck: why the record could not be removed.
    WriteFailure recordFailure = WriteFailure::None;
};

// Asked at the start when a file an in-place save left behind has changed
// in a way the save could not have changed it, and whether another program
// wrote it since cannot be told: true puts the old bytes back after what
// the file holds now is stored too. `save` names the file and the copy.
using AskRestore = std::function<bool(const InterruptedSave &save)>;

// Settles every in-place save the program never finished, from the records
// and copies those saves kept; for the program's start. A file the save
// left part written gets its old bytes back; one that holds the new
// contents whole, or was never touched, is left as it is; one changed
// since is left too, its old bytes' copy kept. Only the very file the save
// wrote is written, after its record is removed. Saves under way in
// another running copy of the editor are left alone. Returns what there is
// to tell.
std::vector<InterruptedSave> RecoverInterruptedSaves(const AskRestore &ask = {});
