// The web host's page, script and style, built into the program (tools/prowlnet/web). In the page
// (index.html only), {{TOKEN}} stands for the server's token of this run.
#pragma once

#include <string_view>

namespace prowlnet_cli {

extern const std::string_view kIndexHtml;
extern const std::string_view kAppJs;
extern const std::string_view kStyleCss;
extern const std::string_view kActiveXJs;

}  // namespace prowlnet_cli
