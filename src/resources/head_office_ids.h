// Resources: the panel's lines for the link to head office (hidden until it is set up).
#pragma once

namespace kc {

inline constexpr int kIdHeadOfficeLink = 570;    // connected, or not and why
inline constexpr int kIdHeadOfficeChange = 571;  // the last change that came from it
inline constexpr int kIdHeadOfficeGroup = 572;   // the group box "Centrala" around them

}  // namespace kc
