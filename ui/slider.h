// A drawn slider: a track with a raised thumb whose length is a fraction of
// the track. Dragging, the wheel and the arrow keys change its value and fire
// its id; the tracking flag tells the handler whether the change is still in
// progress (dragging, wheel) or finished (key step, release).
#pragma once

#include "ui/window.h"

namespace veltro {

class Slider : public Widget {
public:
    // A slider with range 0..100, value 0, thumb ratio 0.2.
    Slider(Window* parent, int x, int y, int width, int height, int id, bool horizontal);

    void paint(Canvas& canvas, int x, int y, int width, int height) override;
    bool onKey(int code) override;
    bool onMouseMove(int x, int y) override;
    bool onButtonDown(int x, int y) override;
    bool onButtonUp(int x, int y) override;
    void onEnter(int x, int y) override;
    void onLeave(int x, int y) override;
    int cursor() const override;
    bool onWheel(int steps) override;

    // Sets the range (maximum below minimum is raised to it); the value is
    // kept inside.
    void setRange(int minimum, int maximum);
    // Sets the value, clamped to the range (no command).
    void setValue(int value);
    // Sets the thumb length as a fraction of the track (0..1).
    void setThumbRatio(double ratio);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }
    double thumbRatio() const { return m_ratio; }
    bool isHorizontal() const { return m_horizontal; }
    // True while the value is being changed by dragging or by the wheel.
    bool isTracking() const { return m_tracking; }

private:
    void setFromPointer(int x, int y);
    int clamp(long long value) const;

    bool m_horizontal;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
    double m_ratio = 0.2;
    bool m_tracking = false;
};

}  // namespace veltro
