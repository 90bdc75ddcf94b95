// What a process of the helper's own user can get out of it: started as that user, it
// starts the helper (as the program does, as its parent) and waits for its packet socket,
// or is given the PID of a helper that runs already; then it tries every way of reaching
// the socket or the memory of another process of the same user. One line per attempt on standard
// output, "NAME refused ERRNO" or "NAME got ...". Exit status: 0 when everything was refused, 1
// when anything was got, 2 when the helper could not be started.
//
//   lanvey_helper_inspector HELPER INTERFACE
//   lanvey_helper_inspector --pid PID

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

bool g_got = false;

void Refused(const char* what)
{
    std::printf("%s refused %s\n", what, strerrorname_np(errno) ? strerrorname_np(errno) : "?");
}

void Got(const char* what, const std::string& detail)
{
    std::printf("%s got %s\n", what, detail.c_str());
    g_got = true;
}

// Reads the helper's first line ("ready MAC" once its socket is open), 5 s at most.
std::string FirstLine(int fd)
{
    std::string line;
    for (int waited = 0; waited < 5000 && line.find('\n') == std::string::npos;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) {
            waited += 100;
            continue;
        }
        char buffer[256];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        line.append(buffer, std::size_t(got));
    }
    return line;
}

// Every way in to `helper`, reported on standard output.
void Inspect(pid_t helper)
{
    // Its descriptors, as /proc lists them.
    const std::string fdFolder = "/proc/" + std::to_string(helper) + "/fd";
    if (DIR* folder = opendir(fdFolder.c_str())) {
        int count = 0;
        while (const dirent* entry = readdir(folder))
            count += entry->d_name[0] != '.';
        closedir(folder);
        Got("fd-list", std::to_string(count) + " descriptors");
    } else {
        Refused("fd-list");
    }

    // A copy of each of its descriptors.
    const int pidfd = int(syscall(SYS_pidfd_open, helper, 0));
    if (pidfd < 0) {
        Refused("pidfd-open");
    } else {
        int lastErrno = 0;
        std::string copies;
        for (int fd = 0; fd < 64; ++fd) {
            const int copy = int(syscall(SYS_pidfd_getfd, pidfd, fd, 0));
            if (copy < 0) {
                if (errno != EBADF)
                    lastErrno = errno;
                continue;
            }
            int domain = 0;
            socklen_t size = sizeof domain;
            const bool packet =
                getsockopt(copy, SOL_SOCKET, SO_DOMAIN, &domain, &size) == 0 && domain == AF_PACKET;
            copies += " " + std::to_string(fd) + (packet ? "(packet socket)" : "");
            close(copy);
        }
        if (!copies.empty()) {
            Got("pidfd-getfd", "descriptors" + copies);
        } else {
            errno = lastErrno ? lastErrno : EBADF;
            Refused("pidfd-getfd");
        }
        close(pidfd);
    }

    // Its memory.
    const std::string memPath = "/proc/" + std::to_string(helper) + "/mem";
    if (const int mem = open(memPath.c_str(), O_RDONLY | O_CLOEXEC); mem >= 0) {
        close(mem);
        Got("proc-mem", "opened");
    } else {
        Refused("proc-mem");
    }
    char byte = 0;
    iovec local{&byte, 1};
    // Any address will do: the access check comes before the read, so EFAULT means
    // the read was allowed.
    iovec remote{reinterpret_cast<void*>(&g_got), 1};
    if (syscall(SYS_process_vm_readv, helper, &local, 1, &remote, 1, 0) >= 0 || errno == EFAULT)
        Got("process-vm-readv", "allowed");
    else
        Refused("process-vm-readv");

    // A tracer.
    if (ptrace(PTRACE_SEIZE, helper, nullptr, nullptr) == 0) {
        Got("ptrace", "attached");
        ptrace(PTRACE_DETACH, helper, nullptr, nullptr);
    } else {
        Refused("ptrace");
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--pid") == 0) {
        Inspect(pid_t(std::atoi(argv[2])));
        return g_got ? 1 : 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s HELPER INTERFACE | --pid PID\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    int toHelper[2], fromHelper[2];
    if (pipe2(toHelper, O_CLOEXEC) != 0 || pipe2(fromHelper, O_CLOEXEC) != 0)
        return 2;
    const pid_t helper = fork();
    if (helper == 0) {
        dup2(toHelper[0], STDIN_FILENO);
        dup2(fromHelper[1], STDOUT_FILENO);
        execl(argv[1], argv[1], static_cast<char*>(nullptr));
        _exit(127);
    }
    if (helper < 0)
        return 2;
    close(toHelper[0]);
    close(fromHelper[1]);
    const std::string link = std::string("link ") + argv[2] + "\n";
    [[maybe_unused]] const ssize_t sent = write(toHelper[1], link.data(), link.size());
    const std::string ready = FirstLine(fromHelper[0]);
    if (ready.rfind("ready ", 0) != 0) {
        std::fprintf(stderr, "the helper did not open its socket: %s\n", ready.c_str());
        kill(helper, SIGKILL);
        waitpid(helper, nullptr, 0);
        return 2;
    }

    Inspect(helper);
    close(toHelper[1]);
    waitpid(helper, nullptr, 0);
    return g_got ? 1 : 0;
}
