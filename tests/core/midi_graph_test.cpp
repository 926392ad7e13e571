// The walk over a MIDI service's graph that tells whether what Velmora sends
// can come back.
#include <gtest/gtest.h>

#include "core/midi_graph.h"

using namespace velmora;

TEST(MidiGraph, AWayBackLeadsThroughPassThroughsAndHardwareIsUnknown) {
    using Node = MidiGraph::Node;
    MidiGraph g;
    // Velmora sends to synth:in and listens to keys:out; filter passes on,
    // recorder keeps, hw (two ports of an interface) is hardware.
    g.ports = {
        {"synth:in", "synth", false},   {"synth:out", "synth", true},   {"keys:out", "keys", true},
        {"filter:in", "filter", false}, {"filter:out", "filter", true}, {"rec:in", "rec", false},
        {"rec:out", "rec", true},       {"hw:in 1", "hw", false},       {"hw:out 1", "hw", true},
        {"usb:out", "usb", true},       {"own:in", "own", false}};
    g.nodes = {{"rec", Node::Sink}, {"hw", Node::Outside}, {"usb", Node::Outside}};
    const std::vector<std::string> keys{"keys:out"};

    // Nothing connected: no way back, also from the input's own client.
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, keys), WayBack::None);
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, {"synth:out"}), WayBack::Possible);
    // The synth's output leads through the filter to... the recorder: none.
    g.connections = {{"synth:out", "filter:in"}, {"filter:out", "rec:in"}, {"rec:out", "keys:in"}};
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, keys), WayBack::None);
    // A second Velmora's input, as own:in, is reached: a way back.
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, {"own:in"}), WayBack::None);
    g.connections.emplace_back("filter:out", "own:in");
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, {"own:in"}), WayBack::Possible);
    // Through the filter back to the keys' client: possible.
    g.ports.push_back({"keys:in", "keys", false});
    g.connections.emplace_back("filter:out", "keys:in");
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, keys), WayBack::Possible);
    // A cycle of pass-throughs that never reaches the input ends the walk.
    g.connections = {{"synth:out", "filter:in"}, {"filter:out", "synth:in"}};
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, keys), WayBack::None);

    // Hardware: out of one interface and in at another, a cable may join
    // them; through pass-throughs to hardware, the same.
    g.connections = {{"synth:out", "hw:in 1"}};
    EXPECT_EQ(FindWayBack(g, {"hw:in 1"}, {"usb:out"}), WayBack::Unknown);
    EXPECT_EQ(FindWayBack(g, {"synth:in"}, {"hw:out 1"}), WayBack::Unknown);
    EXPECT_EQ(FindWayBack(g, {"hw:in 1"}, keys), WayBack::None);
    // A port that is gone (not listed) leads nowhere.
    EXPECT_EQ(FindWayBack(g, {"gone:in"}, keys), WayBack::None);
}
