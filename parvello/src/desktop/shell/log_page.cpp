#include "desktop/shell/log_page.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace parvello::desktop {

// Inline style and script only: the page loads nothing from anywhere. Log lines reach the
// division as text (textContent), never as markup.
const std::string_view LOG_PAGE_HTML = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<style>
  * {{ box-sizing: border-box; }}
  html, body {{
    margin: 0; height: 100%;
    background: #0f172a; color: #e2e8f0;
    font: 12px/1.4 ui-monospace, SFMono-Regular, Menlo, Consolas, monospace;
  }}
  header {{
    display: flex; align-items: center; justify-content: space-between;
    padding: 6px 10px; background: #1e293b; border-bottom: 1px solid #334155;
  }}
  header span {{ font-weight: 600; letter-spacing: 0.02em; }}
  button {{
    background: #334155; color: #f8fafc; border: none; border-radius: 4px;
    padding: 4px 10px; cursor: pointer; font: inherit;
  }}
  button:hover {{ background: #475569; }}
  #log {{
    height: calc(100% - 36px); overflow: auto; padding: 8px 10px; white-space: pre-wrap;
  }}
  .empty {{ color: #64748b; }}
</style>
</head>
<body>
<header><span>{} agent log</span><button id="clear">Clear</button></header>
<div id="log" class="empty">Waiting for agent activity…</div>
<script>
(function () {{
  var log = document.getElementById("log");
  document.getElementById("clear").addEventListener("click", function () {{
    if (window.ipc && window.ipc.postMessage) window.ipc.postMessage("clear");
  }});
  window.__pvoClear = function () {{
    log.textContent = "Waiting for agent activity…";
    log.className = "empty";
  }};
  window.__pvoSetLogs = function (lines) {{
    if (!lines || lines.length === 0) {{ window.__pvoClear(); return; }}
    log.className = "";
    log.textContent = lines.join("\n");
    log.scrollTop = log.scrollHeight;
  }};
}})();
</script>
</body>
</html>
)html";

std::string log_page_html(std::string_view product_name) {
    return fmt::format(fmt::runtime(LOG_PAGE_HTML), product_name);
}

std::string set_logs_script(const std::vector<std::string>& lines) {
    const nlohmann::json array(lines);
    return fmt::format("window.__pvoSetLogs && window.__pvoSetLogs({})",
                       array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

}  // namespace parvello::desktop
