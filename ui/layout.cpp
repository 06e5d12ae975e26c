// The dialog.txt reader: a line parser that knows nothing of windows, and the
// loader that turns one section into widgets, labels and pictures.
#include "ui/layout.h"

#include <algorithm>
#include <charconv>
#include <memory>
#include <vector>

#include "image/file_utils.h"
#include "services/canvas.h"
#include "services/font.h"
#include "services/prompts.h"
#include "services/resources.h"
#include "ui/image_button.h"
#include "ui/native_control.h"
#include "ui/slider.h"
#include "ui/window.h"

namespace veltro {

namespace {

constexpr uint32_t kLabelColour = 0x000000;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Reads fields from the rest of a layout line.
class FieldReader {
public:
    explicit FieldReader(std::string_view rest) : m_rest(rest) {}

    bool number(int* value) {
        skipSpace();
        size_t start = 0;
        if (start < m_rest.size() && m_rest[start] == '+')
            ++start;
        auto [end, error] = std::from_chars(m_rest.data() + start, m_rest.data() + m_rest.size(), *value);
        if (error != std::errc() || end == m_rest.data() + start)
            return false;
        if (end != m_rest.data() + m_rest.size() && !isSpace(*end))
            return false;
        m_rest.remove_prefix(static_cast<size_t>(end - m_rest.data()));
        return true;
    }

    bool word(std::string* value) {
        skipSpace();
        size_t end = 0;
        while (end < m_rest.size() && !isSpace(m_rest[end]))
            ++end;
        if (end == 0)
            return false;
        value->assign(m_rest.substr(0, end));
        m_rest.remove_prefix(end);
        return true;
    }

    // The trailing text: to the end of the line, without the white space
    // around it, at most kLayoutTextLimit bytes (never half a character).
    std::string text() {
        skipSpace();
        std::string_view t = m_rest;
        while (!t.empty() && isSpace(t.back()))
            t.remove_suffix(1);
        if (t.size() > kLayoutTextLimit) {
            size_t end = kLayoutTextLimit;
            while (end > 0 && (static_cast<unsigned char>(t[end]) & 0xC0) == 0x80)
                --end;
            t = t.substr(0, end);
        }
        return std::string(t);
    }

private:
    void skipSpace() {
        while (!m_rest.empty() && isSpace(m_rest.front()))
            m_rest.remove_prefix(1);
    }
    std::string_view m_rest;
};

// The file's lines as the reader sees them: CR LF, LF and CR all end a
// line, and a line longer than kLayoutLineLimit comes in pieces.
std::vector<std::string> readLines(const std::string& path, bool* opened) {
    std::vector<std::string> lines;
    std::string content;
    *opened = readFileStart(path, kLayoutMaxFileSize, content);
    if (!*opened)
        return lines;
    size_t at = 0;
    while (at < content.size()) {
        size_t end = content.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = content.size();
        std::string_view line(content.data() + at, end - at);
        do {
            lines.emplace_back(line.substr(0, std::min(line.size(), kLayoutLineLimit)));
            line.remove_prefix(std::min(line.size(), kLayoutLineLimit));
        } while (!line.empty());
        at = end;
        if (at < content.size() && content[at] == '\r') {
            ++at;
            if (at < content.size() && content[at] == '\n')
                ++at;
        } else if (at < content.size()) {
            ++at;
        }
    }
    return lines;
}

int clampSize(int size) { return std::clamp(size, 0, kLayoutMaxSize); }

void applyHeader(Window& window, const LayoutLine& line) {
    int width = std::max(1, clampSize(line.width));
    int height = std::max(1, clampSize(line.height));
    window.resizeClient(width, height);
    window.setTitle(line.text);
    if (Canvas* canvas = window.backBuffer()) {
        canvas->fillButtonFace(0, 0, width, height);
        canvas->selectFont(Font::defaultFont());
    }
}

void addImageButton(Window& window, const LayoutLine& line) {
    const std::string& base = line.text;
    if (base.empty() || base.size() + 5 > kLayoutNameLimit) {
        showMessage(formatText("No image data for ImageButton (%s)", {base}));
        return;
    }
    Resources& res = resources();
    const ImageBuffer* normal = res.image(base + "n.png");
    if (!normal) {
        showMessage(formatText("No image data for ImageButton (%s)", {base}));
        return;
    }
    int width = line.width == 0 ? normal->width : clampSize(line.width);
    int height = line.height == 0 ? normal->height : clampSize(line.height);
    auto* button =
        window.addWidget(std::make_unique<ImageButton>(&window, line.x, line.y, width, height, line.id, base));
    button->setImage(ImageButton::Normal, normal);
    button->setImage(ImageButton::Pressed, res.image(base + "p.png"));
    button->setImage(ImageButton::Rollover, res.image(base + "r.png"));
    button->setImage(ImageButton::Disabled, res.image(base + "d.png"));
}

void drawPicture(Window& window, const LayoutLine& line) {
    const ImageBuffer* image = line.text.empty() ? nullptr : resources().image(line.text);
    if (!image) {
        showMessage(formatText("No image data for Image (%s)", {line.text}));
        return;
    }
    int width = line.width == 0 ? image->width : clampSize(line.width);
    int height = line.height == 0 ? image->height : clampSize(line.height);
    if (Canvas* canvas = window.backBuffer())
        canvas->drawImage(line.x, line.y, width, height, *image);
}

void applyLine(Window& window, const LayoutLine& line) {
    int w = clampSize(line.width);
    int h = clampSize(line.height);
    auto add = [&window](auto widget) { window.addWidget(std::move(widget)); };
    switch (line.kind) {
    case 'B': add(std::make_unique<PushButton>(&window, line.x, line.y, w, h, line.id, line.text)); break;
    case 'C': add(std::make_unique<CheckButton>(&window, line.x, line.y, w, h, line.id, line.text)); break;
    case 'E': add(std::make_unique<EditField>(&window, line.x, line.y, w, h, line.id)); break;
    case 'M': add(std::make_unique<ComboList>(&window, line.x, line.y, w, h, line.id)); break;
    case 'T': add(std::make_unique<ListBox>(&window, line.x, line.y, w, h, line.id)); break;
    case 'S': add(std::make_unique<Slider>(&window, line.x, line.y, w, h, line.id, h < w)); break;
    case 'I': addImageButton(window, line); break;
    case 'P': drawPicture(window, line); break;
    case 'L':
        if (Canvas* canvas = window.backBuffer())
            canvas->drawText(line.x, line.y, w, h, line.text, kLabelColour);
        break;
    default: break;
    }
}

}  // namespace

std::optional<LayoutLine> parseLayoutLine(std::string_view text) {
    if (text.size() < 2 || text[0] != '.')
        return std::nullopt;
    LayoutLine line;
    line.kind = text[1];
    FieldReader fields(text.size() > 3 ? text.substr(3) : std::string_view());
    auto rect = [&] {
        return fields.number(&line.x) && fields.number(&line.y) && fields.number(&line.width) &&
               fields.number(&line.height);
    };
    switch (line.kind) {
    case '.':
        return line;
    case 'D':
        if (!fields.word(&line.name) || !fields.number(&line.width) || !fields.number(&line.height))
            return std::nullopt;
        line.text = fields.text();
        return line;
    case 'B':
    case 'C':
    case 'I':
        if (!fields.number(&line.id) || !rect())
            return std::nullopt;
        line.text = fields.text();
        return line;
    case 'E':
    case 'M':
    case 'T':
    case 'S':
        if (!fields.number(&line.id) || !rect())
            return std::nullopt;
        return line;
    case 'L':
    case 'P':
        if (!rect())
            return std::nullopt;
        line.text = fields.text();
        return line;
    default:
        return std::nullopt;
    }
}

bool loadLayout(Window& window, const std::string& section, const std::string& fileName) {
    Resources& res = resources();
    if (res.directory().empty())
        return false;
    bool opened = false;
    std::vector<std::string> lines = readLines(res.pathOf(fileName.empty() ? "dialog.txt" : fileName), &opened);
    if (!opened)
        return false;
    bool started = false;
    for (const std::string& text : lines) {
        std::optional<LayoutLine> line = parseLayoutLine(text);
        if (!line)
            continue;
        if (!started) {
            if (line->kind == 'D' && line->name == section) {
                applyHeader(window, *line);
                started = true;
            }
            continue;
        }
        if (line->kind == '.')
            return true;
        applyLine(window, *line);
    }
    return true;
}

}  // namespace veltro
