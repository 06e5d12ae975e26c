// The edit window's slide bar: a slider over the clip's frames drawn with
// the rail picture stretched over its whole rectangle and the slide picture
// as its thumb, a fifth of its width (at least 8 pixels).
#pragma once

#include "ui/slider.h"

namespace veltro {

class SlideBar : public Slider {
public:
    // A horizontal slide bar with the rail and slide of the resource set.
    SlideBar(Window* parent, int x, int y, int width, int height, int id);

    void paint(Canvas& canvas, int x, int y, int width, int height) override;

    // Where the thumb is drawn for the current value, relative to the bar's
    // left edge: x, and its width.
    int thumbOffset() const;
    int thumbWidth() const;
};

}  // namespace veltro
