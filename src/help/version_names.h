// Friendly names of the Windows help and browser controls' file versions,
// for the diagnostic log of a program running on Windows: a user's log then
// says which HTML Help and which Internet Explorer release the system has.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <tuple>

namespace velmora::help {

// A file version record: major.minor.release.build.
struct FileVersion {
    int major = 0, minor = 0, release = 0, build = 0;
    auto Tied() const { return std::tie(major, minor, release, build); }
    friend bool operator==(const FileVersion& a, const FileVersion& b) {
        return a.Tied() == b.Tied();
    }
};

// "4.74.9273.0" (missing trailing parts are 0); nothing for anything else.
std::optional<FileVersion> ParseFileVersion(std::string_view text);

// "%d.%d.%d.%d".
std::string VersionText(const FileVersion& version);

// The HTML Help control (hhctrl.ocx): "1.33", "> 1.33", ..., "< 1.0".
// Compares major.minor.release; the build does not count.
std::string HtmlHelpFriendlyName(const FileVersion& version);

// Early browser controls (major 4, minor up to 70) keep their build number in
// the release place with a 0 release; moves it where later ones have it.
FileVersion NormalizeBrowserControlVersion(FileVersion version);

// The browser control (shdocvw.dll), by its normalised version: "Internet
// Explorer 1.0 (Plus!)" up to "Internet Explorer 6 (Windows XP)", with
// "< Internet Explorer 1.0 (Plus!)" and "> Internet Explorer 6" at the ends.
std::string BrowserControlFriendlyName(const FileVersion& version);

} // namespace velmora::help
