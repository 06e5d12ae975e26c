// ImageButton painting: background snapshot, then the picture of the state.
#include "ui/image_button.h"

#include "services/canvas.h"

namespace veltro {

ImageButton::ImageButton(Window* parent, int x, int y, int width, int height, int id, const std::string& caption)
    : DrawnButton(parent, x, y, width, height, id, caption) {}

ImageButton::~ImageButton() = default;

void ImageButton::setImage(State state, const ImageBuffer* image) {
    m_owned[state].reset();
    m_images[state] = image;
}

void ImageButton::setOwnedImage(State state, ImagePtr image) {
    m_images[state] = image.get();
    m_owned[state] = std::move(image);
}

int ImageButton::ownership() const {
    int bits = 0;
    for (int i = 0; i < 4; ++i)
        if (m_owned[i])
            bits |= 1 << i;
    return bits;
}

void ImageButton::paint(Canvas& canvas, int x, int y, int w, int h) {
    if (!isVisible() || w <= 0 || h <= 0)
        return;
    if (!m_background) {
        Canvas snapshot(w, h);
        snapshot.copyFrom(0, 0, canvas, x, y, w, h);
        m_background = snapshot.toImage();
        if (m_background)
            m_background->hasAlpha = 0;
    }
    if (m_background)
        canvas.drawImage(x, y, w, h, *m_background);
    const ImageBuffer* normal = m_images[Normal];
    if (!normal) {
        DrawnButton::paint(canvas, x, y, w, h);
        return;
    }
    const ImageBuffer* chosen = nullptr;
    if (!isEnabled()) {
        chosen = m_images[Disabled];
    } else if (!isHover()) {
        chosen = normal;
    } else if (isPressed()) {
        chosen = m_images[Pressed];
        if (!chosen) {
            chosen = normal;
            x += 2;
            y += 2;
        }
    } else {
        chosen = m_images[Rollover] ? m_images[Rollover] : normal;
    }
    if (chosen)
        canvas.drawImage(x, y, w, h, *chosen);
}

}  // namespace veltro
