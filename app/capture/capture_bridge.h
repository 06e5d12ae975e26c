// The hand-over from the capture worker to the capture window: a listener
// of the capture run whose Qt signals are emitted on the worker's threads and
// delivered, queued, on the window's thread.
#pragma once

#include <QImage>
#include <QObject>
#include <atomic>

#include "movie/capture_session.h"

namespace veltro {

// Carries what the capture worker reports to the window's thread: every
// signal is emitted on a worker thread and delivered queued to the window.
class CaptureBridge : public QObject, public CaptureListener {
    Q_OBJECT
public:
    void previewFrame(const ImageBuffer& picture) override {
        // While the window has not drawn the last picture, newer ones are
        // dropped rather than queued up.
        if (m_previewPending.exchange(true))
            return;
        QImage copy(reinterpret_cast<const uchar*>(picture.data()), picture.width, picture.height,
                    picture.width * 4, QImage::Format_ARGB32);
        emit previewReady(copy.copy());
    }
    void frameRecorded(int count) override { emit frameCounted(count); }
    void notice(CaptureNotice what) override { emit noticed(static_cast<int>(what)); }
    void finished(const CaptureResult&) override { emit ended(); }
    void previewShown() { m_previewPending = false; }

signals:
    void previewReady(QImage picture);
    void frameCounted(int count);
    void noticed(int notice);
    void ended();

private:
    std::atomic<bool> m_previewPending{false};
};

}  // namespace veltro
