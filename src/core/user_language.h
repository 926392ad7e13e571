// The language of the command line's own texts, from the locale settings.
#pragma once

namespace velmora {

enum class Language { English, French };

// French when the first of LC_ALL, LC_MESSAGES and LANG that is set and not
// empty starts with "fr"; English otherwise. Null means unset.
Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

// LanguageOfLocale of this process's environment.
Language UserLanguage();

} // namespace velmora
