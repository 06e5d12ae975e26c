// The format registry: lookup by extension in registration order, the exact
// double-NUL filter text and its cache, and loading through the registry.
#include "image/image_format.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "image/file_utils.h"
#include "image/image_test_support.h"
#include "image/jpeg_format.h"
#include "image/png_format.h"

namespace veltro {
namespace {

// A format that only names itself and counts its loads.
class NamedFormat : public ImageFormat {
public:
    NamedFormat(std::string description, std::string pattern)
        : m_description(std::move(description)), m_pattern(std::move(pattern)) {}
    const char* description() const override { return m_description.c_str(); }
    const char* pattern() const override { return m_pattern.c_str(); }
    ImagePtr load(const std::string&) override {
        ++loads;
        return std::make_unique<ImageBuffer>(1, 1);
    }
    bool save(const std::string&, const ImageBuffer&) override { return false; }
    int loads = 0;

private:
    std::string m_description, m_pattern;
};

class ImageFormatRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        clearImageFormats();
        registerStandardImageFormats();
    }
    void TearDown() override { clearImageFormats(); }
};

TEST_F(ImageFormatRegistry, FindsByExtensionIgnoringCaseAndBySubstring) {
    ImageFormat* png = findImageFormat("a.png");
    ImageFormat* jpeg = findImageFormat("a.jpg");
    ASSERT_TRUE(png && jpeg);
    EXPECT_STREQ(png->pattern(), "*.png");
    EXPECT_STREQ(jpeg->pattern(), "*.jpg;*.jpeg");
    EXPECT_EQ(findImageFormat("C:\\clips\\PHOTO.JPG"), jpeg);
    EXPECT_EQ(findImageFormat("/x/y.JPEG"), jpeg);
    EXPECT_EQ(findImageFormat("frame.pn"), png);
    EXPECT_EQ(findImageFormat("archive.tar.png"), png);
    EXPECT_EQ(findImageFormat("noextension"), nullptr);
    EXPECT_EQ(findImageFormat(""), nullptr);
    EXPECT_EQ(findImageFormat("picture.gif"), nullptr) << "GIF is never registered";
    EXPECT_EQ(findImageFormat("picture.bmp"), nullptr);
}

TEST_F(ImageFormatRegistry, FilterTextIsTheExactDoubleNulList) {
    const char expected[] =
        "All Image\0*.png;*.jpg;*.jpeg;\0PNG image (*.png)\0*.png\0JPEG image (*.jpg;*.jpeg)\0*.jpg;*.jpeg\0\0";
    EXPECT_EQ(imageFilter(), std::string(expected, sizeof expected - 1));
}

TEST_F(ImageFormatRegistry, RegistrationOrderDecidesAndDropsTheCachedFilter) {
    const std::string before = imageFilter();
    NamedFormat shadow("Shadow (*.png)", "*.png");
    NamedFormat bitmap("Bitmap (*.bmp)", "*.bmp");
    registerImageFormat(&shadow);
    registerImageFormat(&bitmap);
    EXPECT_STREQ(findImageFormat("x.png")->description(), "PNG image (*.png)") << "the first registered wins";
    EXPECT_EQ(findImageFormat("x.BMP"), &bitmap);
    const std::string after = imageFilter();
    EXPECT_NE(after, before);
    const char expected[] =
        "All Image\0*.png;*.jpg;*.jpeg;*.png;*.bmp;\0PNG image (*.png)\0*.png\0JPEG image (*.jpg;*.jpeg)\0"
        "*.jpg;*.jpeg\0Shadow (*.png)\0*.png\0Bitmap (*.bmp)\0*.bmp\0\0";
    EXPECT_EQ(after, std::string(expected, sizeof expected - 1));

    EXPECT_TRUE(loadImage("anything.bmp"));
    EXPECT_EQ(bitmap.loads, 1);
    EXPECT_FALSE(loadImage("anything.tiff"));
}

TEST_F(ImageFormatRegistry, StandardFormatsAreRegisteredOnce) {
    registerStandardImageFormats();
    const char expected[] =
        "All Image\0*.png;*.jpg;*.jpeg;\0PNG image (*.png)\0*.png\0JPEG image (*.jpg;*.jpeg)\0*.jpg;*.jpeg\0\0";
    EXPECT_EQ(imageFilter(), std::string(expected, sizeof expected - 1));
    auto* jpeg = dynamic_cast<JpegFormat*>(findImageFormat("a.jpeg"));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->quality, 75);
}

TEST_F(ImageFormatRegistry, GrowsPastItsFirstCapacities) {
    std::vector<std::unique_ptr<NamedFormat>> formats;
    for (int i = 0; i < 45; ++i) {
        formats.push_back(std::make_unique<NamedFormat>("F", "*.f" + std::to_string(i) + "x"));
        registerImageFormat(formats.back().get());
    }
    for (int i = 0; i < 45; ++i)
        EXPECT_EQ(findImageFormat("a.f" + std::to_string(i) + "x"), formats[size_t(i)].get());
}

TEST_F(ImageFormatRegistry, LoadImageReadsThroughTheMatchingCodec) {
    testing::TempDir dir;
    ImageBuffer image(3, 2);
    image.at(1, 1) = 0x80123456;
    ASSERT_TRUE(PngFormat().save(dir.file("p.PNG"), image));
    ImagePtr back = loadImage(dir.file("p.PNG"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixels, image.pixels);
    ASSERT_TRUE(JpegFormat().save(dir.file("j.jpeg"), image));
    back = loadImage(dir.file("j.jpeg"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width, 3);
    EXPECT_FALSE(loadImage(dir.file("missing.png")));
    // A JPEG named .png goes to the PNG codec, which refuses it.
    ASSERT_TRUE(JpegFormat().save(dir.file("wrong.png"), image));
    EXPECT_FALSE(loadImage(dir.file("wrong.png")));
}

}  // namespace
}  // namespace veltro

namespace veltro {
namespace {

// Codec failures used to drop libjpeg's and libpng's own messages, and codec
// writes did not see the simulated full disk; both now go through one seam.
TEST(ImageCodecFailures, LibraryMessagesReachImageErrorAndAFullDiskFailsEverySave) {
    testing::TempDir dir;
    ImageBuffer picture(64, 48);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            picture.row(y)[x] = 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 5);
    PngFormat png;
    JpegFormat jpeg;
    ImageFormat* formats[] = {&png, &jpeg};
    const char* names[] = {"p.png", "j.jpg"};
    clearImageFormats();
    registerImageFormat(&png);
    registerImageFormat(&jpeg);

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(names[i]);
        const std::string path = dir.file(names[i]);
        ASSERT_TRUE(formats[i]->save(path, picture));
        const std::vector<uint8_t> saved = testing::readBytes(path);

        // Cut in the middle: the load fails and says why in the library's words.
        std::vector<uint8_t> cut(saved.begin(), saved.begin() + static_cast<std::ptrdiff_t>(saved.size() / 2));
        const std::string cutPath = dir.file(std::string("cut_") + names[i]);
        ASSERT_TRUE(testing::writeBytes(cutPath, cut));
        setImageError(std::string());
        std::string error;
        EXPECT_EQ(loadImage(cutPath, &error), nullptr);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error, imageError());

        // The disk fills up during the save: it fails and the earlier file stays.
        simulateDiskFullAfter(100);
        setImageError(std::string());
        EXPECT_FALSE(formats[i]->save(path, picture));
        simulateDiskFullAfter(-1);
        EXPECT_FALSE(imageError().empty());
        EXPECT_EQ(testing::readBytes(path), saved);
        EXPECT_EQ(listDirectory(dir.path(), std::string(names[i]) + "*").size(), 1u);
    }
    clearImageFormats();
}

}  // namespace
}  // namespace veltro
