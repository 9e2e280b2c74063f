#include "open_failure.h"

#include "open_failure_hints.h"

namespace chronvane {

std::string openFailureReason(SystemError error) {
    std::string reason = errorText(error);
    for (const OpenFailureHint& entry : openFailureHints()) {
        if (entry.code == error.code) {
            reason += " (";
            reason += entry.hint;
            reason += ')';
            break;
        }
    }
    return reason;
}

}  // namespace chronvane
