#pragma once

namespace quorvane {

/// Gives the panel's own widgets their roles for assistive technology: the busy indicator is
/// a progress bar, the status line a status bar. Safe to call more than once.
void installPanelAccessibility();

}  // namespace quorvane
