// Checks the shipped resource set as the program will meet it in build/dist:
// every string key with exactly the placeholders its callers pass, every
// layout section with the ids and geometry its window relies on, every picture
// a layout or the program names present, decodable and at the size it is drawn
// at, and the page templates, help pages and licence beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "image/image_format.h"

namespace veltro {
namespace {

namespace fs = std::filesystem;

fs::path distDir() {
    const char* dir = std::getenv("VELTRO_DIST_DIR");
    return dir ? fs::path(dir) : fs::path("dist");
}
fs::path resDir() { return distDir() / "res"; }

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// ---------------------------------------------------------------- res.txt

// The string table read the way the program reads it: the key up to the first
// white space, the text after the white space that follows, trailing white
// space cut, indented lines ignored, the last line of a key wins.
struct StringTable {
    std::map<std::string, std::string> texts;
    std::map<std::string, int> lineCount;
    size_t longestLine = 0;
};

StringTable loadStringTable() {
    StringTable table;
    for (std::string line : splitLines(readText(resDir() / "res.txt"))) {
        table.longestLine = std::max(table.longestLine, line.size());
        while (!line.empty() && isBlank(line.back())) line.pop_back();
        if (line.empty() || isBlank(line[0])) continue;
        size_t end = 0;
        while (end < line.size() && !isBlank(line[end])) ++end;
        size_t start = end;
        while (start < line.size() && isBlank(line[start])) ++start;
        const std::string key = line.substr(0, end);
        table.texts[key] = line.substr(start);
        ++table.lineCount[key];
    }
    return table;
}

// The printf conversions of a text, in order ("%%" is not one).
std::vector<std::string> conversions(const std::string& text) {
    std::vector<std::string> found;
    static const std::regex conversion("%[-+ #0]*[0-9]*(\\.[0-9]+)?([a-zA-Z%])");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion); it != std::sregex_iterator(); ++it) {
        if ((*it)[2] != "%") found.push_back((*it)[2]);
    }
    // A lone "%" at the end is a broken conversion.
    if (!text.empty() && text.back() == '%' && (text.size() < 2 || text[text.size() - 2] != '%')) {
        found.push_back("?");
    }
    return found;
}

using Conv = std::vector<std::string>;
// Every key the program looks up, with the conversions its callers supply.
const std::vector<std::pair<std::string, Conv>>& requiredKeys() {
    static const std::vector<std::pair<std::string, Conv>> keys = {
        {"e_no_dialog", {"s"}},  {"e_gen_window", {}},   {"e_save_file", {}},   {"e_cant_open", {"s"}},
        {"b_open_another", {}},  {"b_ignore", {}},       {"e_gen_video", {}},   {"nosrcfile", {}},
        {"delete?", {}},         {"b_delete", {}},       {"b_nodelete", {}},    {"e_cant_mv", {"s"}},
        {"e_bad_zipdir", {}},    {"e_set_folder", {}},   {"lowestq", {}},       {"normalq", {}},
        {"highestq", {}},        {"newdoc", {}},         {"saving", {}},        {"diff_sum_h", {}},
        {"e_gen_dm", {}},        {"openimage", {}},      {"loading_image", {}}, {"b_cancel", {}},
        {"e_invalid_dir", {}},   {"create_dir?", {}},    {"b_create", {}},      {"e_cant_mkdir", {"s"}},
        {"quit?", {}},           {"b_quit", {}},         {"b_dontquit", {}},
        {"proc1pos", {}},        {"proc2pos", {}},       {"proc3pos", {}},      {"proc4pos", {}},
        {"proc5pos", {}},        {"proc6pos", {}},       {"proc7pos", {}},
        {"e_no_jar", {}},        {"e_no_viewer_js", {}}, {"e_pub_write", {"s"}}, {"e_pub_stores", {}},
        {"e_pub_build", {"s"}},  {"e_pub_copy", {"s"}},  {"e_pub_swap", {"s"}}, {"e_pub_nodir", {}},
        {"e_zip_write", {}},     {"e_save_settings", {"s"}}, {"e_publish", {"s"}},
        {"e_pub_image", {"s", "s"}}, {"e_pub_limit", {"s"}},
    };
    return keys;
}

TEST(StringTable, EveryKeyIsPresentOnceWithExactlyItsPlaceholders) {
    const StringTable table = loadStringTable();
    for (const auto& [key, expected] : requiredKeys()) {
        SCOPED_TRACE(key);
        auto it = table.texts.find(key);
        ASSERT_NE(it, table.texts.end()) << "missing key";
        EXPECT_FALSE(it->second.empty()) << "empty text";
        EXPECT_EQ(conversions(it->second), expected) << "text: " << it->second;
        // A second line would silently replace the first one.
        EXPECT_EQ(table.lineCount.at(key), 1);
    }
    // Longer lines would be read in pieces, each taken as a line of its own.
    EXPECT_LE(table.longestLine, 2048u);
}

TEST(StringTable, NumbersAreReadableWhereTheProgramParsesThem) {
    const StringTable table = loadStringTable();
    // The starting height of a difference sheet: whole rows of 8-pixel blocks.
    const std::string& h = table.texts.at("diff_sum_h");
    ASSERT_TRUE(!h.empty() && std::all_of(h.begin(), h.end(), ::isdigit)) << h;
    const int height = std::atoi(h.c_str());
    EXPECT_GT(height, 0);
    EXPECT_EQ(height % 8, 0);

    // Each quality entry is the value followed by its label and is read back
    // with atoi, so a label must not extend the number.
    for (const char* key : {"lowestq", "normalq", "highestq"}) {
        for (int value : {0, 75, 100}) {
            const std::string entry = std::to_string(value) + table.texts.at(key);
            EXPECT_EQ(std::atoi(entry.c_str()), value) << key << ": " << entry;
        }
    }
    // A new document's name is formatted into 128 bytes.
    EXPECT_LT(table.texts.at("newdoc").size(), 128u);
}

// ---------------------------------------------------------------- dialog.txt

struct LayoutLine {
    char kind = 0;
    int id = -1;  // widgets only
    int x = 0, y = 0, w = 0, h = 0;
    std::string text;  // caption, image name or label text
    int lineNumber = 0;
};

struct Section {
    std::string name;
    int width = 0, height = 0;
    std::string title;
    std::vector<LayoutLine> lines;
    bool closed = false;
};

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
    int right() const { return x + w; }
    int bottom() const { return y + h; }
    bool intersects(const Rect& o) const {
        return x < o.right() && o.x < right() && y < o.bottom() && o.y < bottom();
    }
    bool inside(int width, int height) const { return x >= 0 && y >= 0 && right() <= width && bottom() <= height; }
};
Rect rectOf(const LayoutLine& l) { return {l.x, l.y, l.w, l.h}; }
std::ostream& operator<<(std::ostream& os, const Rect& r) {
    return os << "(" << r.x << ", " << r.y << ", " << r.w << " x " << r.h << ")";
}

bool isWidget(char kind) { return std::string("BCEMTIS").find(kind) != std::string::npos; }

// Splits off n white-space separated fields; the rest of the line (after the
// white space that follows them) is the trailing text.
std::vector<std::string> fields(const std::string& s, size_t n, std::string* rest) {
    std::vector<std::string> out;
    size_t i = 0;
    while (out.size() < n) {
        while (i < s.size() && isBlank(s[i])) ++i;
        if (i >= s.size()) break;
        size_t j = i;
        while (j < s.size() && !isBlank(s[j])) ++j;
        out.push_back(s.substr(i, j - i));
        i = j;
    }
    while (i < s.size() && isBlank(s[i])) ++i;
    if (rest) *rest = s.substr(std::min(i, s.size()));
    return out;
}

bool allDigits(const std::string& s) {
    size_t start = (!s.empty() && s[0] == '-') ? 1 : 0;
    return s.size() > start && std::all_of(s.begin() + start, s.end(), ::isdigit);
}

struct Layouts {
    std::vector<Section> sections;  // in file order, duplicates kept
    std::vector<std::string> problems;
};

Layouts loadLayouts() {
    Layouts all;
    Section* open = nullptr;
    int number = 0;
    for (const std::string& line : splitLines(readText(resDir() / "dialog.txt"))) {
        ++number;
        auto problem = [&](const std::string& what) {
            all.problems.push_back("dialog.txt:" + std::to_string(number) + ": " + what);
        };
        if (line.size() > 1023) problem("line longer than 1023 characters");
        if (line.empty() || line[0] != '.') continue;
        if (line.size() < 2) {
            problem("a lone \".\"");
            continue;
        }
        if (line[1] == '.') {
            if (!open) problem("\"..\" outside a section");
            else open->closed = true;
            open = nullptr;
            continue;
        }
        if (line.size() < 4 || !isBlank(line[2])) {
            problem("the kind letter must be followed by a separator");
            continue;
        }
        const char kind = line[1];
        const std::string body = line.substr(3);
        std::string rest;
        if (kind == 'D') {
            if (open) problem("section " + open->name + " is not closed with \"..\"");
            auto f = fields(body, 3, &rest);
            if (f.size() < 3 || !allDigits(f[1]) || !allDigits(f[2])) {
                problem("bad section header");
                open = nullptr;
                continue;
            }
            if (f[0].size() > 63) problem("section name longer than 63 characters");
            all.sections.push_back({f[0], std::atoi(f[1].c_str()), std::atoi(f[2].c_str()), rest, {}, false});
            open = &all.sections.back();
            continue;
        }
        if (!open) {
            problem("a layout line outside any section");
            continue;
        }
        LayoutLine l;
        l.kind = kind;
        l.lineNumber = number;
        const bool hasId = isWidget(kind);
        const bool hasText = kind == 'B' || kind == 'C' || kind == 'I' || kind == 'L' || kind == 'P';
        auto f = fields(body, hasId ? 5 : 4, &rest);
        if (std::string("BCEMTISLP").find(kind) == std::string::npos) {
            problem(std::string("unknown kind letter ") + kind);
            continue;
        }
        if (f.size() < (hasId ? 5u : 4u) || !std::all_of(f.begin(), f.end(), allDigits)) {
            problem("bad numbers");
            continue;
        }
        size_t k = 0;
        if (hasId) l.id = std::atoi(f[k++].c_str());
        l.x = std::atoi(f[k++].c_str());
        l.y = std::atoi(f[k++].c_str());
        l.w = std::atoi(f[k++].c_str());
        l.h = std::atoi(f[k++].c_str());
        l.text = rest;
        if (hasText && rest.empty()) problem("missing caption, name or text");
        if (!hasText && !rest.empty()) problem("unexpected text after the numbers");
        if (rest.size() > 511) problem("text longer than 511 characters");
        if (kind == 'I' && rest.size() + 5 > 63) problem("image name longer than 63 characters with its suffix");
        open->lines.push_back(l);
    }
    return all;
}

const Section* findSection(const Layouts& all, const std::string& name) {
    for (const Section& s : all.sections) {
        if (s.name == name) return &s;
    }
    return nullptr;
}

const LayoutLine* widget(const Section& s, int id) {
    for (const LayoutLine& l : s.lines) {
        if (isWidget(l.kind) && l.id == id) return &l;
    }
    return nullptr;
}

ImagePtr loadResourceImage(const std::string& name) {
    registerStandardImageFormats();
    return loadImage((resDir() / name).string());
}

bool isSolid(const ImageBuffer& image) {
    return std::all_of(image.pixels.begin(), image.pixels.end(),
                       [&](uint32_t p) { return p == image.pixels.front(); });
}

const std::vector<std::string> kSections = {"lmwin",     "lmmenuwin", "lmsetting", "lmeditwin",
                                            "lmsavewin", "lmalbumwin", "imagelist"};
const std::vector<std::string> kAppWindows = {"lmmenuwin", "lmeditwin", "lmsavewin", "lmalbumwin"};
constexpr int kStripHeight = 48;

TEST(Layouts, FileIsWellFormedAndHoldsEverySectionOnce) {
    const Layouts all = loadLayouts();
    for (const std::string& p : all.problems) {
        ADD_FAILURE() << p;
    }
    for (const std::string& name : kSections) {
        SCOPED_TRACE(name);
        const auto count = std::count_if(all.sections.begin(), all.sections.end(),
                                         [&](const Section& s) { return s.name == name; });
        // A second section of the same name would never be loaded.
        EXPECT_EQ(count, 1);
        const Section* s = findSection(all, name);
        ASSERT_NE(s, nullptr);
        EXPECT_TRUE(s->closed) << "section without \"..\"";
        EXPECT_GT(s->width, 0);
        EXPECT_GT(s->height, 0);
        EXPECT_FALSE(s->title.empty());
    }
}

TEST(Layouts, EveryNamedPictureDecodesAtTheSizeItIsDrawn) {
    const Layouts all = loadLayouts();
    for (const Section& s : all.sections) {
        for (const LayoutLine& l : s.lines) {
            SCOPED_TRACE(s.name + " line " + std::to_string(l.lineNumber) + " " + l.text);
            std::vector<std::string> names;
            if (l.kind == 'I') {
                for (const char* state : {"n", "p", "r", "d"}) names.push_back(l.text + state + ".png");
            } else if (l.kind == 'P') {
                names.push_back(l.text);
            } else {
                continue;
            }
            std::optional<std::pair<int, int>> firstSize;
            for (const std::string& name : names) {
                ImagePtr image = loadResourceImage(name);
                ASSERT_TRUE(image) << name << " is missing or does not decode";
                if (!firstSize) firstSize = {image->width, image->height};
                // The four states of a button share one size.
                EXPECT_EQ(std::make_pair(image->width, image->height), *firstSize) << name;
                // Pictures are stretched to their rectangle: only a solid
                // colour survives a change of size unharmed.
                if (!isSolid(*image)) {
                    if (l.w != 0) {
                        EXPECT_EQ(image->width, l.w) << name;
                    }
                    if (l.h != 0) {
                        EXPECT_EQ(image->height, l.h) << name;
                    }
                }
            }
        }
    }
}

struct Expected {
    int id;
    std::string kinds;  // acceptable kind letters
};

TEST(Layouts, EveryWindowFindsTheWidgetsItLooksUp) {
    const std::map<std::string, std::vector<Expected>> expected = {
        {"lmwin", {{0, "I"}, {1, "I"}, {2, "I"}, {3, "I"}}},
        {"lmmenuwin", {{4, "IB"}, {5, "IB"}, {6, "IB"}, {7, "IB"}, {8, "IB"}}},
        {"lmsetting", {{0, "E"}, {1, "BI"}, {2, "E"}, {3, "BI"}, {4, "BI"}, {5, "C"}}},
        {"lmeditwin",
         {{5, "IB"}, {6, "IB"}, {7, "IB"}, {8, "IB"}, {9, "IB"}, {10, "IB"}, {11, "IB"}, {12, "IB"},
          {13, "IB"}, {14, "IB"}, {15, "IB"}}},
        {"lmsavewin",
         {{4, "E"}, {5, "E"}, {6, "IB"}, {7, "IB"}, {8, "IB"}, {9, "IB"}, {10, "IB"}, {11, "IBS"},
          {12, "IB"}, {13, "M"}, {14, "M"}, {15, "I"}}},
        {"lmalbumwin",
         {{4, "IB"}, {5, "IB"}, {6, "IB"}, {7, "IB"}, {8, "IB"}, {10, "IB"}, {11, "IB"}, {12, "IB"}}},
        {"imagelist",
         {{0, "E"}, {1, "B"}, {2, "T"}, {3, "B"}, {4, "B"}, {5, "B"}, {6, "B"}, {7, "I"}, {8, "B"}, {9, "B"}}},
    };
    const Layouts all = loadLayouts();
    for (const auto& [name, widgets] : expected) {
        SCOPED_TRACE(name);
        const Section* s = findSection(all, name);
        ASSERT_NE(s, nullptr);
        for (const Expected& e : widgets) {
            const LayoutLine* w = widget(*s, e.id);
            ASSERT_NE(w, nullptr) << "no widget " << e.id;
            EXPECT_NE(e.kinds.find(w->kind), std::string::npos) << "widget " << e.id << " is a ." << w->kind;
        }
    }
}

// The widgets a window ends up with: "lmwin" first for application windows.
std::vector<LayoutLine> windowWidgets(const Layouts& all, const std::string& name) {
    std::vector<LayoutLine> out;
    auto add = [&](const Section* s) {
        for (const LayoutLine& l : s->lines) {
            if (isWidget(l.kind)) out.push_back(l);
        }
    };
    if (std::find(kAppWindows.begin(), kAppWindows.end(), name) != kAppWindows.end()) {
        add(findSection(all, "lmwin"));
    }
    add(findSection(all, name));
    return out;
}

TEST(Layouts, WidgetsStayInsideTheirWindowWithoutOverlapping) {
    const Layouts all = loadLayouts();
    for (const std::string& name : kSections) {
        SCOPED_TRACE(name);
        const Section* s = findSection(all, name);
        ASSERT_NE(s, nullptr);
        for (const LayoutLine& l : s->lines) {
            EXPECT_TRUE(rectOf(l).inside(s->width, s->height)) << "line " << l.lineNumber << " " << rectOf(l);
            // The shipped layouts size every line themselves.
            EXPECT_GT(l.w, 0) << "line " << l.lineNumber;
            EXPECT_GT(l.h, 0) << "line " << l.lineNumber;
        }
        const std::vector<LayoutLine> widgets = windowWidgets(all, name);
        std::set<int> ids;
        for (size_t i = 0; i < widgets.size(); ++i) {
            EXPECT_TRUE(ids.insert(widgets[i].id).second) << "id " << widgets[i].id << " used twice";
            for (size_t j = i + 1; j < widgets.size(); ++j) {
                EXPECT_FALSE(rectOf(widgets[i]).intersects(rectOf(widgets[j])))
                    << "widgets " << widgets[i].id << " and " << widgets[j].id << " overlap";
            }
        }
    }
}

TEST(Layouts, ApplicationWindowsShareOneSizeAndKeepTheStripClear) {
    const Layouts all = loadLayouts();
    const Section* common = findSection(all, "lmwin");
    ASSERT_NE(common, nullptr);
    for (const std::string& name : kAppWindows) {
        SCOPED_TRACE(name);
        const Section* s = findSection(all, name);
        ASSERT_NE(s, nullptr);
        // Each window of the page flow opens over the rectangle of the last.
        EXPECT_EQ(s->width, common->width);
        EXPECT_EQ(s->height, common->height);
        // The strip is for dragging the window: a window's own widgets sit
        // below it.
        for (const LayoutLine& l : s->lines) {
            if (isWidget(l.kind)) {
                EXPECT_GE(l.y, kStripHeight) << "widget " << l.id;
            }
        }
    }
    // The strip buttons: on the strip, and in mini mode (200 x 48) only the
    // restore button is shown over the icon.
    for (const LayoutLine& l : common->lines) {
        ASSERT_TRUE(isWidget(l.kind));
        SCOPED_TRACE("lmwin widget " + std::to_string(l.id));
        EXPECT_LE(rectOf(l).bottom(), kStripHeight);
        const Rect mini{0, 0, 200, kStripHeight};
        if (l.id == 2) {
            EXPECT_TRUE(rectOf(l).inside(200, kStripHeight));
        } else {
            EXPECT_FALSE(rectOf(l).intersects(mini));
        }
    }
    ImagePtr icon = loadResourceImage("icon.png");
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 200);
    EXPECT_EQ(icon->height, kStripHeight);
}

TEST(Layouts, EditWindowFitsPictureSlideBarAndSteps) {
    const Layouts all = loadLayouts();
    const Section* s = findSection(all, "lmeditwin");
    ASSERT_NE(s, nullptr);
    const LayoutLine* w10 = widget(*s, 10);
    const LayoutLine* w14 = widget(*s, 14);
    const LayoutLine* w15 = widget(*s, 15);
    ASSERT_TRUE(w10 && w14 && w15);

    // The slide bar fills the gap between 14 and 15, at their height.
    EXPECT_EQ(w14->y, w15->y);
    EXPECT_EQ(w14->h, w15->h);
    const Rect bar{w14->x + w14->w, w14->y, w15->x - (w14->x + w14->w), w14->h};
    ASSERT_GT(bar.w, 0);
    ImagePtr rail = loadResourceImage("slidebar_rail.png");
    ImagePtr slide = loadResourceImage("slidebar_slide.png");
    ASSERT_TRUE(rail && slide);
    EXPECT_EQ(rail->width, bar.w);
    EXPECT_EQ(rail->height, bar.h);
    const int thumb = std::max(8, static_cast<int>(0.2 * bar.w));
    EXPECT_EQ(slide->width, thumb - 2);
    EXPECT_EQ(slide->height, bar.h - 4);

    // The picture area: from 10 pixels below entry 10 to the top of 14, from
    // the left of 14 to the right of 15. A 320 x 240 clip shows at full size.
    const int top = w10->y + w10->h + 10;
    const Rect picture{w14->x, top, w15->x + w15->w - w14->x, w14->y - top};
    EXPECT_GE(picture.w, 320);
    EXPECT_GE(picture.h, 240);
    for (const LayoutLine& l : windowWidgets(all, "lmeditwin")) {
        EXPECT_FALSE(rectOf(l).intersects(picture)) << "widget " << l.id << " covers the picture area";
    }
    for (const LayoutLine& l : s->lines) {
        if (l.kind == 'L') {
            EXPECT_FALSE(rectOf(l).intersects(picture)) << "a label in the picture area";
        }
    }
    ImagePtr in = loadResourceImage("bin.png");
    ImagePtr out = loadResourceImage("bout.png");
    ASSERT_TRUE(in && out);
    EXPECT_LE(in->width + out->width, picture.w);
    EXPECT_LE(std::max(in->height, out->height), picture.h);

    // The seven steps, where "procNpos" puts them: both states of one size,
    // on the panel, clear of each other, of every widget and of the picture.
    const StringTable table = loadStringTable();
    std::vector<Rect> steps;
    for (int i = 1; i <= 7; ++i) {
        SCOPED_TRACE("step " + std::to_string(i));
        const std::string key = "proc" + std::to_string(i) + "pos";
        int x = 0, y = 0;
        ASSERT_EQ(std::sscanf(table.texts.at(key).c_str(), "%d %d", &x, &y), 2);
        ImagePtr vailed = loadResourceImage("process" + std::to_string(i) + "vailed.png");
        ImagePtr unvailed = loadResourceImage("process" + std::to_string(i) + "unvailed.png");
        ASSERT_TRUE(vailed && unvailed);
        EXPECT_EQ(vailed->width, unvailed->width);
        EXPECT_EQ(vailed->height, unvailed->height);
        const Rect r{x, y, vailed->width, vailed->height};
        EXPECT_TRUE(r.inside(s->width, s->height)) << r;
        EXPECT_GE(r.y, kStripHeight);
        EXPECT_FALSE(r.intersects(picture));
        for (const LayoutLine& l : windowWidgets(all, "lmeditwin")) {
            EXPECT_FALSE(r.intersects(rectOf(l))) << "covers widget " << l.id;
        }
        for (const Rect& other : steps) {
            EXPECT_FALSE(r.intersects(other));
        }
        steps.push_back(r);
    }
}

TEST(Layouts, SaveWindowLeavesRoomForTheBackgroundStripAndPreview) {
    const Layouts all = loadLayouts();
    const Section* s = findSection(all, "lmsavewin");
    ASSERT_NE(s, nullptr);
    const LayoutLine* w10 = widget(*s, 10);
    const LayoutLine* w11 = widget(*s, 11);
    const LayoutLine* w12 = widget(*s, 12);
    const LayoutLine* w15 = widget(*s, 15);
    ASSERT_TRUE(w10 && w11 && w12 && w15);
    // The window puts 12's right edge 280 pixels right of 10's left edge and
    // stretches 11 between them; the layout already says so.
    EXPECT_EQ(w12->x + w12->w, w10->x + 280);
    EXPECT_EQ(w11->x, w10->x + w10->w);
    EXPECT_EQ(w11->x + w11->w, w12->x);
    EXPECT_EQ(w11->y, w10->y);
    EXPECT_EQ(w12->y, w10->y);

    const Rect strip{w10->x, w10->y - 70, 280, 70};
    EXPECT_TRUE(strip.inside(s->width, s->height));
    EXPECT_GE(strip.y, kStripHeight);
    for (const LayoutLine& l : s->lines) {
        if (l.kind == 'L' || isWidget(l.kind)) {
            EXPECT_FALSE(rectOf(l).intersects(strip)) << "line " << l.lineNumber << " covers the strip";
        }
    }
    // The preview shows the title, the clip at half size below y = 50 and the
    // message under it: room for a 640 x 480 clip.
    EXPECT_GE(w15->w, 320);
    EXPECT_GE(w15->h, 50 + 240 + 60);
}

TEST(Layouts, AlbumListHasItsColumnFree) {
    const Layouts all = loadLayouts();
    const Section* s = findSection(all, "lmalbumwin");
    ASSERT_NE(s, nullptr);
    const LayoutLine* up = widget(*s, 8);
    const LayoutLine* down = widget(*s, 10);
    ASSERT_TRUE(up && down);
    // The list runs from x = 70 to the scroll column, over the column's height.
    const Rect list{70, up->y, up->x - 70, down->y + down->h - up->y};
    EXPECT_GE(list.w, 80 + 90 + 200);
    EXPECT_GE(list.h, 60 * 4);
    for (const LayoutLine& l : windowWidgets(all, "lmalbumwin")) {
        EXPECT_FALSE(rectOf(l).intersects(list)) << "widget " << l.id << " covers the page list";
    }
}

// ------------------------------------------------- pictures the program names

TEST(Pictures, EveryPictureTheProgramAsksForByNameDecodes) {
    struct Named {
        std::string name;
        int maxWidth, maxHeight;
    };
    const std::vector<Named> named = {
        {"icon.png", 200, 48},        {"veltrologo.jpg", 640, 480},   {"bmovie.png", 64, 64},
        {"bimage.png", 64, 64},       {"bdm.png", 64, 64},            {"folder.png", 80, 60},
        {"slidebar_slide.png", 640, 64}, {"slidebar_rail.png", 720, 64}, {"bin.png", 120, 60},
        {"bout.png", 120, 60},        {"cdrawpath.png", 32, 32},      {"cfingergrip.png", 32, 32},
    };
    for (const Named& n : named) {
        SCOPED_TRACE(n.name);
        ImagePtr image = loadResourceImage(n.name);
        ASSERT_TRUE(image) << "missing or undecodable";
        EXPECT_GT(image->width, 0);
        EXPECT_LE(image->width, n.maxWidth);
        EXPECT_LE(image->height, n.maxHeight);
    }
    // The splash is a real JPEG, not a renamed PNG.
    const std::string splash = readText(resDir() / "veltrologo.jpg");
    ASSERT_GE(splash.size(), 3u);
    EXPECT_EQ(static_cast<unsigned char>(splash[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(splash[1]), 0xD8);
}

TEST(Pictures, PointerPicturesKeepOnlyWhatACursorCanShow) {
    for (const char* name : {"cdrawpath.png", "cfingergrip.png"}) {
        SCOPED_TRACE(name);
        ImagePtr image = loadResourceImage(name);
        ASSERT_TRUE(image);
        int opaque = 0;
        for (uint32_t p : image->pixels) {
            if (!isSetPixel(p)) continue;
            ++opaque;
            const uint32_t rgb = p & 0xFFFFFF;
            // Black stays black; every other colour turns white, so only the
            // two are drawn on purpose.
            EXPECT_TRUE(rgb == 0 || rgb == 0xFFFFFF) << std::hex << p;
        }
        EXPECT_GT(opaque, 40);
        // The hot spot is the top-left pixel: the pointer's tip must be there.
        EXPECT_TRUE(isSetPixel(image->at(0, 0)) || isSetPixel(image->at(1, 1)));
    }
}

// ------------------------------------------------------ templates, help, licence

TEST(Distribution, TemplatesAreOpaqueTilesTheProgramCanRead) {
    registerStandardImageFormats();
    const fs::path dir = distDir() / "template";
    ASSERT_TRUE(fs::is_directory(dir));
    int tiles = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string path = entry.path().string();
        if (!entry.is_regular_file() || !findImageFormat(path)) continue;
        SCOPED_TRACE(path);
        ImagePtr image = loadImage(path);
        ASSERT_TRUE(image);
        // The thumbnail is 70 pixels on its longer side.
        EXPECT_GE(std::max(image->width, image->height), 70);
        // A page background shows no holes.
        EXPECT_TRUE(std::all_of(image->pixels.begin(), image->pixels.end(), isSetPixel));
        ++tiles;
    }
    EXPECT_GE(tiles, 4);
}

TEST(Distribution, HelpPagesExistAndEveryLocalLinkResolves) {
    const fs::path doc = distDir() / "doc";
    static const std::regex link("(href|src)=\"([^\"#]+)[^\"]*\"", std::regex::icase);
    for (const char* page : {"index.html", "edit.html", "album.html", "save.html"}) {
        SCOPED_TRACE(page);
        const std::string html = readText(doc / page);
        ASSERT_FALSE(html.empty()) << "missing help page";
        for (auto it = std::sregex_iterator(html.begin(), html.end(), link); it != std::sregex_iterator(); ++it) {
            const std::string target = (*it)[2];
            if (target.find(':') != std::string::npos) continue;  // an outside address
            EXPECT_TRUE(fs::exists(doc / target)) << "broken link " << target;
        }
    }
    // The start page leads to the other three.
    const std::string index = readText(doc / "index.html");
    for (const char* page : {"edit.html", "album.html", "save.html"}) {
        EXPECT_NE(index.find(std::string("href=\"") + page), std::string::npos) << page;
    }
}

TEST(Distribution, LicenceNamesTheProject) {
    const std::string licence = readText(distDir() / "license.txt");
    EXPECT_NE(licence.find("VELTRO Lite contributors"), std::string::npos);
    EXPECT_NE(licence.find("Permission is hereby granted"), std::string::npos);
}

}  // namespace
}  // namespace veltro
