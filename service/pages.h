#pragma once

#include "service/database.h"

#include <cstdint>
#include <string>

// The HTML pages of the service, in UTF-8.
namespace Pages {

// Address of the advertisement that the detail page tries to open in a new
// window; a client that suppresses pop-ups never requests it.
inline const char* popupPath = "/popup-ad.html";

std::string detailPage(const FileDetails& details);
std::string forumPage();
std::string popupPage();
std::string errorPage(int status, const std::string& message);

std::string htmlEscape(const std::string& text);
// "1.50GB", "12.00KB", "517B": the way the client's list shows sizes.
std::string formatSize(std::int64_t size);

} // namespace Pages
