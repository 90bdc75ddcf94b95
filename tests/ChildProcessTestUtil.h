#pragma once

// Runs part of a test in a forked child, for what needs a process of its own: another
// user, or a mount namespace with a small file system. Root only; the callers skip
// otherwise.

#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

// What a forked child wrote back, and how it ended (waitpid's status; -1 without a pipe).
struct ChildOutput {
    QByteArray bytes;
    int status = -1;
};

// Runs `body` in a forked child and hands back the bytes it returned.
inline ChildOutput InChildBytes(const std::function<QByteArray()>& body)
{
    ChildOutput output;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return output;
    fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const QByteArray bytes = body();
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n =
                write(pipeFds[1], bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        _exit(0);
    }
    close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        output.bytes.append(buffer, n);
    close(pipeFds[0]);
    waitpid(child, &output.status, 0);
    return output;
}

// What `body` returned in the child, or a text that says how the child ended otherwise.
inline QString InChild(const std::function<QString()>& body)
{
    const ChildOutput output = InChildBytes([&body] { return body().toUtf8(); });
    if (!WIFEXITED(output.status) || WEXITSTATUS(output.status) != 0)
        return QStringLiteral("(the child ended with status %1)").arg(output.status);
    return QString::fromUtf8(output.bytes);
}

// In the child: the ordinary user "nobody" (65534), with no groups and no capability.
inline bool BecomeNobody()
{
    return setgroups(0, nullptr) == 0 && setresgid(65534, 65534, 65534) == 0 &&
           setresuid(65534, 65534, 65534) == 0;
}

// In the child: a full file system of `bytes` at `folder`, seen by this process alone.
inline bool MountFullDisk(const QString& folder, int bytes = 64 * 1024)
{
    const QByteArray path = folder.toLocal8Bit();
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", path.constData(), "tmpfs", 0, options.constData()) != 0)
        return false;
    FILE* filler = std::fopen((path + "/filler").constData(), "wb");
    if (!filler)
        return false;
    static const char zeros[4096] = {};
    while (std::fwrite(zeros, 1, sizeof zeros, filler) == sizeof zeros) {
    }
    std::fclose(filler);
    return true;
}
