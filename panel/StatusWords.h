#pragma once

#include <QString>

#include "ShareHealth.h"

namespace quorvane {

/// An engine workflow's message in the user's language. The engine words each message as the
/// fixed sentence of its case followed by its cause; both are looked up here, sentence by
/// sentence, so that an English desk sees the message unchanged and another desk sees it in its
/// own words. A socket error's name from a tool becomes "The server is not answering.". What
/// is not the engine's own (a server's or a tool's words, names) is kept as it came.
QString statusWords(const QString& message);

/// What the health check found of a share, in a few words of the user's language ("server not
/// answering", "disconnected").
QString conditionWords(ShareCondition condition);

}  // namespace quorvane
