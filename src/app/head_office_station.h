// Application core: the station's side of head office. It joins a HeadOfficeLink (the
// broker, in the outer ring) to the price batch: a change from head office is queued
// exactly as "Wyślij" queues it, confirmed by the sign and answered; every batch the
// sign confirms, the operator's own included, is published as the station's state.
// The panel shows the link and each change that came through it.
#pragma once
#include <functional>
#include <memory>

#include "platform/head_office.h"
#include "state/state.h"

namespace kc {

// Makes the link a program's settings ask for, or null when they set up none.
using HeadOfficeFactory = std::function<std::unique_ptr<HeadOfficeLink>(Program&)>;

// A change with a time ahead waits here at most this long; further ahead is refused.
inline constexpr int64_t kMaxScheduleAheadSeconds = 7 * 24 * 3600;
inline constexpr size_t kMaxScheduledChanges = 32;

class HeadOfficeStation {
public:
    HeadOfficeStation(Program& p, std::unique_ptr<HeadOfficeLink> link);
    ~HeadOfficeStation();
    HeadOfficeStation(const HeadOfficeStation&) = delete;
    HeadOfficeStation& operator=(const HeadOfficeStation&) = delete;

    // UI thread, once the panel exists: shows the panel's lines and starts the link.
    void start();
    // UI thread: stops the link (status offline) and forgets pending work.
    void stop();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace kc
