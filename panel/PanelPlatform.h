#pragma once

#include <QString>

namespace quorvane {

/// The panel's title, which names the system it runs on.
QString panelTitle();

}  // namespace quorvane
