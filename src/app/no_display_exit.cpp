#include "app/no_display_exit.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace velmora::app {
namespace {

struct Held {
    QtMsgType type;
    QString text;
    std::string file, function, category;
    int line;
};

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

// The sentence for the display the environment names.
const char* NoDisplaySentence(const char* display, const char* waylandDisplay) {
    if (!Set(display) && !Set(waylandDisplay)) {
        return "velmora: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not "
               "set); velmora-cli works without one.\n";
    }
    return "velmora: the display named by DISPLAY or WAYLAND_DISPLAY cannot be reached, so the "
           "window cannot open; velmora-cli works without one.\n";
}

// Main thread only, before any other thread of ours runs.
QtMessageHandler previous = nullptr;
std::vector<Held>* held = nullptr;

void Catch(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(NoDisplaySentence(std::getenv("DISPLAY"), std::getenv("WAYLAND_DISPLAY")),
                   stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    held->push_back({type, text, context.file ? context.file : "",
                     context.function ? context.function : "",
                     context.category ? context.category : "", context.line});
}

} // namespace

NoDisplayExit::NoDisplayExit() {
    held = new std::vector<Held>;
    previous = qInstallMessageHandler(Catch);
}

NoDisplayExit::~NoDisplayExit() {
    qInstallMessageHandler(previous);
    for (const Held& h : *held) {
        const QMessageLogContext context(h.file.c_str(), h.line, h.function.c_str(),
                                         h.category.c_str());
        qt_message_output(h.type, context, h.text);
    }
    delete held;
    held = nullptr;
}

} // namespace velmora::app
