#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace chronvane::test {

// The program under test run as a real process, with its standard output and
// standard error on pipes the test reads line by line. Standard input is /dev/null
// and no descriptor of the test leaks into it. Killed and reaped on destruction if
// it is still running.
class ChildProcess {
  public:
    struct Options {
        // Every timerfd_create of the child fails with EMFILE, as when the process has
        // run out of descriptors (a seccomp filter, set just before exec).
        bool denyTimers = false;
        // Standard output is a pipe already full when the program starts, as when
        // whoever reads it has stopped reading; the test never drains it.
        bool fullOut = false;
        // The same for standard error.
        bool fullErr = false;
        // Descriptors 0, 1 and 2 are all closed when the program starts, as some
        // launchers leave them; nothing can be read from it then.
        bool closedStandard = false;
        // "NAME=value" added to (or replacing in) the inherited environment; a bare
        // "NAME" takes it out.
        std::vector<std::string> environment;
        // Runs as a user who may neither ask for real-time priority nor lock memory:
        // RLIMIT_RTPRIO 0 and RLIMIT_MEMLOCK 64 KiB, and when the test runs as root,
        // user and group 65534 (nobody), which drops every capability; that user
        // then runs a copy of the program from a folder anyone may enter.
        bool unprivileged = false;
        // Keep the real-time lines on standard error.
        bool keepRealTimeNotes = false;
        // Standard output and standard error go to /dev/null, as when a service
        // manager drops them: for runs longer than a pipe holds unread. The streams
        // then read as ended.
        bool discardOutput = false;
    };

    // Throws std::runtime_error when the process cannot be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& args, Options options);
    ChildProcess(const std::string& program, const std::vector<std::string>& args)
        : ChildProcess(program, args, Options{}) {}
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }

    // The next whole line (without its newline) within timeout; nullopt on timeout or
    // when the stream ended first.
    std::optional<std::string> outLine(std::chrono::milliseconds timeout);
    std::optional<std::string> errLine(std::chrono::milliseconds timeout);
    // Everything the stream still delivers until it ends or timeout passes.
    std::string restOfOut(std::chrono::milliseconds timeout);
    std::string restOfErr(std::chrono::milliseconds timeout);

    // Stops reading standard output: the program's next write to it fails (EPIPE).
    void closeOut();
    void signal(int number);
    // Wait status once the process has ended within timeout, else nullopt.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool isRunning();
    // The resources the process used, once wait() has seen it end.
    const rusage& usage() const { return m_usage; }

  private:
    struct Stream {
        int fd = -1;
        std::string pending;
        bool ended = false;
        bool dropRealTimeNotes = false;
    };
    // Reads what arrives within timeout; false when nothing came.
    static bool fill(Stream& stream, std::chrono::steady_clock::time_point deadline);
    static std::optional<std::string> line(Stream& stream, std::chrono::milliseconds timeout);
    static std::string rest(Stream& stream, std::chrono::milliseconds timeout);

    pid_t m_pid = -1;
    std::optional<int> m_status;
    rusage m_usage{};
    Stream m_out;
    Stream m_err;
};

// "exit status 1", "killed by signal 9" or "still running", for failure messages.
std::string describeStatus(std::optional<int> status);

// Empty when path can be opened, locked with flock and nobody holds it in exclusive
// use (TIOCEXCL), as after the program let go of it; else what stands in the way.
std::string deviceProblem(const std::string& path);

// Stops child as a service manager does, with SIGTERM, and checks what the programs
// promise then: they end within timeout with status 0 and leave devicePath (when not
// empty) free. Returns what went wrong, empty when nothing did.
std::string stopWithSigterm(ChildProcess& child, std::chrono::milliseconds timeout,
                            const std::string& devicePath = {});
// The same with another stop signal (SIGINT, SIGHUP), which the programs promise to
// handle alike.
std::string stopWith(ChildProcess& child, int signal, std::chrono::milliseconds timeout,
                     const std::string& devicePath = {});

// The reader path a sender started with --device COM1=virtual announces on its
// standard error; empty when none came within a few seconds.
std::string virtualReaderPath(ChildProcess& sender);

}  // namespace chronvane::test
