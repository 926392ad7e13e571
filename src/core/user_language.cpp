#include "core/user_language.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace velmora {

Language LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    for (const char* value : {lcAll, lcMessages, lang}) {
        if (value != nullptr && value[0] != '\0') {
            return std::strncmp(value, "fr", 2) == 0 ? Language::French : Language::English;
        }
    }
    return Language::English;
}

Language UserLanguage() {
    return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

} // namespace velmora
