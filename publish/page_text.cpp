#include "publish/page_text.h"

#include <cstdio>

namespace veltro {

namespace {

std::string colourHex(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x%02x%02x", (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
    return text;
}

// data.txt holds one key per line, so a line break inside a text would start
// a forged entry; it becomes a blank there (the page itself keeps it).
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

}  // namespace

std::string indexHtmlText(const PageLook& look) {
    std::string html;
    html += "<HTML><HEAD><TITLE>" + look.title + "</TITLE></HEAD>\n";
    html += look.background.empty() ? std::string("<BODY>\n") : "<BODY background=\"" + look.background + "\">\n";
    html += "<DIV align=center>";
    html += "<FONT color=\"#" + colourHex(look.titleColor) + "\" size=6>";
    html += look.title;
    html += "</FONT><BR>\n";
    html += "<!-- start VELTRO -->";
    html += "<APPLET width=" + std::to_string(look.width) + " height=" + std::to_string(look.height) + " ";
    html += "code=\"Veltro.class\" archive=\"veltro.jar\">\n";
    html += "<PARAM NAME=PRELOAD VALUE=TRUE>\n";
    html += "<!-- <PARAM NAME=DIR VALUE=\".\"> -->\n";
    html += "<PARAM NAME=BGCOLOR VALUE=\"FFFFFF\">\n";
    html += "<PARAM NAME=MESSAGE VALUE=\"VELTRO Loading\">\n";
    html += "</APPLET><!-- end VELTRO -->\n";
    html += "<script src=\"veltro.js\"></script>\n";
    html += "<BR><FONT color=\"#" + colourHex(look.commentColor) + "\" size=6>";
    html += look.comment;
    html += "</FONT><BR>\n";
    html += "</DIV>";
    html += "</BODY></HTML>\n";
    return html;
}

std::string dataTxtText(const PageLook& look, const PageSource& source, std::time_t publishedAt) {
    std::tm local{};
    localtime_r(&publishedAt, &local);
    char date[64];
    std::snprintf(date, sizeof date, "date=%04d-%02d-%02d %02d:%02d:%02d\n", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    std::string text = "title=" + oneLine(look.title) + "\n";
    text += "comment=" + oneLine(look.comment) + "\n";
    text += date;
    if (!source.path.empty()) {
        text += "src=" + oneLine(source.path) + "\n";
        text += "src_size=" + std::to_string(source.size) + "\n";
        text += "src_mtime=" + std::to_string(source.mtime) + "\n";
    }
    return text;
}

}  // namespace veltro
