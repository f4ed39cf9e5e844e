#pragma once
// The agent's own log page and the scripts that keep it in step with the log buffer.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace parvello::desktop {

// The page with `{}` in its title; see log_page_html.
extern const std::string_view LOG_PAGE_HTML;

// The page with the product name in its title.
std::string log_page_html(std::string_view product_name);

// The script that hands every line, oldest first, to the page as one JSON array of strings.
// A byte sequence that is not UTF-8 is shown as U+FFFD rather than holding back the whole log.
std::string set_logs_script(const std::vector<std::string>& lines);

// The script that empties the page.
inline constexpr std::string_view kClearLogsScript = "window.__pvoClear && window.__pvoClear()";

// Only the exact text "clear" asks the program to empty the log.
inline bool is_clear_request(std::string_view message) { return message == "clear"; }

}  // namespace parvello::desktop
