#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "console/console_app.h"
#include "process/console_output.h"
#include "core/system_error.h"
#include "event_log.h"
#include "start/start_options.h"
#include "wide_text_windows.h"
#include "windows_service.h"

namespace chronvane {
namespace {

std::string narrow(const std::wstring& text) {
    std::string result;
    for (const wchar_t c : text) {
        result += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return result;
}

void say(const std::string& text) {
    writeAll(standardOutput, text + "\n");
}

int refuse(const std::string& text) {
    writeAll(standardError, std::string(executableName) + ": " + text + "\n");
    return 1;
}

// The plain word for what the operator can do something about; the system's own
// text for anything else.
std::string reasonFor(DWORD error) {
    if (error == ERROR_ACCESS_DENIED) {
        return "this needs an elevated prompt: open the Command Prompt with \"Run as "
               "administrator\" and try again";
    }
    return errorText(SystemError{static_cast<int>(error)});
}

// One argument as CommandLineToArgvW and the C runtime read it back: quoted when it
// holds a space, a tab or a quote, backslashes doubled only before a quote.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring result = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(backslashes * 2, L'\\');
    return result + L"\"";
}

std::wstring programPath() {
    std::array<wchar_t, 32768> path{};
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), length < path.size() ? length : 0);
}

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// The Event Log source, with this program as the file its messages come from, so
// that the Event Viewer shows each entry's text.
DWORD registerEventSource(const std::wstring& program) {
    HKEY key = nullptr;
    DWORD error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, eventSourceKey, 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    error = RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                           reinterpret_cast<const BYTE*>(program.c_str()),
                           static_cast<DWORD>((program.size() + 1) * sizeof(wchar_t)));
    if (error == ERROR_SUCCESS) {
        error = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                               reinterpret_cast<const BYTE*>(&types), sizeof types);
    }
    RegCloseKey(key);
    return error;
}

// Restart 5 s after every failure, however often: a show PC has nobody to start
// it again. The last action repeats for every failure after the third.
void setRecovery(SC_HANDLE service) {
    std::array<SC_ACTION, 3> actions{};
    for (SC_ACTION& action : actions) {
        action = {SC_ACTION_RESTART, 5000};
    }
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = static_cast<DWORD>(actions.size());
    failure.lpsaActions = actions.data();
    ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure);
    // Also when it ends with an error status of its own, not only when it crashes.
    SERVICE_FAILURE_ACTIONS_FLAG flag{TRUE};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
    wchar_t description[] =
        L"Sends the time of day once per second out of a serial port to show-control equipment.";
    SERVICE_DESCRIPTIONW text{description};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &text);
}

// Stops the service and waits until it has, up to timeoutMs. True when stopped.
bool stopAndWait(SC_HANDLE service, DWORD timeoutMs) {
    SERVICE_STATUS status{};
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (GetTickCount64() > deadline) {
            return false;
        }
        Sleep(100);
    }
    return true;
}

}  // namespace

int installService(ProgramOptions& options) {
    std::string commandLine = options.commandLine;
    const int port = readStartOptions(commandLine).portNumber;
    const std::wstring name = serviceName(port);
    const std::wstring program = programPath();
    std::wstring command = quoted(program) + L" --service";
    for (const std::string& argument : options.serviceArguments) {
        command += L" " + quoted(wide(argument));
    }

    const ServiceHandle manager(
        OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        return refuse("cannot install the service " + narrow(name) + ": " +
                      reasonFor(GetLastError()));
    }
    const wchar_t* account = L"NT AUTHORITY\\LocalService";
    ServiceHandle service(CreateServiceW(
        manager.get(), name.c_str(), serviceDisplayName(port).c_str(), SERVICE_ALL_ACCESS,
        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command.c_str(),
        nullptr, nullptr, nullptr, account, nullptr));
    bool replaced = false;
    if (!service && GetLastError() == ERROR_SERVICE_EXISTS) {
        // Installed before: take the new options, keep the name.
        service.reset(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
        replaced = service &&
                   ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                        SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                        nullptr, account, L"", serviceDisplayName(port).c_str());
        if (!replaced) {
            return refuse("cannot change the service " + narrow(name) + ": " +
                          reasonFor(GetLastError()));
        }
    }
    if (!service) {
        return refuse("cannot install the service " + narrow(name) + ": " +
                      reasonFor(GetLastError()));
    }
    setRecovery(service.get());
    const DWORD sourceError = registerEventSource(program);

    say(std::string(replaced ? "Changed" : "Installed") + " the service " + narrow(name) + " (\"" +
        narrow(serviceDisplayName(port)) + "\"): it starts at boot as LocalService and runs");
    say("  " + narrow(command));
    // The service manager hands a service its command line only when it starts it:
    // one that runs on keeps the options it started with.
    SERVICE_STATUS status{};
    if (replaced && QueryServiceStatus(service.get(), &status) &&
        status.dwCurrentState != SERVICE_STOPPED) {
        say("It is running with its old options; restart it for the new ones with: net stop " +
            narrow(name) + " && net start " + narrow(name));
    } else {
        say("Start it now with: net start " + narrow(name));
    }
    if (sourceError != ERROR_SUCCESS) {
        say("The Event Log source Chronvane32 could not be registered (" +
            reasonFor(sourceError) + "); the service logs without it.");
    }
    return 0;
}

int uninstallService(const ProgramOptions& options) {
    const bool all = options.uninstallService == "ALL";
    const ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        return refuse("cannot remove a service: " + reasonFor(GetLastError()));
    }
    int removed = 0;
    for (int port = 1; port <= portCount; ++port) {
        if (!all && options.uninstallService != "COM" + std::to_string(port)) {
            continue;
        }
        const std::wstring name = serviceName(port);
        const ServiceHandle service(OpenServiceW(manager.get(), name.c_str(),
                                                 SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
        if (!service) {
            const DWORD error = GetLastError();
            if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
                if (!all) {
                    return refuse("no service " + narrow(name) + " is installed");
                }
                continue;
            }
            return refuse("cannot remove the service " + narrow(name) + ": " + reasonFor(error));
        }
        if (!stopAndWait(service.get(), 10000)) {
            return refuse("cannot stop the service " + narrow(name) + ": " +
                          reasonFor(GetLastError()));
        }
        if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
            return refuse("cannot remove the service " + narrow(name) + ": " +
                          reasonFor(GetLastError()));
        }
        say("Stopped and removed the service " + narrow(name) + ".");
        ++removed;
    }
    if (removed == 0) {
        say("No Chronvane32 service was installed.");
    }
    return 0;
}

}  // namespace chronvane
