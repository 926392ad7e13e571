#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/terminal_text.h"

namespace velmora::cli {
namespace {

constexpr std::pair<std::string_view, std::string_view> kShortForms[] = {
    {"-i", "--in"}, {"-o", "--out"}, {"-a", "--api"}, {"-q", "--quiet"}};

bool Listed(std::initializer_list<std::string_view> list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

} // namespace

std::optional<std::string> Options::Get(std::string_view name) const {
    const auto it = values.find(name);
    if (it == values.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<int> Options::GetInt(std::string_view name, int min, int max) {
    const auto text = Get(name);
    if (!text) {
        return std::nullopt;
    }
    int value = 0;
    const char* end = text->data() + text->size();
    const auto [ptr, ec] = std::from_chars(text->data(), end, value);
    if (ec != std::errc{} || ptr != end || value < min || value > max) {
        if (error.empty()) {
            error = std::string(name) + " wants a whole number from " + std::to_string(min) +
                    " to " + std::to_string(max) + ", not '" + *text + "'";
        }
        return std::nullopt;
    }
    return value;
}

void Options::RefuseArguments() {
    if (error.empty() && !positional.empty()) {
        error = "unexpected argument '" + positional.front() + "'";
    }
}

Options ParseOptions(std::span<const std::string_view> args,
                     std::initializer_list<std::string_view> valued,
                     std::initializer_list<std::string_view> flags) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
            continue;
        }
        if (!a.starts_with("-") || a == "-") {
            o.positional.emplace_back(a);
            continue;
        }
        std::string_view name = a, value;
        bool hasValue = false;
        if (const auto eq = a.find('='); a.starts_with("--") && eq != std::string_view::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        for (const auto& [shortForm, longForm] : kShortForms) {
            if (name == shortForm) {
                name = longForm;
            }
        }
        if (!hasValue && Listed(flags, name)) {
            o.flags.emplace(name);
            continue;
        }
        if (!Listed(valued, name)) {
            o.error = "unknown option '" + std::string(a) + "'";
            return o;
        }
        if (!hasValue) {
            if (i + 1 >= args.size()) {
                o.error = std::string(a) + " needs a value";
                return o;
            }
            value = args[++i];
        }
        if (name == "--api" && value != "" && value != "alsa" && value != "jack" &&
            value != "jack-rtmidi" && value != "demo") {
            o.error = "unknown MIDI service '" + std::string(value) + "' for " + std::string(a) +
                      " (alsa, jack or demo)";
            return o;
        }
        o.values[std::string(name)] = std::string(value);
    }
    return o;
}

int UsageError(const char* command, const std::string& error) {
    std::fprintf(stderr, "velmora-cli %s: %s; see 'velmora-cli %s --help'\n", command,
                 TerminalSafe(error).c_str(), command);
    return 2;
}

} // namespace velmora::cli
