// SPDX-License-Identifier: MIT
#include "port/manual.h"

namespace lpt {

std::string manualPage(std::string_view page, const std::filesystem::path& programFolder) {
    namespace fs = std::filesystem;
    constexpr std::string_view kDocs = "docs/";
    if (programFolder.empty() || !page.starts_with(kDocs))
        return std::string(page);
    // "linux.md#anchor" becomes "linux.html#anchor".
    std::string html(page.substr(kDocs.size()));
    const auto md = html.find(".md");
    if (md != std::string::npos)
        html.replace(md, 3, ".html");
    std::error_code ec;
    if (fs::exists(programFolder / "docs" / "index.html", ec))
        return "docs\\" + html;
    // lptport lies in PREFIX/bin, the panel's program in PREFIX/libexec/lptpanel
    // (the command lptpanel is a launcher that starts it beside its pictures).
    for (const char* up : {"..", "../.."}) {
        const fs::path installed =
            (programFolder / up / "share" / "doc" / "lptpanel").lexically_normal();
        if (fs::exists(installed / "index.html", ec))
            return (installed / html).string();
    }
    return std::string(page);
}

std::string manualPage(std::string_view page) {
    static const std::filesystem::path folder = programFolder();
    return manualPage(page, folder);
}

} // namespace lpt
