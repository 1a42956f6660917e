// Platform layer: names of the head office link's outcomes on the wire.
#include "platform/head_office.h"

namespace kc {

const char* outcome_name(CentralOutcome outcome) {
    using namespace central_word;
    switch (outcome) {
        case CentralOutcome::Refused: return kRefused;
        case CentralOutcome::Scheduled: return kScheduled;
        case CentralOutcome::Acknowledged: return kAcknowledged;
        case CentralOutcome::Confirmed: return kConfirmed;
        case CentralOutcome::Mismatch: return kMismatch;
        case CentralOutcome::NotConfirmed: return kNotConfirmed;
        case CentralOutcome::GivenUp: return kGivenUp;
        case CentralOutcome::Duplicate: return kDuplicate;
        case CentralOutcome::Held: return kHeld;
        case CentralOutcome::Superseded: return kSuperseded;
    }
    return kRefused;
}

bool known_central_word(const std::string& word) {
    using namespace central_word;
    for (const char* w : {kRefused, kScheduled, kAcknowledged, kConfirmed, kMismatch, kNotConfirmed, kGivenUp,
                          kDuplicate, kHeld, kSuperseded, kPending})
        if (word == w) return true;
    return false;
}

}  // namespace kc
