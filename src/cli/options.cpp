#include "cli/options.h"

#include <algorithm>
#include <charconv>

namespace velmora::cli {

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

Options ParseOptions(std::span<const std::string_view> args,
                     std::initializer_list<std::string_view> valued) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a.starts_with("--")) {
            std::string_view name = a, value;
            bool hasValue = false;
            if (const auto eq = a.find('='); eq != std::string_view::npos) {
                name = a.substr(0, eq);
                value = a.substr(eq + 1);
                hasValue = true;
            }
            if (std::find(valued.begin(), valued.end(), name) == valued.end()) {
                o.error = "unknown option '" + std::string(name) + "'";
                return o;
            }
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    o.error = std::string(name) + " needs a value";
                    return o;
                }
                value = args[++i];
            }
            o.values[std::string(name)] = std::string(value);
        } else {
            o.positional.emplace_back(a);
        }
    }
    return o;
}

} // namespace velmora::cli
