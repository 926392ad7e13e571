#include "core/way_back.h"

namespace velmora {

Reach WayBack(const std::vector<GraphPort>& ports, std::size_t into, std::size_t outOf) {
    if (into >= ports.size() || outOf >= ports.size()) {
        return Reach::Unknown;
    }
    // The ports that receive what is sent, breadth first; each visited once,
    // so cycles of pass-through ports end.
    std::vector<bool> seen(ports.size(), false);
    std::vector<std::size_t> reached{into};
    seen[into] = true;
    bool opaque = false;
    for (std::size_t next = 0; next < reached.size(); ++next) {
        const GraphPort& port = ports[reached[next]];
        if (!port.passesThrough) {
            opaque = true; // it may emit anything, on any of its ports
            continue;
        }
        if (reached[next] == outOf) {
            return Reach::Possible;
        }
        for (const std::size_t fed : port.feeds) {
            if (fed < ports.size() && !seen[fed]) {
                seen[fed] = true;
                reached.push_back(fed);
            }
        }
    }
    return opaque ? Reach::Unknown : Reach::None;
}

} // namespace velmora
