#include <windows.h>

#include "metrics_file.h"

namespace chronvane {

SystemError replaceFile(const std::string& path, const std::string& temporary,
                        const std::string& content) {
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return lastSystemError();
    }
    SystemError error;
    DWORD written = 0;
    if (!WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) ||
        written != content.size()) {
        error = lastSystemError();
    }
    if (!CloseHandle(file) && !error.failed()) {
        error = lastSystemError();
    }
    if (!error.failed() &&
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        error = lastSystemError();
    }
    if (error.failed()) {
        DeleteFileA(temporary.c_str());
    }
    return error;
}

}  // namespace chronvane
