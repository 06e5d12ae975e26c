#include "publish/page_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "services/settings.h"

namespace veltro {
namespace {

std::string golden(const std::string& name) {
    std::ifstream in(std::string(std::getenv("VELTRO_SOURCE_DIR")) + "/publish/testdata/" + name,
                     std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

PageLook sampleLook() {
    PageLook look;
    look.title = "Spin <b>me</b>";
    look.comment = "Drag along the line";
    look.titleColor = 0x102030;
    look.commentColor = 0x0000FF;
    look.background = "paper.jpg";
    look.width = 320;
    look.height = 240;
    return look;
}

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(PageText, IndexHtmlMatchesTheReferencePage) {
    EXPECT_EQ(indexHtmlText(sampleLook()), golden("index_golden.html"));
}

TEST(PageText, PageWithoutBackgroundHasAPlainBody) {
    PageLook look = sampleLook();
    look.background.clear();
    std::string html = indexHtmlText(look);
    EXPECT_NE(html.find("</HEAD>\n<BODY>\n<DIV"), std::string::npos) << html;
}

TEST(PageText, DataTxtMatchesTheReferenceAndReadsBack) {
    PageSource source{"/clips/spin.mp4", 123456, 1700000000ul};
    std::string text = dataTxtText(sampleLook(), source, localTime(2026, 3, 4, 5, 6, 7));
    EXPECT_EQ(text, golden("data_golden.txt"));
    auto entries = Settings::parse(text);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].value, "Spin <b>me</b>");
    EXPECT_EQ(entries[5].key, "src_mtime");
}

TEST(PageText, LineBreaksInTextsCannotForgeRecordEntries) {
    PageLook look = sampleLook();
    look.title = "Two\nsrc=/etc/passwd";
    std::string text = dataTxtText(look, PageSource{}, localTime(2026, 1, 1, 0, 0, 0));
    auto entries = Settings::parse(text);
    ASSERT_EQ(entries.size(), 3u) << text;
    EXPECT_EQ(entries[0].value, "Two src=/etc/passwd");
    EXPECT_EQ(text.find("src_size"), std::string::npos) << "no source, no src lines";
}

}  // namespace
}  // namespace veltro
