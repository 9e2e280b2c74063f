#include <windows.h>

#include <cstdint>
#include <cstdlib>

#include "clock_state.h"
#include "core/system_error.h"

namespace chronvane {
namespace {

// The Windows Time service's status as its remote protocol (MS-W32T,
// W32TIME_STATUS_INFO) lays it out; w32time.dll, its client, hands it over that
// way. Only the fields up to the last sync's result are read, and only when the
// service says the structure is that long.
struct TimeServiceStatus {
    std::uint32_t size;
    std::uint32_t leapIndicator;
    std::uint32_t stratum;
    std::int32_t pollInterval;
    std::uint32_t referenceId;
    std::uint64_t lastSyncTicks;
    std::int64_t rootDelay;         // 100 ns units
    std::uint64_t rootDispersion;   // 100 ns units
    std::int32_t clockPrecision;
    wchar_t* source;
    std::int64_t sysPhaseOffset;    // 100 ns units
    std::uint32_t currentState;
    std::uint32_t sourceFlags;
    std::uint32_t clockRate;
    std::uint32_t netlogonServiceBits;
    std::uint32_t lastSyncResult;
};

// NTP's leap indicator 3: the server's clock is not synchronised.
constexpr std::uint32_t leapAlarm = 3;
constexpr std::uint32_t leapInsert = 1;
constexpr std::uint32_t leapDelete = 2;

using QueryStatus = DWORD(WINAPI*)(LPCWSTR server, TimeServiceStatus** status);
using BufferFree = void(WINAPI*)(void* buffer);

// GetProcAddress's answer as the function it is; through the generic function
// type, which the compiler accepts as a cast to any other.
template <typename Function>
Function exported(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct TimeServiceClient {
    QueryStatus queryStatus = nullptr;
    BufferFree bufferFree = nullptr;
    std::string unavailable;
};

// Loaded once: from System32 only, so that no DLL of the same name beside the
// program is taken instead. Kept loaded for the life of the program.
const TimeServiceClient& timeServiceClient() {
    static const TimeServiceClient client = [] {
        TimeServiceClient loaded;
        HMODULE module = LoadLibraryExW(L"w32time.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module == nullptr) {
            loaded.unavailable =
                "the Windows Time service cannot be asked: w32time.dll: " +
                errorText(lastSystemError());
            return loaded;
        }
        loaded.queryStatus = exported<QueryStatus>(module, "W32TimeQueryStatus");
        loaded.bufferFree = exported<BufferFree>(module, "W32TimeBufferFree");
        if (loaded.queryStatus == nullptr || loaded.bufferFree == nullptr) {
            loaded.unavailable =
                "the Windows Time service cannot be asked: w32time.dll has no W32TimeQueryStatus";
        }
        return loaded;
    }();
    return client;
}

constexpr std::int64_t hundredNanosPerMicro = 10;

}  // namespace

SystemClockState::SystemClockState() {
    timeServiceClient();
}

ClockState SystemClockState::read() {
    ClockState state;
    const TimeServiceClient& client = timeServiceClient();
    if (!client.unavailable.empty()) {
        state.unknownReason = client.unavailable;
        return state;
    }
    TimeServiceStatus* status = nullptr;
    const DWORD result = client.queryStatus(nullptr, &status);
    if (result != ERROR_SUCCESS || status == nullptr) {
        state.unknownReason =
            "the Windows Time service did not answer: " +
            errorText(SystemError{static_cast<int>(result)});
        return state;
    }
    if (status->size < sizeof(TimeServiceStatus)) {
        state.unknownReason = "the Windows Time service's answer is too short";
        client.bufferFree(status);
        return state;
    }
    // The bound is NTP's distance to the reference, half the round trip plus the
    // dispersion; the estimate the offset the service last measured. Never a
    // successful sync, or the service's own alarm, is no evidence of a good clock.
    state.maxErrorMicros =
        (std::llabs(status->rootDelay) / 2 + static_cast<std::int64_t>(status->rootDispersion)) /
        hundredNanosPerMicro;
    state.estimatedErrorMicros = std::llabs(status->sysPhaseOffset) / hundredNanosPerMicro;
    const bool synchronised = status->lastSyncTicks != 0 && status->leapIndicator != leapAlarm &&
                              state.maxErrorMicros < unsynchronisedBoundMicros;
    state.sync = synchronised ? ClockState::Sync::Synchronised
                              : ClockState::Sync::NotSynchronised;
    if (status->leapIndicator == leapInsert) {
        state.leap = ClockState::Leap::Insert;
    } else if (status->leapIndicator == leapDelete) {
        state.leap = ClockState::Leap::Delete;
    }
    client.bufferFree(status);
    return state;
}

}  // namespace chronvane
