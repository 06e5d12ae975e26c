// A button shown as pictures: normal, pressed, rollover and disabled images
// (base name + "n.png", "p.png", "r.png", "d.png" in the resource set) over a
// snapshot of the window's back buffer taken at its first paint, so PNG
// transparency shows what was beneath. Missing pictures fall back: pressed to
// the normal one moved two pixels, rollover to normal, disabled to nothing
// beyond the background; without a normal image it paints as a DrawnButton.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "ui/drawn_button.h"

namespace veltro {

class ImageButton : public DrawnButton {
public:
    enum State { Normal = 0, Pressed = 1, Rollover = 2, Disabled = 3 };

    // caption holds the image base name; images are set afterwards.
    ImageButton(Window* parent, int x, int y, int width, int height, int id, const std::string& caption);
    ~ImageButton() override;

    void paint(Canvas& canvas, int x, int y, int width, int height) override;

    // Sets the picture of a state without taking it over (resource images).
    void setImage(State state, const ImageBuffer* image);
    // Sets the picture of a state and takes it over.
    void setOwnedImage(State state, ImagePtr image);
    // The picture of a state, or nullptr.
    const ImageBuffer* image(State state) const { return m_images[state]; }
    // Bit n set when the button owns the picture of state n.
    int ownership() const;
    // The background snapshot, nullptr before the first paint.
    const ImageBuffer* background() const { return m_background.get(); }

private:
    std::array<const ImageBuffer*, 4> m_images{};
    std::array<ImagePtr, 4> m_owned;
    ImagePtr m_background;
};

}  // namespace veltro
