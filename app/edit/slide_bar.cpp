// Slide bar painting from the rail and slide pictures.
#include "app/edit/slide_bar.h"

#include <algorithm>

#include "services/canvas.h"
#include "services/resources.h"

namespace veltro {

namespace {
constexpr double kThumbRatio = 0.2;
constexpr int kMinThumbWidth = 8;
}  // namespace

SlideBar::SlideBar(Window* parent, int x, int y, int width, int height, int id)
    : Slider(parent, x, y, width, height, id, true) {
    setThumbRatio(kThumbRatio);
}

int SlideBar::thumbWidth() const { return std::max(kMinThumbWidth, static_cast<int>(kThumbRatio * width())); }

int SlideBar::thumbOffset() const {
    const long long span = static_cast<long long>(maximum()) - minimum();
    if (span <= 0)
        return 1;
    return 1 + static_cast<int>((static_cast<long long>(value()) - minimum()) * (width() - thumbWidth()) / span);
}

void SlideBar::paint(Canvas& canvas, int x, int y, int width, int height) {
    Resources& res = resources();
    const ImageBuffer* rail = res.image("slidebar_rail.png");
    const ImageBuffer* slide = res.image("slidebar_slide.png");
    if (rail == nullptr || slide == nullptr) {
        Slider::paint(canvas, x, y, width, height);
        return;
    }
    canvas.drawImage(x, y, width, height, *rail);
    if (!isEnabled())
        return;
    canvas.drawImage(x + thumbOffset(), y + 2, thumbWidth() - 2, height - 4, *slide);
}

}  // namespace veltro
