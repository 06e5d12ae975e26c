// The capture window on the offscreen platform with the synthetic camera:
// a recording started and ended as a person would, the rate rules, the file
// name cut, one window at a time, no device at all, the format dialog, and
// the source dialog over a device with controls.
#include "app/capture/capture_window.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>

#include "app/base/app_test_support.h"
#include "app/capture/capture_dialogs.h"
#include "movie/avi_movie.h"
#include "ui/native_control.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::Answer;

// Pumps events until done() holds or seconds pass; true when it held.
bool pumpUntil(const std::function<bool()>& done, double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pumpMessages();
    }
    return true;
}

void pumpFor(double seconds) {
    pumpUntil([] { return false; }, seconds);
}

void click(Window& window, int id) {
    Widget* button = window.widgetById(id);
    ASSERT_NE(button, nullptr) << id;
    ASSERT_TRUE(button->isEnabled()) << id;
    QTest::mouseClick(button->nativeHandle(), Qt::LeftButton);
}

std::string textOf(Window& window, int id) {
    auto* control = dynamic_cast<NativeControl*>(window.widgetById(id));
    return control ? control->text() : std::string();
}

void setText(Window& window, int id, const std::string& text) {
    auto* control = dynamic_cast<NativeControl*>(window.widgetById(id));
    ASSERT_NE(control, nullptr);
    control->setText(text);
}

// The AVI main header's microseconds per frame (dwMicroSecPerFrame, the
// first field after "RIFF....AVI LIST....hdrlavih....").
uint32_t microsecondsPerFrameOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    unsigned char header[36] = {};
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) || std::memcmp(header + 24, "avih", 4) != 0)
        return 0;
    return header[32] | header[33] << 8 | header[34] << 16 | uint32_t{header[35]} << 24;
}

class CaptureWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { testing::app(); }
    void SetUp() override {
        m_previousLister = setCaptureDeviceLister([this] { return devices; });
        setWorkDirectory(m_shipped.scratch.path + "/tmp");
    }
    void TearDown() override {
        setCaptureDeviceLister(std::move(m_previousLister));
        setWorkDirectory("");
        testing::settle();
    }
    std::string path(const std::string& name) const { return m_shipped.scratch.path + "/" + name; }

    std::vector<CaptureDeviceInfo> devices{syntheticCameraInfo()};
    testing::RecordMessages messages;

private:
    testing::ShippedResources m_shipped;
    CaptureDeviceLister m_previousLister;
};

TEST_F(CaptureWindowTest, RecordsAtFifteenUntilEscapeAndHandsBackTheFile) {
    const std::string file = path("recording.avi");
    std::vector<std::string> titles;
    int screenshots = 0;
    Answer answer([&](ShownDialog& shown) {
        if (shown.kind != DialogKind::ModalWindow)
            return;
        auto* window = dynamic_cast<CaptureWindow*>(shown.window);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(shown.text, "Capture");
        QTimer::singleShot(0, [&, window] {
            EXPECT_TRUE(window->connected());
            // The synthetic camera reports no frame interval: the rate shows 30.
            EXPECT_EQ(textOf(*window, kCaptureRate), "30");
            EXPECT_EQ(textOf(*window, kCaptureFile), file);
            EXPECT_EQ(textOf(*window, kCaptureStart), "Start");
            EXPECT_EQ(window->previewWidth(), 320);
            EXPECT_EQ(window->previewHeight(), 240);
            EXPECT_EQ(window->platformWindow()->width(), 320 + 85);
            EXPECT_EQ(window->platformWindow()->height(), 240 + 70);
            // The preview arrives through the worker and is drawn.
            ASSERT_TRUE(pumpUntil([&] { return testing::pixelAt(*window, 160, 120) != 0; }));
            pumpFor(0.3);
            testing::saveScreenshot(*window, "capture_01_preview");
            ++screenshots;

            setText(*window, kCaptureRate, "15");
            click(*window, kCaptureStart);
            ASSERT_TRUE(window->recording());
            EXPECT_EQ(textOf(*window, kCaptureStart), "Stop");
            EXPECT_FALSE(window->widgetById(kCaptureFormat)->isEnabled());
            EXPECT_FALSE(window->widgetById(kCaptureRate)->isEnabled());
            const auto started = std::chrono::steady_clock::now();
            ASSERT_TRUE(pumpUntil([&] { return window->framesCaptured() >= 5; }));
            titles.push_back(window->platformWindow()->windowTitle().toStdString());
            testing::saveScreenshot(*window, "capture_02_recording");
            pumpUntil([&] { return std::chrono::steady_clock::now() - started > std::chrono::seconds(2); });
            QTest::keyClick(window->platformWindow(), Qt::Key_Escape);
        });
    });
    const std::optional<std::string> recorded = runCapture(nullptr, file);
    EXPECT_EQ(screenshots, 1);
    ASSERT_TRUE(recorded);
    EXPECT_EQ(*recorded, file);
    EXPECT_EQ(CaptureWindow::openWindow(), nullptr);
    ASSERT_EQ(titles.size(), 1u);
    EXPECT_GE(std::stoi(titles[0]), 5) << "the title counts the frames: " << titles[0];
    EXPECT_TRUE(messages.messages().empty()) << messages.messages().front();

    AviMovieFormat avi;
    MovieReaderPtr reader = avi.open(file);
    ASSERT_TRUE(reader);
    EXPECT_NEAR(reader->frameRate, 15.0, 0.01);
    EXPECT_EQ(microsecondsPerFrameOf(file), 66667u);
    EXPECT_GE(reader->frameCount, 28);
    EXPECT_LE(reader->frameCount, 40);
}

TEST_F(CaptureWindowTest, RatesOutsideOneToNinetyNineAreRefusedAndAMouseButtonStops) {
    CaptureWindow window(nullptr, path("rates.avi"));
    window.show(true);
    ASSERT_TRUE(window.connected());
    for (const char* bad : {"100", "0", "-1", "fast", ""}) {
        messages.clear();
        setText(window, kCaptureRate, bad);
        click(window, kCaptureStart);
        EXPECT_FALSE(window.recording()) << bad;
        ASSERT_EQ(messages.messages().size(), 1u) << bad;
        EXPECT_EQ(messages.messages()[0], "Error: Bad rate.");
    }
    EXPECT_FALSE(std::filesystem::exists(path("rates.avi")));

    messages.clear();
    setText(window, kCaptureRate, "99");
    click(window, kCaptureStart);
    ASSERT_TRUE(window.recording());
    ASSERT_TRUE(pumpUntil([&] { return window.framesCaptured() >= 3; }));
    QTest::mouseClick(window.platformWindow(), Qt::RightButton, {}, QPoint(100, 100));
    ASSERT_TRUE(pumpUntil([&] { return !window.exists(); }));
    EXPECT_EQ(window.modalResult(), 1);
    EXPECT_TRUE(messages.messages().empty());
    AviMovieFormat avi;
    MovieReaderPtr reader = avi.open(path("rates.avi"));
    ASSERT_TRUE(reader);
    EXPECT_NEAR(reader->frameRate, 99, 3);
    EXPECT_EQ(microsecondsPerFrameOf(path("rates.avi")), 10101u);
}

TEST_F(CaptureWindowTest, FileNameIsCutToTheBufferAndOnlyOneWindowOpens) {
    const std::string longName = path(std::string(1500, 'n') + ".avi");
    CaptureWindow window(nullptr, longName);
    EXPECT_EQ(window.fileName().size(), kCaptureNameSize - 1);
    EXPECT_EQ(window.fileName(), longName.substr(0, kCaptureNameSize - 1));
    EXPECT_EQ(textOf(window, kCaptureFile), window.fileName());
    EXPECT_EQ(CaptureWindow::openWindow(), &window);

    bool shown = false;
    Answer answer([&](ShownDialog&) { shown = true; });
    EXPECT_FALSE(runCapture(nullptr, path("second.avi")));
    EXPECT_FALSE(shown) << "the second window is refused at once";
}

TEST_F(CaptureWindowTest, NoDeviceSaysNoDriverAndRecordsNothing) {
    devices.clear();
    bool closed = false;
    Answer answer([&](ShownDialog& shown) {
        if (shown.kind != DialogKind::ModalWindow)
            return;
        Window* window = shown.window;
        QTimer::singleShot(0, [&, window] {
            EXPECT_FALSE(window->widgetById(kCaptureStart)->isEnabled());
            EXPECT_FALSE(window->widgetById(kCaptureFormat)->isEnabled());
            EXPECT_FALSE(window->widgetById(kCaptureSource)->isEnabled());
            EXPECT_TRUE(window->widgetById(kCaptureFile)->isEnabled());
            closed = true;
            window->platformWindow()->close();
        });
    });
    EXPECT_FALSE(runCapture(nullptr, path("none.avi")));
    EXPECT_TRUE(closed);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0], "Error: No driver");
    EXPECT_FALSE(std::filesystem::exists(path("none.avi")));
}

TEST_F(CaptureWindowTest, FormatDialogChangesThePreviewSizeAndTheRate) {
    CaptureWindow window(nullptr, path("format.avi"));
    window.show(true);
    ASSERT_TRUE(window.connected());
    std::vector<std::string> offered;
    Answer answer([&](ShownDialog& shown) {
        if (shown.kind != DialogKind::ModalWindow || shown.text != "Format")
            return;
        Window* dialog = shown.window;
        QTimer::singleShot(0, [&, dialog] {
            auto* list = dynamic_cast<ListBox*>(dialog->widgetById(kFormatList));
            ASSERT_NE(list, nullptr);
            for (int i = 0; i < list->itemCount(); ++i)
                offered.push_back(list->itemText(i));
            const auto small = std::find(offered.begin(), offered.end(), "160 x 120, 15 fps (rgb24)");
            ASSERT_NE(small, offered.end());
            list->select(static_cast<int>(small - offered.begin()));
            click(*dialog, kFormatOk);
        });
    });
    click(window, kCaptureFormat);
    EXPECT_EQ(offered.size(), 6u);
    EXPECT_EQ(window.previewWidth(), 160);
    EXPECT_EQ(window.previewHeight(), 120);
    EXPECT_EQ(textOf(window, kCaptureRate), "15");
    EXPECT_EQ(window.platformWindow()->width(), 160 + 85);
    ASSERT_TRUE(pumpUntil([&] { return testing::pixelAt(window, 80, 60) != 0; }));
    EXPECT_FALSE(window.widgetById(kCaptureSource)->isEnabled()) << "the synthetic camera has no controls";
}

// A device with the controls a webcam reports, which keeps what is set.
class ControlledDevice : public CaptureDevice {
public:
    ControlledDevice() : CaptureDevice(CaptureDeviceInfo{CaptureDeviceKind::V4l2, "video0", "Webcam", ""}) {
        m_controls = {{1, "Brightness", CaptureControl::Type::Integer, 0, 255, 1, 128, 100, {}},
                      {2, "Focus, Auto", CaptureControl::Type::Boolean, 0, 1, 1, 1, 1, {}},
                      {3, "Power Line Frequency", CaptureControl::Type::Menu, 0, 2, 1, 1, 1,
                       {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}}}};
    }
    std::vector<CaptureFormat> formats() const override { return {}; }
    std::vector<CaptureControl> controls() const override { return m_controls; }
    bool setControl(uint32_t id, int value) override {
        for (CaptureControl& control : m_controls)
            if (control.id == id) {
                control.value = value;
                return true;
            }
        return false;
    }
    std::vector<CaptureControl> m_controls;
};

TEST_F(CaptureWindowTest, SourceDialogSetsTheDeviceControls) {
    ControlledDevice device;
    std::vector<std::string> before;
    std::vector<std::string> after;
    Answer answer([&](ShownDialog& shown) {
        if (shown.kind != DialogKind::ModalWindow)
            return;
        Window* dialog = shown.window;
        QTimer::singleShot(0, [&, dialog] {
            auto* list = dynamic_cast<ListBox*>(dialog->widgetById(kSourceList));
            ASSERT_NE(list, nullptr);
            for (int i = 0; i < list->itemCount(); ++i)
                before.push_back(list->itemText(i));
            list->select(0);
            dialog->onCommand(kSourceList);
            EXPECT_EQ(textOf(*dialog, kSourceValue), "100");
            setText(*dialog, kSourceValue, "200");
            click(*dialog, kSourceSet);
            setText(*dialog, kSourceValue, "300");  // beyond the range
            click(*dialog, kSourceSet);
            list->select(1);
            setText(*dialog, kSourceValue, "off");
            click(*dialog, kSourceSet);
            list->select(2);
            setText(*dialog, kSourceValue, "60 hz");
            click(*dialog, kSourceSet);
            list->select(0);
            click(*dialog, kSourceDefault);
            for (int i = 0; i < list->itemCount(); ++i)
                after.push_back(list->itemText(i));
            click(*dialog, kSourceClose);
        });
    });
    runCaptureSourceDialog(nullptr, device);
    EXPECT_EQ(before, (std::vector<std::string>{"Brightness: 100 (0 .. 255)", "Focus, Auto: on",
                                                "Power Line Frequency: 50 Hz"}));
    EXPECT_EQ(after, (std::vector<std::string>{"Brightness: 128 (0 .. 255)", "Focus, Auto: off",
                                               "Power Line Frequency: 60 Hz"}));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0], "The device did not take that value for \"Brightness\".");
}

}  // namespace
}  // namespace veltro
