#pragma once

#include <QString>

#include <memory>
#include <vector>

class QLockFile;

// Where the recovery copies of unsaved reports are kept (the cache folder),
// and which running copy of the editor holds each: a copy's lock file
// (NAME.lock, Qt's QLockFile) stays locked while the editor that writes the
// copy runs. One whose editor died (a crash, kill -9, a power cut) is
// free, and a start offers it back.
namespace RecoveryFolder {

// A recovery copy with its lock held by this process while this lives.
struct HeldCopy
{
    QString path;
    std::unique_ptr<QLockFile> lock;

    HeldCopy();
    HeldCopy(HeldCopy &&) noexcept;
    HeldCopy &operator=(HeldCopy &&) noexcept;
    ~HeldCopy(); // the lock is given back; the copy stays
};

// A fresh name for this editor's copy, its lock taken; an empty path when
// the cache folder takes no file.
HeldCopy NewCopy();

// The copies no running editor holds, oldest first, each locked so that
// another editor starting meanwhile does not offer it too.
std::vector<HeldCopy> UnheldCopies();

// Moves a copy that cannot be read out of the way (NAME.unreadable), so
// that it is not offered again but stays for the user; the path it has now,
// or empty when it could not be moved (it is then left where it is).
QString SetAside(const QString &path);

} // namespace RecoveryFolder
