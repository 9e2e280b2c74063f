#include "child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <stdexcept>
#include <thread>

#include "timed_read.h"

extern char** environ;

namespace chronvane::test {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& added : extra) {
            replaced = replaced || added.substr(0, added.find('=')) == name;
        }
        if (!replaced) {
            merged.push_back(text);
        }
    }
    for (const auto& added : extra) {
        if (added.find('=') != std::string::npos) {
            merged.push_back(added);
        }
    }
    return merged;
}

// Installs a filter under which timerfd_create fails with EMFILE and every other
// call is allowed. Inherited across exec. Returns false when the kernel refuses it.
bool denyTimerCreation() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_timerfd_create, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EMFILE & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> out;
    for (auto& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

// Shrinks the pipe to one page and fills it; the descriptor is blocking again after.
bool fillPipe(int writeFd) {
    const int flags = fcntl(writeFd, F_GETFL);
    if (flags < 0 || fcntl(writeFd, F_SETPIPE_SZ, 4096) < 0 ||
        fcntl(writeFd, F_SETFL, flags | O_NONBLOCK) < 0) {
        return false;
    }
    const std::string filler(4096, 'x');
    while (write(writeFd, filler.data(), filler.size()) > 0) {
    }
    const bool full = errno == EAGAIN;
    return fcntl(writeFd, F_SETFL, flags) == 0 && full;
}

// Lowers what any user may lower, and gives up root where the test has it.
bool dropPrivileges() {
    const rlimit noRealTime{0, 0};
    const rlimit littleLocked{64 * 1024, 64 * 1024};
    if (setrlimit(RLIMIT_RTPRIO, &noRealTime) != 0 ||
        setrlimit(RLIMIT_MEMLOCK, &littleLocked) != 0) {
        return false;
    }
    if (geteuid() != 0) {
        return true;
    }
    const gid_t nobody = 65534;
    return setgroups(0, nullptr) == 0 && setgid(nobody) == 0 && setuid(nobody) == 0;
}

// Where a copy of a program lies that any user may run, whatever folder the
// checkout lies in: user 65534 cannot enter root's home (mode 0700) or a folder
// made by mktemp -d, and so could not start the built program there. One folder
// per program for the whole test run, removed at its end.
class ReachableCopies {
  public:
    ~ReachableCopies() {
        for (const auto& [program, copy] : m_copies) {
            std::error_code ignored;
            std::filesystem::remove_all(std::filesystem::path(copy).parent_path(), ignored);
        }
    }
    // The copy's path; throws std::runtime_error when it cannot be made.
    std::string of(const std::string& program) {
        const auto found = m_copies.find(program);
        if (found != m_copies.end()) {
            return found->second;
        }
        std::string folder = (std::filesystem::temp_directory_path() / "chronvane-run-XXXXXX");
        if (mkdtemp(folder.data()) == nullptr || chmod(folder.c_str(), 0755) != 0) {
            throw std::runtime_error("a folder for a copy of " + program + ": " +
                                     std::strerror(errno));
        }
        const std::filesystem::path copy =
            std::filesystem::path(folder) / std::filesystem::path(program).filename();
        std::filesystem::copy_file(program, copy);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_all |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
        return m_copies[program] = copy.string();
    }

  private:
    std::map<std::string, std::string> m_copies;
};

// What the console says about real-time priority, memory locking and timer slack.
bool isRealTimeNote(const std::string& line) {
    for (const char* start : {"chronvane32: running at normal priority",
                              "chronvane32: memory not locked", "chronvane32: timer slack"}) {
        if (line.starts_with(start)) {
            return true;
        }
    }
    return false;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           Options options) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe2: ") + std::strerror(errno));
    }
    if (options.fullOut && !fillPipe(outPipe[1])) {
        throw std::runtime_error(std::string("filling the output pipe: ") + std::strerror(errno));
    }
    if (options.fullErr && !fillPipe(errPipe[1])) {
        throw std::runtime_error(std::string("filling the error pipe: ") + std::strerror(errno));
    }
    // Everything exec needs is prepared before fork: the child only makes system calls.
    // A program that gives up root runs from where the user it becomes can reach.
    static ReachableCopies reachable;
    const std::string executable =
        options.unprivileged && geteuid() == 0 ? reachable.of(program) : program;
    std::vector<std::string> argTexts{executable};
    argTexts.insert(argTexts.end(), args.begin(), args.end());
    std::vector<std::string> envTexts = mergedEnvironment(options.environment);
    std::vector<char*> argv = pointers(argTexts);
    std::vector<char*> envp = pointers(envTexts);

    m_pid = fork();
    if (m_pid < 0) {
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (m_pid == 0) {
        const int nullFd = open("/dev/null", O_RDWR);
        const int outFd = options.discardOutput ? nullFd : outPipe[1];
        const int errFd = options.discardOutput ? nullFd : errPipe[1];
        if (nullFd < 0 || dup2(nullFd, STDIN_FILENO) < 0 || dup2(outFd, STDOUT_FILENO) < 0 ||
            dup2(errFd, STDERR_FILENO) < 0) {
            _exit(126);
        }
        // Only 0, 1 and 2 go across: nothing of the test leaks into the program.
        close_range(options.closedStandard ? 0 : 3, ~0U, 0);
        if (options.unprivileged && !dropPrivileges()) {
            _exit(126);
        }
        if (options.denyTimers && !denyTimerCreation()) {
            _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    m_out.fd = outPipe[0];
    m_err.fd = errPipe[0];
    m_err.dropRealTimeNotes = !options.keepRealTimeNotes;
}

ChildProcess::~ChildProcess() {
    if (!m_status && m_pid > 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    for (const int fd : {m_out.fd, m_err.fd}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool ChildProcess::fill(Stream& stream, SteadyClock::time_point deadline) {
    if (stream.ended) {
        return false;
    }
    const ReadChunk chunk = readOnce(stream.fd, deadline);
    stream.ended = chunk.ended;
    stream.pending.append(chunk.bytes.begin(), chunk.bytes.end());
    return !chunk.bytes.empty();
}

std::optional<std::string> ChildProcess::line(Stream& stream, std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        const auto newline = stream.pending.find('\n');
        if (newline != std::string::npos) {
            std::string text = stream.pending.substr(0, newline);
            stream.pending.erase(0, newline + 1);
            if (stream.dropRealTimeNotes && isRealTimeNote(text)) {
                continue;
            }
            return text;
        }
        if (stream.ended || SteadyClock::now() >= deadline) {
            return std::nullopt;
        }
        fill(stream, deadline);
    }
}

std::string ChildProcess::rest(Stream& stream, std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (!stream.ended && SteadyClock::now() < deadline) {
        fill(stream, deadline);
    }
    std::string text;
    text.swap(stream.pending);
    if (!stream.dropRealTimeNotes) {
        return text;
    }
    std::string kept;
    for (std::size_t start = 0; start < text.size();) {
        const auto end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        if (!isRealTimeNote(line)) {
            kept += text.substr(start, end + 1 - start);
        }
        start = end + 1;
    }
    return kept;
}

std::optional<std::string> ChildProcess::outLine(std::chrono::milliseconds timeout) {
    return line(m_out, timeout);
}
std::optional<std::string> ChildProcess::errLine(std::chrono::milliseconds timeout) {
    return line(m_err, timeout);
}
std::string ChildProcess::restOfOut(std::chrono::milliseconds timeout) {
    return rest(m_out, timeout);
}
std::string ChildProcess::restOfErr(std::chrono::milliseconds timeout) {
    return rest(m_err, timeout);
}

void ChildProcess::closeOut() {
    if (m_out.fd >= 0) {
        close(m_out.fd);
        m_out.fd = -1;
        m_out.ended = true;
    }
}

void ChildProcess::signal(int number) {
    if (!m_status) {
        kill(m_pid, number);
    }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    while (!m_status) {
        int status = 0;
        const pid_t done = wait4(m_pid, &status, WNOHANG, &m_usage);
        if (done == m_pid) {
            m_status = status;
            break;
        }
        if (done < 0 && errno != EINTR) {
            break;
        }
        if (SteadyClock::now() >= deadline) {
            break;
        }
        // Polling for the end of a process, not waiting for the clock.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return m_status;
}

bool ChildProcess::isRunning() {
    return !wait(std::chrono::milliseconds(0));
}

std::string describeStatus(std::optional<int> status) {
    if (!status) {
        return "still running";
    }
    if (WIFSIGNALED(*status)) {
        return "killed by signal " + std::to_string(WTERMSIG(*status));
    }
    return "exit status " + std::to_string(WEXITSTATUS(*status));
}

std::string deviceProblem(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return path + ": " + std::strerror(errno);
    }
    std::string problem;
    int exclusive = 0;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        problem = path + " is still locked (flock: " + std::strerror(errno) + ")";
    } else if (ioctl(fd, TIOCGEXCL, &exclusive) != 0 || exclusive != 0) {
        // Root passes TIOCEXCL by, so the flag is asked for, not tried.
        problem = path + " is still in exclusive use (TIOCEXCL)";
    }
    close(fd);
    return problem;
}

std::string stopWithSigterm(ChildProcess& child, std::chrono::milliseconds timeout,
                            const std::string& devicePath) {
    return stopWith(child, SIGTERM, timeout, devicePath);
}

std::string stopWith(ChildProcess& child, int signal, std::chrono::milliseconds timeout,
                     const std::string& devicePath) {
    child.signal(signal);
    const std::optional<int> status = child.wait(timeout);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        return std::string("after ") + sigabbrev_np(signal) + ": " + describeStatus(status);
    }
    return devicePath.empty() ? std::string() : deviceProblem(devicePath);
}

std::string virtualReaderPath(ChildProcess& sender) {
    const std::regex announced("COM1 is virtual: readers open (/dev/pts/[0-9]+)");
    while (auto line = sender.errLine(std::chrono::seconds(5))) {
        std::smatch match;
        if (std::regex_match(*line, match, announced)) {
            return match[1];
        }
    }
    return {};
}

}  // namespace chronvane::test
