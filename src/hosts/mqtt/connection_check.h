// Head office link (MQTT host): "Sprawdź połączenie": one connection with the settings
// typed in the dialog, a subscription to the station's changes, and the first thing
// that went wrong. The running link is not touched: the check has a client id of its
// own and a clean session, and leaves at once.
#pragma once
#include <atomic>

#include "platform/head_office_check.h"

namespace kc::mqtt {

inline constexpr int kCheckTimeoutMs = kHeadOfficeCheckSeconds * 1000;

HeadOfficeCheckResult check_connection(const HeadOfficeCheckRequest& request, const std::atomic<bool>& cancel,
                                       int timeout_ms = kCheckTimeoutMs);

}  // namespace kc::mqtt
