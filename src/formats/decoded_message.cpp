#include "decoded_message.h"

#include <algorithm>

namespace chronvane {

std::string_view faultText(Fault fault) {
    switch (fault) {
        case Fault::badChecksum:
            return "bad checksum";
        case Fault::unknownVariable:
            return "unknown variable";
        case Fault::valueOutOfRange:
            return "value out of range";
        case Fault::packetMissing:
            return "packet missing";
        case Fault::cutShort:
            return "message cut short";
        case Fault::secondSkipped:
            return "second skipped";
        case Fault::secondRepeated:
            return "second repeated";
        case Fault::strayBytes:
            return "stray bytes";
        case Fault::late:
            return "late";
        case Fault::early:
            return "early";
        case Fault::wrongTime:
            return "wrong time";
        case Fault::parityError:
            return "parity error";
        case Fault::framingError:
            return "framing error";
        case Fault::claimsSyncUnsynced:
            return "claims a synchronised clock while this one is not";
    }
    return "unknown fault";
}

bool DecodedMessage::has(Fault fault) const {
    return std::find(faults.begin(), faults.end(), fault) != faults.end();
}

void DecodedMessage::add(Fault fault) {
    if (!has(fault)) {
        faults.push_back(fault);
    }
}

}  // namespace chronvane
