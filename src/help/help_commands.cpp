#include "help/help_commands.h"

namespace velmora::help {
namespace {

const char* CommandText(unsigned command) {
    switch (command) {
    case kHelpContext:
        return "HELP_CONTEXT";
    case kHelpQuit:
        return "HELP_QUIT";
    case kHelpIndex:
        return "HELP_INDEX or HELP_CONTENTS";
    case kHelpHelpOnHelp:
        return "HELP_HELPONHELP";
    case kHelpSetIndex:
        return "HELP_SETINDEX or HELP_SETCONTENTS";
    case kHelpContextPopup:
        return "HELP_CONTEXTPOPUP";
    case kHelpForceFile:
        return "HELP_FORCEFILE";
    case kHelpContextMenu:
        return "HELP_CONTEXTMENU";
    case kHelpFinder:
        return "HELP_FINDER";
    case kHelpWmHelp:
        return "HELP_WM_HELP";
    case kHelpSetPopupPos:
        return "HELP_SETPOPUP_POS";
    case kHelpKey:
        return "HELP_KEY";
    case kHelpCommand:
        return "HELP_COMMAND";
    case kHelpPartialKey:
        return "HELP_PARTIALKEY";
    case kHelpMultiKey:
        return "HELP_MULTIKEY";
    case kHelpSetWinPos:
        return "HELP_SETWINPOS";
    default:
        return "??";
    }
}

HelpHandler& HandlerSlot() {
    static HelpHandler handler;
    return handler;
}

} // namespace

QString HelpCommandName(unsigned command) {
    return QString::fromLatin1(CommandText(command)) + QStringLiteral(" (") +
           QString::number(command) + QLatin1Char(')');
}

QPoint UnpackPopupPosition(std::intptr_t data) {
    const auto bits = static_cast<std::uint32_t>(static_cast<std::uintptr_t>(data));
    const auto x = static_cast<std::int16_t>(bits & 0xFFFFu);
    const auto y = static_cast<std::int16_t>(bits >> 16);
    return {x, y};
}

HelpHandler InstallHelpHandler(HelpHandler handler) {
    HelpHandler previous = std::move(HandlerSlot());
    HandlerSlot() = std::move(handler);
    return previous;
}

const HelpHandler& CurrentHelpHandler() {
    return HandlerSlot();
}

bool RaiseHelpRequest(unsigned command, std::intptr_t data) {
    // A copy: the handler may install another one while it runs.
    const HelpHandler handler = HandlerSlot();
    if (!handler) {
        return true;
    }
    bool callDefault = false;
    handler(command, data, callDefault);
    return callDefault;
}

} // namespace velmora::help
