// "Extra inputs": a small window with the service's inputs in a checkable
// list, the ones chosen now checked (a chosen one not listed now is kept,
// marked as not there). The Setup panel's input is not offered: it is
// always monitored.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace velmora::app {

// The inputs the user checked, in the list's order; nothing when cancelled.
std::optional<std::vector<std::string>> AskExtraInputs(QWidget* parent,
                                                       const std::vector<std::string>& listed,
                                                       const std::vector<std::string>& chosen,
                                                       const std::string& mainName);

} // namespace velmora::app
