// The capture window: connection to a device, the preview, the recording
// and the hand-over of what the worker reports through queued signals.
#include "app/capture/capture_window.h"

#include <QImage>
#include <QObject>
#include <QWidget>
#include <cstring>

#include "app/base/app_state.h"
#include "app/capture/capture_bridge.h"
#include "app/capture/capture_dialogs.h"
#include "image/file_utils.h"
#include "services/canvas.h"
#include "services/prompts.h"
#include "services/resources.h"
#include "services/settings.h"
#include "ui/dialogs.h"
#include "ui/native_control.h"

namespace veltro {

// The live picture: the latest preview, drawn at the widget's size.
class PreviewWidget : public Widget {
public:
    PreviewWidget(Window* parent, int width, int height)
        : Widget(parent, 0, 0, width, height, kCapturePreview) {}
    void paint(Canvas& canvas, int x, int y, int width, int height) override {
        if (m_picture.empty())
            canvas.fillRect(x, y, width, height, 0xFF000000u);
        else
            canvas.drawImage(x, y, width, height, m_picture);
    }
    void setPicture(const QImage& picture) {
        if (m_picture.width != picture.width() || m_picture.height != picture.height())
            m_picture.allocate(picture.width(), picture.height());
        for (int y = 0; y < picture.height(); ++y)
            std::memcpy(m_picture.row(y), picture.constScanLine(y), static_cast<size_t>(picture.width()) * 4);
        refresh();
    }
    void clearPicture() {
        m_picture = ImageBuffer();
        refresh();
    }
    const ImageBuffer& picture() const { return m_picture; }

private:
    ImageBuffer m_picture;
};

namespace {

CaptureWindow*& openCaptureWindow() {
    static CaptureWindow* window = nullptr;
    return window;
}

// The name cut to what the file name buffer holds.
std::string cutName(const std::string& name) {
    return name.size() < kCaptureNameSize ? name : name.substr(0, kCaptureNameSize - 1);
}

std::string aviFilter() {
    std::string filter = resources().text("capture_filter");
    filter += '\0';
    filter += "*.avi";
    filter += '\0';
    filter += '\0';
    return filter;
}

}  // namespace

CaptureWindow::CaptureWindow(Window* owner, const std::string& proposedPath)
    : DialogWindow(owner, "lmcapture"), m_fileName(cutName(proposedPath)), m_bridge(std::make_unique<CaptureBridge>()) {
    openCaptureWindow() = this;
    m_start = dynamic_cast<PushButton*>(widgetById(kCaptureStart));
    m_format = dynamic_cast<PushButton*>(widgetById(kCaptureFormat));
    m_source = dynamic_cast<PushButton*>(widgetById(kCaptureSource));
    m_list = dynamic_cast<ComboList*>(widgetById(kCaptureDevices));
    m_file = dynamic_cast<EditField*>(widgetById(kCaptureFile));
    m_browse = dynamic_cast<PushButton*>(widgetById(kCaptureBrowse));
    m_rate = dynamic_cast<EditField*>(widgetById(kCaptureRate));
    m_preview = addWidget(std::make_unique<PreviewWidget>(this, kPreviewWidth, kPreviewHeight));
    if (Canvas* canvas = backBuffer())
        canvas->fillRect(0, 0, canvas->width(), canvas->height(), 0xFFFFFFFFu);

    CaptureBridge* bridge = m_bridge.get();
    QObject::connect(bridge, &CaptureBridge::previewReady, bridge, [this](QImage picture) { showPreview(picture); },
                     Qt::QueuedConnection);
    QObject::connect(bridge, &CaptureBridge::frameCounted, bridge, [this](int count) { countFrame(count); },
                     Qt::QueuedConnection);
    QObject::connect(bridge, &CaptureBridge::noticed, bridge, [this](int notice) { tellNotice(notice); },
                     Qt::QueuedConnection);
    QObject::connect(bridge, &CaptureBridge::ended, bridge, [this] { runEnded(); }, Qt::QueuedConnection);

    m_devices = listCaptureDevices();
    if (m_list)
        for (const CaptureDeviceInfo& device : m_devices)
            m_list->addItem(device.description + " (" + device.name + ")");
    if (m_file)
        m_file->setText(m_fileName);
    connectDevice(-1);
}

CaptureWindow::~CaptureWindow() {
    // The worker ends before the bridge it reports to.
    m_session.reset();
    m_bridge.reset();
    if (openCaptureWindow() == this)
        openCaptureWindow() = nullptr;
}

CaptureWindow* CaptureWindow::openWindow() { return openCaptureWindow(); }

int CaptureWindow::previewWidth() const { return m_preview->width(); }
int CaptureWindow::previewHeight() const { return m_preview->height(); }

void CaptureWindow::disconnectDevice() {
    m_session.reset();
    m_device.reset();
}

bool CaptureWindow::startPreview() {
    m_session = std::make_unique<CaptureSession>(m_device->info(), m_device->format(), m_bridge.get());
    CaptureSettings settings;
    settings.rate = rateForFrameInterval(m_device->format().frameMicroseconds);
    if (m_session->start(settings))
        return true;
    m_session.reset();
    return false;
}

bool CaptureWindow::connectDevice(int index) {
    disconnectDevice();
    const int first = index < 0 ? 0 : index;
    const int last = index < 0 ? static_cast<int>(m_devices.size()) - 1 : index;
    for (int i = first; i <= last && i < static_cast<int>(m_devices.size()); ++i) {
        m_device = openCaptureDevice(m_devices[static_cast<size_t>(i)]);
        if (m_device && startPreview()) {
            if (m_list)
                m_list->select(i);
            break;
        }
        m_device.reset();
    }
    if (!m_device) {
        showMessage(resources().text("e_no_driver"));
        layOut(m_preview->width(), m_preview->height());
        enableControls();
        return false;
    }
    if (m_rate)
        m_rate->setText(std::to_string(rateForFrameInterval(m_device->format().frameMicroseconds)));
    if (m_fileName.empty())
        setFileName(workDirectory() + "/capture.avi");
    if (m_file)
        m_file->setText(m_fileName);
    if (m_start)
        m_start->setText(resources().text("b_start"));
    m_preview->clearPicture();
    const int w = m_device->format().width > 0 ? m_device->format().width : kPreviewWidth;
    const int h = m_device->format().height > 0 ? m_device->format().height : kPreviewHeight;
    layOut(w, h);
    enableControls();
    return true;
}

void CaptureWindow::layOut(int w, int h) {
    m_preview->setRect(0, 0, w, h);
    resizeClient(w + kCaptureControlsWidth, h + kCaptureControlsHeight);
    center();
    const int button = kCaptureControlsWidth;
    const int row = kCaptureControlsHeight / 2;
    if (m_start)
        m_start->setRect(w, 0, button, row);
    if (m_list)
        m_list->setRect(0, h, w - button, row);
    if (m_format)
        m_format->setRect(w - button, h, button, row);
    if (m_source)
        m_source->setRect(w, h, button, row);
    if (m_file)
        m_file->setRect(0, h + row, w, row);
    if (m_browse)
        m_browse->setRect(w, h + row, button / 2, row);
    if (m_rate)
        m_rate->setRect(w + button / 2, h + row, button / 2, row);
    if (Canvas* canvas = backBuffer())
        canvas->fillRect(0, 0, canvas->width(), canvas->height(), 0xFFFFFFFFu);
    drawWidgets();
    flush();
}

void CaptureWindow::enableControls() {
    const bool on = m_device != nullptr;
    if (m_start)
        m_start->setEnabled(on);
    if (m_format)
        m_format->setEnabled(on && !m_recording && !m_device->formats().empty());
    if (m_source)
        m_source->setEnabled(on && !m_recording && !m_device->controls().empty());
    for (Widget* widget : {static_cast<Widget*>(m_list), static_cast<Widget*>(m_file),
                           static_cast<Widget*>(m_browse), static_cast<Widget*>(m_rate)})
        if (widget)
            widget->setEnabled(!m_recording);
}

void CaptureWindow::setFileName(const std::string& name) {
    m_fileName = cutName(name);
    if (m_file)
        m_file->setText(m_fileName);
}

void CaptureWindow::onCommand(int id) {
    switch (id) {
    case kCaptureStart:
        if (m_recording)
            stopRecording();
        else
            startRecording();
        break;
    case kCaptureFormat:
        if (m_device && !m_recording && runCaptureFormatDialog(this, *m_device)) {
            m_session.reset();
            if (!startPreview()) {
                connectDevice(m_list ? m_list->selectedIndex() : -1);
                break;
            }
            if (m_rate && m_device->format().frameMicroseconds > 0)
                m_rate->setText(std::to_string(rateForFrameInterval(m_device->format().frameMicroseconds)));
            m_preview->clearPicture();
            layOut(m_device->format().width > 0 ? m_device->format().width : m_preview->width(),
                   m_device->format().height > 0 ? m_device->format().height : m_preview->height());
        }
        break;
    case kCaptureSource:
        if (m_device && !m_recording)
            runCaptureSourceDialog(this, *m_device);
        break;
    case kCaptureDevices:
        if (m_list && !m_recording && m_list->selectedIndex() >= 0)
            connectDevice(m_list->selectedIndex());
        break;
    case kCaptureBrowse: {
        if (m_recording)
            break;
        std::string buffer = m_file ? m_file->text() : m_fileName;
        if (std::optional<std::string> chosen = chooseSaveFile(this, aviFilter(), &buffer))
            setFileName(*chosen);
        break;
    }
    default: break;
    }
}

void CaptureWindow::startRecording() {
    if (!m_device)
        return;
    setFileName(m_file ? m_file->text() : m_fileName);
    const int rate = parseCaptureRate(m_rate ? m_rate->text() : std::string());
    if (!isValidCaptureRate(rate)) {
        showMessage(resources().text("e_bad_rate"));
        return;
    }
    const std::string folder = directoryOf(m_fileName);
    if (!folder.empty() && !isDirectory(folder))
        makeDirectories(folder);
    // The preview run gives way to the recording run, which previews too.
    m_session.reset();
    m_session = std::make_unique<CaptureSession>(m_device->info(), m_device->format(), m_bridge.get());
    CaptureSettings settings;
    settings.outputPath = m_fileName;
    settings.rate = rate;
    std::string error;
    if (!m_session->start(settings, &error)) {
        showMessage(formatText(resources().text("e_capture_failed"), {error}));
        m_session.reset();
        startPreview();
        return;
    }
    m_framesCaptured = 0;
    m_recording = true;
    if (m_start)
        m_start->setText(resources().text("b_stop"));
    enableControls();
    setTitle(formatText(resources().text("capture_count"), {"0"}));
    // Escape reaches the window, not an edit field.
    setFocusWidget(nullptr);
    if (QWidget* platform = platformWindow())
        platform->setFocus();
}

void CaptureWindow::stopRecording() {
    if (!m_recording || !m_session)
        return;
    m_session->stop();  // the worker reports its end, which closes the window
}

void CaptureWindow::runEnded() {
    if (!m_session || m_session->running())
        return;
    const CaptureResult result = m_session->stop();
    m_session.reset();
    if (!m_recording) {
        // The preview ended by itself: the device went away.
        disconnectDevice();
        m_preview->clearPicture();
        enableControls();
        return;
    }
    m_recording = false;
    // A recording that wrote nothing usable is not handed on as a clip.
    const bool kept = result.ok && result.frames > 0;
    if (!kept)
        showMessage(formatText(resources().text("e_capture_failed"),
                               {result.error.empty() ? resources().text("capture_nothing") : result.error}));
    if (owner())
        owner()->enable(true);
    destroy();
    endModal(kept ? 1 : 0);
}

void CaptureWindow::showPreview(const QImage& picture) {
    m_bridge->previewShown();
    if (!exists())
        return;
    if (picture.width() != m_preview->width() || picture.height() != m_preview->height())
        layOut(picture.width(), picture.height());
    m_preview->setPicture(picture);
}

void CaptureWindow::countFrame(int count) {
    if (!m_recording || count < m_framesCaptured)
        return;
    m_framesCaptured = count;
    setTitle(formatText(resources().text("capture_count"), {std::to_string(count)}));
}

void CaptureWindow::tellNotice(int notice) {
    if (notice == static_cast<int>(CaptureNotice::NoMicrophone) && !m_noMicrophoneShown) {
        m_noMicrophoneShown = true;
        showMessage(resources().text("capture_no_mic"));
    } else if (notice == static_cast<int>(CaptureNotice::CameraLost) && !m_lostShown) {
        m_lostShown = true;
        showMessage(resources().text("capture_lost"));
    }
}

void CaptureWindow::onKey(int code) {
    if (m_recording && code == 27)
        stopRecording();
    else if (code != 'q')  // the platform's quit key does not close a capture
        DialogWindow::onKey(code);
}

void CaptureWindow::onLeftDown(int x, int y, int modifiers) {
    if (m_recording)
        stopRecording();
    else
        DialogWindow::onLeftDown(x, y, modifiers);
}

void CaptureWindow::onRightDown(int x, int y, int modifiers) {
    if (m_recording)
        stopRecording();
    else
        DialogWindow::onRightDown(x, y, modifiers);
}

void CaptureWindow::onClose() {
    m_recording = false;
    m_session.reset();
    m_device.reset();
    DialogWindow::onClose();
    endModal(0);
}

std::string proposedCapturePath() {
    const std::string exhibition = settings().find("exhibition", "0");
    if (!exhibition.empty() && exhibition[0] != '0')
        return exhibition;
    std::string folder = settings().find("tmp_dir", "");
    if (folder.empty() || !isDirectory(folder))
        folder = workDirectory();
    if (!folder.empty() && !isDirectory(folder))
        makeDirectories(folder);
    std::optional<std::string> path = uniqueName(folder, "nv", ".avi");
    return path ? *path : folder + "/nv0.avi";
}

std::optional<std::string> runCapture(Window* owner, const std::string& proposedPath) {
    if (CaptureWindow::openWindow())
        return std::nullopt;
    CaptureWindow window(owner, proposedPath);
    if (window.runModal() != 1)
        return std::nullopt;
    return window.fileName();
}

std::optional<std::string> runCapture(Window* owner) { return runCapture(owner, proposedCapturePath()); }

}  // namespace veltro
