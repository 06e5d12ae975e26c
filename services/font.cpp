// The font cache over QFont and the default-font rule.
#include "services/font.h"

#include <QGuiApplication>
#include <QLocale>
#include <QStringList>

#include <memory>
#include <vector>

namespace veltro {

namespace {

// The interface face for Japanese users (stored as UTF-8) and the installed
// face that supplies its glyphs when the face itself is not there.
constexpr const char* kJapaneseFace = "\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF";
constexpr const char* kJapaneseFallback = "Noto Sans CJK JP";
constexpr int kJapaneseHeight = 12;
constexpr const char* kWesternFace = "Arial";
constexpr int kWesternHeight = 16;
constexpr int kFlagBits = kFontFixedPitch | kFontBold | kFontItalic | kFontUnderline;

std::vector<std::unique_ptr<Font>>& fontCache() {
    static std::vector<std::unique_ptr<Font>> cache;
    return cache;
}

std::optional<bool>& languageOverride() {
    static std::optional<bool> japanese;
    return japanese;
}

bool haveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

QFont makeFont(std::string_view face, int flags, int height) {
    QStringList families;
    QFont font;
    if (!face.empty()) {
        families << QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size()));
    } else if (flags & kFontFixedPitch) {
        families << QStringLiteral("monospace");
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
    } else {
        families << QStringLiteral("sans-serif");
        font.setStyleHint(QFont::SansSerif);
    }
    // Japanese users get Japanese glyphs whatever face is asked for.
    if (userLanguageIsJapanese())
        families << QString::fromUtf8(kJapaneseFallback);
    font.setFamilies(families);
    font.setPixelSize(height);
    font.setWeight((flags & kFontBold) ? QFont::Bold : QFont::Medium);
    font.setItalic((flags & kFontItalic) != 0);
    font.setUnderline((flags & kFontUnderline) != 0);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

}  // namespace

Font* Font::find(std::string_view face, int flags, int height) {
    if (height < 1 || height > kMaxFontHeight)
        return nullptr;
    int key = (flags & kFlagBits) | height;
    for (const auto& font : fontCache()) {
        if (font->key() == key && font->face() == face)
            return font.get();
    }
    if (!haveGuiApplication())
        return nullptr;
    fontCache().push_back(std::make_unique<Font>(std::string(face), key, makeFont(face, flags, height)));
    return fontCache().back().get();
}

Font* Font::defaultFont() {
    if (userLanguageIsJapanese())
        return find(kJapaneseFace, 0, kJapaneseHeight);
    return find(kWesternFace, 0, kWesternHeight);
}

int Font::cachedCount() { return static_cast<int>(fontCache().size()); }

bool userLanguageIsJapanese() {
    if (languageOverride())
        return *languageOverride();
    return QLocale::system().language() == QLocale::Japanese;
}

void setUserLanguageJapanese(std::optional<bool> japanese) { languageOverride() = japanese; }

}  // namespace veltro
