// The process-wide font cache. Fonts are asked for by face name, style flags
// and pixel height, created once over QFont and kept for the rest of the run;
// the interface uses one default font chosen by the user's language. Fonts
// need the QGuiApplication (its font database); before one exists no font is
// created.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <QFont>

namespace veltro {

// Style flags; they sit above bit 8 of a font's key, the height below.
// Fixed pitch is used only when no face name is given.
inline constexpr int kFontFixedPitch = 0x100;
inline constexpr int kFontBold = 0x200;
inline constexpr int kFontItalic = 0x400;
inline constexpr int kFontUnderline = 0x800;
// Heights fit below the flag bits of the key.
inline constexpr int kMaxFontHeight = 0xFF;

class Font {
public:
    // The cached font with this face, flags and height, created on first use;
    // nullptr when it cannot be created (a height outside 1..kMaxFontHeight,
    // no QGuiApplication). Face names are compared exactly; an empty face
    // picks a generic family (fixed pitch with kFontFixedPitch, else sans).
    static Font* find(std::string_view face, int flags, int height);
    // The interface font: the Japanese face "ＭＳ Ｐゴシック" at 12 pixels when
    // the user's language is Japanese, otherwise "Arial" at 16 pixels (which
    // fontconfig serves as Liberation Sans); no style flags.
    static Font* defaultFont();
    // How many fonts the cache holds (they are never released).
    static int cachedCount();

    // The face name as asked for (may be empty).
    const std::string& face() const { return m_face; }
    // Style flags ORed with the height.
    int key() const { return m_key; }
    int flags() const { return m_key & ~kMaxFontHeight; }
    int height() const { return m_key & kMaxFontHeight; }
    // The platform font drawn with (never antialiased, so text pixels are exact).
    const QFont& qfont() const { return m_font; }

    Font(std::string face, int key, QFont font)
        : m_face(std::move(face)), m_key(key), m_font(std::move(font)) {}

private:
    std::string m_face;
    int m_key = 0;
    QFont m_font;
};

// True when the user's language is Japanese: the override when one is set,
// otherwise the language of the system locale (LANG and friends).
bool userLanguageIsJapanese();
// Overrides the language rule (tests; none restores the system locale).
void setUserLanguageJapanese(std::optional<bool> japanese);

}  // namespace veltro
