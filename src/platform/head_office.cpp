// Platform layer: names of the head office link's outcomes on the wire.
#include "platform/head_office.h"

namespace kc {

const char* outcome_name(CentralOutcome outcome) {
    switch (outcome) {
        case CentralOutcome::Refused: return "refused";
        case CentralOutcome::Scheduled: return "scheduled";
        case CentralOutcome::Acknowledged: return "acknowledged";
        case CentralOutcome::Confirmed: return "confirmed";
        case CentralOutcome::Mismatch: return "mismatch";
        case CentralOutcome::NotConfirmed: return "not_confirmed";
        case CentralOutcome::GivenUp: return "given_up";
        case CentralOutcome::Duplicate: return "duplicate";
    }
    return "refused";
}

}  // namespace kc
