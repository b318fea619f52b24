#pragma once
// Deployment data: the addresses and credits a packager sets for a release.
// Nothing else in the program names a host.
#include <array>
#include <string_view>

// Host of the web site, ending with "/". The update page and the about box's
// links are built on it.
inline constexpr std::string_view kKelvaneWebHost = "https://kelvane.example/";
inline constexpr std::string_view kKelvaneMail = "mailto:info@kelvane.example";
inline constexpr std::string_view kKelvaneMailShown = "info@kelvane.example";

struct TranslationCredit {
    std::string_view language;
    std::string_view name;
    std::string_view contact;  // shown in parentheses
    std::string_view link;     // opened on double click
};

inline constexpr std::array<TranslationCredit, 2> kTranslationCredits{{
    {"Deutsch", "The Kelvane project", "translations@kelvane.example",
     "mailto:translations@kelvane.example"},
    {"Français", "The Kelvane project", "translations@kelvane.example",
     "mailto:translations@kelvane.example"},
}};
