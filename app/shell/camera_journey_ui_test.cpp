// The camera journey of the main window's command 6 on the offscreen
// platform: the capture window records two seconds at 15 frames a second from
// the synthetic camera, the recording becomes a new document, and the edit
// window opens on it.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>

#include "app/base/app_state.h"
#include "app/base/app_test_support.h"
#include "app/capture/capture_window.h"
#include "app/edit/edit_window.h"
#include "app/shell/document_flows.h"
#include "app/shell/main_window.h"
#include "document/document.h"
#include "image/file_utils.h"
#include "movie/capture_device.h"
#include "movie/standard_movie_formats.h"
#include "services/settings.h"
#include "ui/native_control.h"
#include "ui/ui_test_support.h"

namespace veltro {
namespace {

using testing::Answer;

TEST(CameraJourney, RecordTwoSecondsAtFifteenAndEditTheClip) {
    testing::app();
    registerStandardMovieFormats();
    testing::ShippedResources shipped;
    testing::RecordMessages messages;
    setWorkDirectory(shipped.scratch.path + "/tmp");
    settings().set("album_dir", shipped.scratch.path + "/pages");
    CaptureDeviceLister previous = setCaptureDeviceLister([] { return std::vector<CaptureDeviceInfo>{syntheticCameraInfo()}; });

    std::vector<std::string> shownWindows;
    int editFrames = -1;
    std::string editName;
    Answer answer([&](ShownDialog& shown) {
        if (shown.kind != DialogKind::ModalWindow)
            return;
        shownWindows.push_back(shown.text);
        Window* window = shown.window;
        if (shown.text == "Capture") {
            QTimer::singleShot(0, [window] {
                auto* rate = dynamic_cast<EditField*>(window->widgetById(kCaptureRate));
                ASSERT_NE(rate, nullptr);
                rate->setText("15");
                QTest::mouseClick(window->widgetById(kCaptureStart)->nativeHandle(), Qt::LeftButton);
                const auto started = std::chrono::steady_clock::now();
                while (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(2000))
                    pumpMessages();
                QTest::keyClick(window->platformWindow(), Qt::Key_Escape);
            });
        } else if (shown.text == "Edit") {
            auto* edit = dynamic_cast<EditWindow*>(window);
            ASSERT_NE(edit, nullptr);
            editFrames = edit->editedDocument().length;
            editName = edit->editedDocument().name;
            QTimer::singleShot(0, [window] { window->endModal(0); });
        }
    });

    MainWindowFlows flows = programFlows();
    flows.pageFlow = [](Window* main, std::unique_ptr<Document> document) {
        runEditWindow(main, *document);
        return 1;
    };
    MainWindow main(std::move(flows));
    main.show(true);
    Widget* camera = main.widgetById(kCommandNewFromCamera);
    ASSERT_NE(camera, nullptr);
    QTest::mouseClick(main.platformWindow(), Qt::LeftButton, {},
                      QPoint(camera->x() + camera->width() / 2, camera->y() + camera->height() / 2));

    setCaptureDeviceLister(std::move(previous));
    EXPECT_EQ(shownWindows, (std::vector<std::string>{"Capture", "Edit"}));
    EXPECT_GE(editFrames, 28) << "about 30 frames";
    EXPECT_LE(editFrames, 40);
    EXPECT_EQ(editName, shipped.scratch.path + "/pages/new0");
    EXPECT_TRUE(std::filesystem::is_regular_file(workDirectory() + "/nv0.avi")) << "recorded into the working folder";
    EXPECT_TRUE(messages.messages().empty()) << messages.messages().front();
    setWorkDirectory("");
    testing::settle();
}

}  // namespace
}  // namespace veltro
