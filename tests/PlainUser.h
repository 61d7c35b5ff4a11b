#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>

// The user a test runs a step as when the step must meet the file system's
// rights: tests run as root, who may read and create files anywhere, so
// root's steps run as nobody.
struct PlainUser
{
    PlainUser()
    {
        if (geteuid() != 0) {
            uid = geteuid();
            gid = getegid();
        } else if (const passwd *nobody = getpwnam("nobody")) {
            uid = nobody->pw_uid;
            gid = nobody->pw_gid;
        } else {
            known = false;
        }
    }

    // Runs `job` in a child process as this user; its exit code, or -1.
    template<typename Job>
    int Run(Job job) const
    {
        const pid_t child = fork();
        if (child < 0)
            return -1;
        if (child == 0) {
            if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
                _exit(100);
            _exit(job());
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }

    // Makes `path` this user's own, with `mode`.
    bool Own(const QString &path, mode_t mode) const
    {
        const QByteArray name = QFile::encodeName(path);
        return chown(name.constData(), uid, gid) == 0 && chmod(name.constData(), mode) == 0;
    }

    uid_t uid = 0;
    gid_t gid = 0;
    bool known = true;
};
