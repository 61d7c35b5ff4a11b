#include "ReportLock.h"

#include "CacheFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

constexpr char Header[] = "qnVelTor lock 1";
// A record is a few lines; anything longer is not one.
constexpr qint64 RecordLimit = 4096;

QByteArray OneLine(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    bytes.replace('\n', ' ').replace('\r', ' ');
    return bytes;
}

// The name the system gives the running process `pid`; empty where it
// does not tell.
QString ProcessName(qint64 pid)
{
#ifdef Q_OS_LINUX
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromUtf8(comm.readAll().trimmed());
#else
    Q_UNUSED(pid);
#endif
    return {};
}

bool ProcessRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
#ifdef Q_OS_UNIX
    // EPERM: it runs, as another user's.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#elif defined(Q_OS_WIN)
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    return true;
#endif
}

QString UserName()
{
#ifdef Q_OS_UNIX
    if (const passwd *entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
        return QString::fromLocal8Bit(entry->pw_name);
#endif
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

std::optional<LockHolder> ReadRecord(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    LockHolder holder;
    if (!ReportLock::Parse(file.read(RecordLimit), holder))
        return std::nullopt;
    return holder;
}

bool IsMine(const LockHolder &holder)
{
    const LockHolder me = ReportLock::Me();
    return holder.host == me.host && holder.pid == me.pid;
}

// Writes this copy's record at `path`, unless a live record of another copy
// is there; true when the record there is this copy's now.
bool WriteRecord(const QString &path)
{
    if (const std::optional<LockHolder> there = ReadRecord(path)) {
        if (IsMine(*there))
            return true;
        if (!ReportLock::IsStale(*there) || !QFile::remove(path))
            return false;
    } else if (QFileInfo::exists(path) && !QFile::remove(path)) {
        // Under this name only this program keeps records: one that cannot
        // be read names nobody.
        return false;
    }
    QFile file(path);
    const QByteArray text = ReportLock::Format(ReportLock::Me());
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    if (file.write(text) != text.size() || !file.flush()) {
        file.close();
        file.remove();
        return false;
    }
    return true;
}

} // namespace

LockHolder ReportLock::Me()
{
    static const LockHolder me = [] {
        LockHolder holder;
        holder.user = UserName();
        holder.host = QSysInfo::machineHostName();
        holder.pid = QCoreApplication::applicationPid();
        holder.program = ProcessName(holder.pid);
        return holder;
    }();
    LockHolder now = me;
    now.openedMs = QDateTime::currentMSecsSinceEpoch();
    return now;
}

bool ReportLock::IsStale(const LockHolder &holder)
{
    if (holder.host != Me().host)
        return false;
    if (!ProcessRunning(holder.pid))
        return true;
    const QString running = ProcessName(holder.pid);
    return !running.isEmpty() && !holder.program.isEmpty() && running != holder.program;
}

QString ReportLock::RecordBeside(const QString &reportPath)
{
    const QFileInfo report(reportPath);
    return report.absoluteDir().filePath(QStringLiteral(".") + report.fileName()
                                         + QStringLiteral(".qnveltor-lock"));
}

QString ReportLock::RecordInCache(const QString &reportPath)
{
    const QString folder = CacheFolder();
    if (folder.isEmpty())
        return {};
    const QByteArray key = QCryptographicHash::hash(QFile::encodeName(QFileInfo(reportPath).absoluteFilePath()),
                                                    QCryptographicHash::Sha256)
                                   .toHex()
                                   .left(32);
    return folder + QStringLiteral("/lock-") + QString::fromLatin1(key) + QStringLiteral(".qnveltor-lock");
}

QByteArray ReportLock::Format(const LockHolder &holder)
{
    return QByteArray(Header) + "\nuser " + OneLine(holder.user) + "\nhost " + OneLine(holder.host) + "\npid "
            + QByteArray::number(holder.pid) + "\nprogram " + OneLine(holder.program) + "\nopened "
            + QByteArray::number(holder.openedMs) + '\n';
}

bool ReportLock::Parse(const QByteArray &text, LockHolder &holder)
{
    QList<QByteArray> lines = text.split('\n');
    if (lines.size() != 7 || !lines.last().isEmpty() || lines[0] != Header)
        return false;
    static const char *const keys[] = {"user ", "host ", "pid ", "program ", "opened "};
    QByteArray values[5];
    for (int i = 0; i < 5; ++i) {
        const QByteArray &line = lines[i + 1];
        if (!line.startsWith(keys[i]))
            return false;
        values[i] = line.mid(qsizetype(qstrlen(keys[i])));
    }
    bool pidOk = false;
    bool openedOk = false;
    holder.user = QString::fromUtf8(values[0]);
    holder.host = QString::fromUtf8(values[1]);
    holder.pid = values[2].toLongLong(&pidOk);
    holder.program = QString::fromUtf8(values[3]);
    holder.openedMs = values[4].toLongLong(&openedOk);
    return pidOk && openedOk && holder.pid > 0;
}

std::optional<LockHolder> ReportLock::OtherHolder(const QString &reportPath)
{
    for (const QString &path : {RecordBeside(reportPath), RecordInCache(reportPath)}) {
        if (path.isEmpty())
            continue;
        const std::optional<LockHolder> holder = ReadRecord(path);
        if (!holder || IsMine(*holder))
            continue;
        if (IsStale(*holder)) {
            QFile::remove(path);
            continue;
        }
        return holder;
    }
    return std::nullopt;
}

void ReportLock::Take(const QString &path)
{
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (!recordPath.isEmpty() && absolute == reportPath)
        return;
    Release();
    if (absolute.isEmpty())
        return;
    reportPath = absolute;
    // A live record of another copy in either place leaves the lock to it.
    if (OtherHolder(absolute))
        return;
    for (const QString &record : {RecordBeside(absolute), RecordInCache(absolute)}) {
        if (!record.isEmpty() && WriteRecord(record)) {
            recordPath = record;
            return;
        }
    }
}

void ReportLock::Release()
{
    if (!recordPath.isEmpty()) {
        const std::optional<LockHolder> there = ReadRecord(recordPath);
        if (there && IsMine(*there))
            QFile::remove(recordPath);
    }
    recordPath.clear();
    reportPath.clear();
}
