// Slider painting, the pointer-to-value rule, keys and wheel.
#include "ui/slider.h"

#include <algorithm>

#include "services/canvas.h"

namespace veltro {

namespace {
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kShadow = 0x808080;
constexpr uint32_t kFace = 0xC0C0C0;
constexpr uint32_t kLight = 0xE0E0E0;
constexpr int kMinThumb = 8;
}  // namespace

Slider::Slider(Window* parent, int x, int y, int width, int height, int id, bool horizontal)
    : Widget(parent, x, y, width, height, id), m_horizontal(horizontal) {}

int Slider::clamp(long long value) const {
    return static_cast<int>(std::clamp<long long>(value, m_minimum, m_maximum));
}

void Slider::setRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    m_value = clamp(m_value);
}

void Slider::setValue(int value) { m_value = clamp(value); }

void Slider::setThumbRatio(double ratio) { m_ratio = std::clamp(ratio, 0.0, 1.0); }

void Slider::paint(Canvas& canvas, int x, int y, int w, int h) {
    canvas.fillRect(x, y, w, h, kLight);
    if (!isEnabled() || m_minimum == m_maximum)
        return;
    canvas.frameRect(x, y, w, h, hasFocus() ? kBlack : kFace);
    long long span = static_cast<long long>(m_maximum) - m_minimum;
    long long offset = static_cast<long long>(m_value) - m_minimum;
    int left = x, top = y, tw = w, th = h;
    if (m_horizontal) {
        tw = std::max(kMinThumb, static_cast<int>(w * m_ratio));
        left = x + static_cast<int>(offset * (w - tw) / span);
    } else {
        th = std::max(kMinThumb, static_cast<int>(h * m_ratio));
        top = y + static_cast<int>(offset * (h - th) / span);
    }
    canvas.fillRect(left + 1, top + 1, tw - 2, th - 2, isHover() ? kLight : kFace);
    canvas.drawLine(left + 1, top + 1, left + tw - 2, top + 1, kWhite);
    canvas.drawLine(left + 1, top + 1, left + 1, top + th - 2, kWhite);
    canvas.drawLine(left + tw - 3, top + 2, left + tw - 3, top + th - 2, kShadow);
    canvas.drawLine(left + 2, top + th - 3, left + tw - 2, top + th - 3, kShadow);
    canvas.drawLine(left + tw - 2, top + 1, left + tw - 2, top + th - 1, kBlack);
    canvas.drawLine(left + 1, top + th - 2, left + tw - 1, top + th - 2, kBlack);
}

void Slider::setFromPointer(int x, int y) {
    int p = m_horizontal ? x : y;
    int length = m_horizontal ? width() : height();
    int thumb = static_cast<int>(length * m_ratio);
    if (length > thumb) {
        long long range = static_cast<long long>(m_maximum) - m_minimum + 1;
        m_value = clamp(m_minimum + (static_cast<long long>(p) - thumb / 2) * range / (length - thumb));
    } else {
        m_value = clamp(m_value);
    }
    m_tracking = true;
    fireCommand();
    refresh();
}

bool Slider::onKey(int code) {
    int step = 0;
    if (code == kKeyLeft || code == kKeyUp)
        step = -1;
    else if (code == kKeyRight || code == kKeyDown)
        step = 1;
    else
        return false;
    if ((step < 0 && m_value > m_minimum) || (step > 0 && m_value < m_maximum)) {
        m_value += step;
        m_tracking = false;
        fireCommand();
    }
    refresh();
    return true;
}

bool Slider::onMouseMove(int x, int y) {
    if (isPressed())
        setFromPointer(x, y);
    return true;
}

bool Slider::onButtonDown(int x, int y) { return onMouseMove(x, y); }

bool Slider::onButtonUp(int, int) {
    m_tracking = false;
    fireCommand();
    refresh();
    return true;
}

void Slider::onEnter(int, int) { refresh(); }
void Slider::onLeave(int, int) { refresh(); }
int Slider::cursor() const { return m_horizontal ? kCursorSizeHorizontal : kCursorSizeVertical; }

bool Slider::onWheel(int steps) {
    m_value = clamp(static_cast<long long>(m_value) - steps);
    m_tracking = true;
    fireCommand();
    refresh();
    return true;
}

}  // namespace veltro
