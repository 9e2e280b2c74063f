#include "windows_service.h"

#include <windows.h>

#include <string>

#include "console/console_app.h"
#include "process/console_output.h"
#include "core/system_error.h"
#include "event_log.h"
#include "start/start_options.h"
#include "tick/stop_signals.h"

namespace chronvane {
namespace {

// The service manager calls serviceMain with no way to pass it anything, and one
// process runs one service: what it needs waits here.
struct ServiceRun final : ConsoleObserver {
    ProgramOptions* options = nullptr;
    std::wstring name;
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{};
    EventLogWriter* log = nullptr;
    int exitStatus = 0;

    void report(DWORD state, DWORD waitHintMs = 0) {
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        // Stop is accepted only while running: before that there is no loop to end.
        status.dwControlsAccepted =
            state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
        status.dwWaitHint = waitHintMs;
        status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED
                                  ? 0
                                  : status.dwCheckPoint + 1;
        SetServiceStatus(handle, &status);
    }

    void started(const ClockController& controller) override {
        log->started(controller);
        report(SERVICE_RUNNING);
    }
    void logEntry(const LogEntry& entry) override { log->logEntry(entry); }
    void notice(const std::string& text) override { log->notice(text); }
    void stopping() override {
        log->stopping();
        // The port closes as the loop unwinds, well within this.
        report(SERVICE_STOP_PENDING, 2000);
    }
};

ServiceRun serviceRun;

DWORD WINAPI onServiceControl(DWORD control, DWORD /*type*/, void* /*data*/, void* /*context*/) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN:
            serviceRun.report(SERVICE_STOP_PENDING, 2000);
            StopSignals::requestStop();
            return NO_ERROR;
        case SERVICE_CONTROL_INTERROGATE:
            return NO_ERROR;
        default:
            return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD /*argc*/, wchar_t** /*argv*/) {
    ServiceRun& run = serviceRun;
    run.handle = RegisterServiceCtrlHandlerExW(run.name.c_str(), onServiceControl, nullptr);
    if (run.handle == nullptr) {
        run.exitStatus = 1;
        return;
    }
    run.report(SERVICE_START_PENDING, 3000);
    EventLogWriter log("Service " + std::string(run.name.begin(), run.name.end()));
    run.log = &log;
    run.exitStatus = runConsole(*run.options, &run);
    if (run.exitStatus != 0) {
        log.reportError("ended with status " + std::to_string(run.exitStatus) + ".");
        // A failure, so that the recovery actions (restart after 5 s) apply.
        run.status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        run.status.dwServiceSpecificExitCode = static_cast<DWORD>(run.exitStatus);
    }
    run.report(SERVICE_STOPPED);
}

}  // namespace

std::wstring serviceName(int portNumber) {
    return L"Chronvane32-COM" + std::to_wstring(portNumber);
}

std::wstring serviceDisplayName(int portNumber) {
    return L"Chronvane32 COM" + std::to_wstring(portNumber);
}

int runAsService(ProgramOptions& options) {
    std::string commandLine = options.commandLine;
    serviceRun.name = serviceName(readStartOptions(commandLine).portNumber);
    serviceRun.options = &options;
    // The name is ignored for a service that has its process to itself.
    wchar_t empty[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{empty, serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        writeAll(standardError,
                 std::string(executableName) +
                     (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                          ? ": --service is for the service manager; to run without a window "
                            "here, use --console\n"
                          : ": the service manager did not take the service: " +
                                errorText(SystemError{static_cast<int>(error)}) + "\n"));
        return 1;
    }
    return serviceRun.exitStatus;
}

}  // namespace chronvane
