// A button drawn into the window's back buffer: a raised grey face with a
// centred caption, sunken while pressed under the pointer, engraved when
// disabled, underlined when it has the focus. It fires its id when the mouse
// button is released over it, or on Space and Enter.
#pragma once

#include <memory>
#include <string>

#include "ui/window.h"

namespace veltro {

class Font;

class DrawnButton : public Widget {
public:
    DrawnButton(Window* parent, int x, int y, int width, int height, int id, const std::string& caption);
    ~DrawnButton() override;

    void paint(Canvas& canvas, int x, int y, int width, int height) override;
    bool onKey(int code) override;
    bool onMouseMove(int x, int y) override;
    bool onButtonDown(int x, int y) override;
    bool onButtonUp(int x, int y) override;
    void onEnter(int x, int y) override;
    void onLeave(int x, int y) override;
    int cursor() const override;
    bool onWheel(int steps) override;

    // The caption (for image buttons, the image base name).
    const std::string& caption() const { return m_caption; }
    void setCaption(const std::string& caption) { m_caption = caption; }

protected:
    // Fires the command; false when the widget was deleted by the handler.
    bool fire();

private:
    std::string m_caption;
    const Font* m_font;
    // Cleared when the button is deleted, so code after a command can tell.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

}  // namespace veltro
