// DrawnButton painting and input.
#include "ui/drawn_button.h"

#include "services/canvas.h"
#include "services/font.h"

namespace veltro {

namespace {
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kShadow = 0x808080;
constexpr uint32_t kPressedLine = 0x606060;
constexpr uint32_t kFace = 0xC0C0C0;
constexpr uint32_t kHoverFace = 0xE0E0E0;
}  // namespace

DrawnButton::DrawnButton(Window* parent, int x, int y, int width, int height, int id, const std::string& caption)
    : Widget(parent, x, y, width, height, id), m_caption(caption), m_font(Font::defaultFont()) {}

void DrawnButton::paint(Canvas& canvas, int x, int y, int w, int h) {
    bool hover = isHover();
    canvas.fillRect(x, y, w, h, isEnabled() && hover ? kHoverFace : kFace);
    canvas.frameRect(x, y, w, h, hasFocus() ? kBlack : kFace);
    int shift = 0;
    if (isPressed() && hover) {
        canvas.frameRect(x + 1, y + 1, w - 2, h - 2, kPressedLine);
        shift = 1;
    } else {
        canvas.drawLine(x + 1, y + 1, x + w - 2, y + 1, kWhite);
        canvas.drawLine(x + 1, y + 1, x + 1, y + h - 2, kWhite);
        canvas.drawLine(x + w - 3, y + 2, x + w - 3, y + h - 2, kShadow);
        canvas.drawLine(x + 2, y + h - 3, x + w - 2, y + h - 3, kShadow);
        canvas.drawLine(x + w - 2, y + 1, x + w - 2, y + h - 1, kBlack);
        canvas.drawLine(x + 1, y + h - 2, x + w - 1, y + h - 2, kBlack);
    }
    canvas.selectFont(m_font);
    int textWidth = 0, textHeight = 0;
    canvas.textExtent(m_caption, &textWidth, &textHeight);
    int left = x + (w - textWidth) / 2 + shift;
    int top = y + (h - textHeight) / 2 + shift;
    if (isEnabled()) {
        canvas.drawText(left, top, textWidth, textHeight, m_caption, kBlack);
    } else {
        canvas.drawText(left + 1, top + 1, textWidth, textHeight, m_caption, kWhite);
        canvas.drawText(left, top, textWidth, textHeight, m_caption, kShadow);
    }
    if (hasFocus())
        canvas.drawLine(left, top + textHeight, left + textWidth, top + textHeight, kBlack);
}

bool DrawnButton::fire() {
    std::shared_ptr<bool> alive = m_alive;
    fireCommand();
    return *alive;
}

bool DrawnButton::onKey(int code) {
    if (code != kKeySpace && code != kKeyEnter)
        return false;
    if (Window* window = parent(); window && window->backBuffer()) {
        window->backBuffer()->frameRect(x() + 1, y() + 1, width() - 2, height() - 2, kPressedLine);
        window->flushRect(x(), y(), width(), height());
    }
    if (fire())
        refresh();
    return true;
}

bool DrawnButton::onMouseMove(int, int) { return true; }

bool DrawnButton::onButtonDown(int, int) {
    refresh();
    return true;
}

bool DrawnButton::onButtonUp(int, int) {
    refresh();
    if (isHover())
        fire();
    return true;
}

void DrawnButton::onEnter(int, int) { refresh(); }
void DrawnButton::onLeave(int, int) { refresh(); }
int DrawnButton::cursor() const { return kCursorPointer; }
bool DrawnButton::onWheel(int) { return false; }

DrawnButton::~DrawnButton() { *m_alive = false; }

}  // namespace veltro
