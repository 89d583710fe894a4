#include "web_pages.h"
#include "web_style_css.h"

WebResponse WebView::Stylesheet() {
    return {200, "text/css; charset=utf-8",
            std::string(reinterpret_cast<const char*>(kWebStyleCss), sizeof kWebStyleCss), ""};
}

WebResponse WebView::Icon() {
    return {200, "image/svg+xml",
            std::string(reinterpret_cast<const char*>(kWebIconSvg), sizeof kWebIconSvg), ""};
}
