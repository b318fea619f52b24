#pragma once
// The address that "Check for update" opens. The query names the release line
// the server compares against, which is not the version shown in the about box.
#include <string>
#include <string_view>

inline constexpr std::string_view kUpdatePagePath = "pages/c_kelvane.php";
inline constexpr std::string_view kUpdateQuery = "lang=ENG&progvers=2.200";

// host + path + "?" + query, with exactly one "/" between host and path.
std::string UpdatePageAddress(std::string_view host);
// The same on the deployed host.
std::string UpdatePageAddress();
