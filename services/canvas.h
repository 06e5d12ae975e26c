// The off-screen drawing surface of the whole interface: every window's back
// buffer, and the pictures editors build before copying them into windows.
// Colours are 0xRRGGBB integers; drawing is never antialiased, so every pixel
// a primitive touches is exactly its colour and the rest stay as they were.
// The surface is a QImage in Format_ARGB32, the same 0xAARRGGBB words as
// ImageBuffer, and stays opaque.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include <QImage>

#include "image/image_buffer.h"

namespace veltro {

class Font;

// One corner of a polygon, in canvas pixels.
struct CanvasPoint {
    int x = 0;
    int y = 0;
};

class Canvas {
public:
    // A width x height surface filled with white. A size outside
    // 1..kMaxImageDimension gives a canvas that draws nothing.
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    // False when the surface could not be made; such a canvas draws nothing.
    bool valid() const { return !m_surface.isNull(); }

    // Fills the rectangle with the colour.
    void fillRect(int x, int y, int w, int h, uint32_t colour);
    // Fills the rectangle with the system button-face colour (dialog backgrounds).
    void fillButtonFace(int x, int y, int w, int h);
    // A one-pixel outline just inside the rectangle.
    void frameRect(int x, int y, int w, int h, uint32_t colour);
    // A one-pixel line from the first point up to, not including, the second.
    void drawLine(int x1, int y1, int x2, int y2, uint32_t colour);
    // A filled ellipse in the rectangle, outlined in the same colour.
    void drawEllipse(int x, int y, int w, int h, uint32_t colour);
    // A filled polygon through the points, outlined in the same colour.
    void drawPolygon(std::span<const CanvasPoint> points, uint32_t colour);

    // Selects the font for text; a null font or the current one changes nothing.
    void selectFont(const Font* font);
    // The font last selected, or nullptr (text then uses the default font).
    const Font* font() const { return m_font; }
    // Text (UTF-8) in the current font, from the rectangle's top-left corner,
    // clipped to it: "&" is drawn as it is, lines break only at the text's own
    // line ends (CR LF, LF or CR), no word wrap, background left as it is.
    void drawText(int x, int y, int w, int h, std::string_view text, uint32_t colour);
    // The width (widest line) and height (all lines) of text in the current
    // font; either output may be null.
    void textExtent(std::string_view text, int* width, int* height) const;

    // Copies a w x h rectangle of source (which may be this canvas) to (x, y).
    void copyFrom(int x, int y, const Canvas& source, int sx, int sy, int w, int h);
    // Stretches the source rectangle into the target one, nearest pixels.
    void stretchFrom(int x, int y, int w, int h, const Canvas& source, int sx, int sy, int sw, int sh);
    // Stretches the whole image into the rectangle, nearest pixels. With the
    // image's hasAlpha flag its transparent pixels (alpha byte 0) leave the
    // canvas as it is and every other pixel is drawn fully opaque; without it
    // every pixel is drawn.
    void drawImage(int x, int y, int w, int h, const ImageBuffer& image);

    // The canvas's pixels as a new opaque ImageBuffer of the canvas size.
    ImagePtr toImage() const;

    // The surface itself, for the window layer to put on screen.
    const QImage& surface() const { return m_surface; }
    QImage& surface() { return m_surface; }

private:
    int m_width = 0;
    int m_height = 0;
    QImage m_surface;
    const Font* m_font = nullptr;
};

}  // namespace veltro
