// The record window's short list of requests: a menu under the Send request
// button, then the file dialog or the line for hexadecimal bytes.
#pragma once

#include <QPoint>
#include <QWidget>
#include <optional>

#include "sysex/request_sender.h"

namespace velmora::sysex {

// What the user picked, shown at `at` (global coordinates); nothing when
// they cancelled.
std::optional<RequestChoice> AskForRequest(QWidget* parent, QPoint at);

} // namespace velmora::sysex
