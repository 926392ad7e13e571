#include "help/version_names.h"

#include <array>
#include <charconv>

namespace velmora::help {
namespace {

struct NamedVersion {
    FileVersion version;
    const char* name;
};

// Thresholds, newest first: a version gets the name of the first one it
// reaches. 4.74.9273 itself is "1.33"; anything above it is "> 1.33".
constexpr std::array<NamedVersion, 12> kHtmlHelpReleases{{
    {{4, 74, 9273, 0}, "1.33"},
    {{4, 74, 8857, 0}, "1.32"},
    {{4, 74, 8793, 0}, "1.31"},
    {{4, 74, 8702, 0}, "1.3"},
    {{4, 73, 8561, 0}, "1.22"},
    {{4, 73, 8474, 0}, "1.21a"},
    {{4, 73, 8412, 0}, "1.21"},
    {{4, 73, 8252, 0}, "1.2"},
    {{4, 72, 8164, 0}, "1.1b"},
    {{4, 72, 7325, 0}, "1.1a"},
    {{4, 72, 7323, 0}, "1.1"},
    {{4, 72, 7290, 0}, "1.0"},
}};

// shdocvw.dll versions of the browser releases, oldest first.
constexpr std::array<NamedVersion, 27> kBrowserReleases{{
    {{4, 40, 308, 0}, "Internet Explorer 1.0 (Plus!)"},
    {{4, 40, 520, 0}, "Internet Explorer 2.0"},
    {{4, 70, 1155, 0}, "Internet Explorer 3.0"},
    {{4, 70, 1158, 0}, "Internet Explorer 3.0 (OSR2)"},
    {{4, 70, 1215, 0}, "Internet Explorer 3.01"},
    {{4, 70, 1300, 0}, "Internet Explorer 3.02"},
    {{4, 71, 544, 0}, "Internet Explorer 4.0 Platform Preview 1"},
    {{4, 71, 1008, 3}, "Internet Explorer 4.0 Platform Preview 2"},
    {{4, 71, 1712, 6}, "Internet Explorer 4.0"},
    {{4, 72, 2106, 8}, "Internet Explorer 4.01"},
    {{4, 72, 3110, 8}, "Internet Explorer 4.01 SP1"},
    {{4, 72, 3612, 1713}, "Internet Explorer 4.01 SP2"},
    {{5, 0, 518, 10}, "Internet Explorer 5 Developer Preview"},
    {{5, 0, 910, 1309}, "Internet Explorer 5 Beta"},
    {{5, 0, 2014, 216}, "Internet Explorer 5"},
    {{5, 0, 2314, 1003}, "Internet Explorer 5 (Office 2000)"},
    {{5, 0, 2516, 1900}, "Internet Explorer 5.01 (Windows 2000 Beta 3)"},
    {{5, 0, 2614, 3500}, "Internet Explorer 5 (Windows 98 SE)"},
    {{5, 0, 2919, 6307}, "Internet Explorer 5.01"},
    {{5, 0, 3103, 1000}, "Internet Explorer 5.01 SP1"},
    {{5, 0, 3314, 2101}, "Internet Explorer 5.01 SP2"},
    {{5, 50, 4134, 100}, "Internet Explorer 5.5 (Windows Me)"},
    {{5, 50, 4134, 600}, "Internet Explorer 5.5"},
    {{5, 50, 4522, 1800}, "Internet Explorer 5.5 SP1"},
    {{5, 50, 4807, 2300}, "Internet Explorer 5.5 SP2"},
    {{6, 0, 2462, 0}, "Internet Explorer 6 Beta"},
    {{6, 0, 2600, 0}, "Internet Explorer 6 (Windows XP)"},
}};

auto ThreeParts(const FileVersion& v) {
    return std::tie(v.major, v.minor, v.release);
}

} // namespace

std::optional<FileVersion> ParseFileVersion(std::string_view text) {
    std::array<int, 4> parts{};
    std::size_t count = 0;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (count < parts.size()) {
        const auto [next, ec] = std::from_chars(at, end, parts[count]);
        if (ec != std::errc{} || parts[count] < 0) {
            return std::nullopt;
        }
        ++count;
        at = next;
        if (at == end) {
            return FileVersion{parts[0], parts[1], parts[2], parts[3]};
        }
        if (*at != '.') {
            return std::nullopt;
        }
        ++at;
    }
    return std::nullopt; // more than four parts, or a trailing dot
}

std::string VersionText(const FileVersion& v) {
    return std::to_string(v.major) + '.' + std::to_string(v.minor) + '.' +
           std::to_string(v.release) + '.' + std::to_string(v.build);
}

std::string HtmlHelpFriendlyName(const FileVersion& version) {
    const FileVersion& newest = kHtmlHelpReleases.front().version;
    if (ThreeParts(version) > ThreeParts(newest)) {
        return "> " + std::string(kHtmlHelpReleases.front().name);
    }
    for (const NamedVersion& release : kHtmlHelpReleases) {
        if (ThreeParts(version) >= ThreeParts(release.version)) {
            return release.name;
        }
    }
    return "< 1.0";
}

FileVersion NormalizeBrowserControlVersion(FileVersion version) {
    if (version.major == 4 && version.minor <= 70 && version.release == 0) {
        version.release = version.build;
        version.build = 0;
    }
    return version;
}

std::string BrowserControlFriendlyName(const FileVersion& version) {
    if (version.Tied() > kBrowserReleases.back().version.Tied()) {
        return "> Internet Explorer 6";
    }
    const char* name = nullptr;
    for (const NamedVersion& release : kBrowserReleases) {
        if (version.Tied() >= release.version.Tied()) {
            name = release.name;
        }
    }
    return name ? std::string(name) : "< Internet Explorer 1.0 (Plus!)";
}

} // namespace velmora::help
