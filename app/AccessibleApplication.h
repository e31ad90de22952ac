#pragma once

namespace quorvane {

/// Lists every shown window of the program under the application for assistive technology,
/// the pop-up with the logon panel too (the toolkit leaves pop-ups out), which is a window.
void installApplicationAccessibility();

}  // namespace quorvane
