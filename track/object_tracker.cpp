// Median-flow tracking on OpenCV's pyramidal Lucas-Kanade optical flow
// (forward-backward checking, patch correlation filtering), confirmed every
// frame by matching the middle of the object as it looked when tracking
// started, quarter by quarter so that a partly covered object still matches.
// The work per frame is kept small: the flow's pyramids reuse their pictures,
// only the windows that are matched are turned into Lab, and a close match
// right where the flow points spares the full search.
#include "track/object_tracker.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include "services/progress.h"

namespace veltro {

namespace {

// Pictures larger than this (either side) are tracked at a reduced size: the
// flow of a moving object needs no more detail, and the work stays bounded.
constexpr int kWorkingSide = 640;
// Points of the flow grid inside the box, per side.
constexpr int kGridSide = 10;
// Lucas-Kanade window and pyramid depth: follows motions of up to about 60
// pixels per frame at the working size.
const cv::Size kFlowWindow(15, 15);
constexpr int kFlowLevels = 3;
// Half side of the patches compared around each flow point.
constexpr int kPatchSide = 10;
// Fewest points that must survive filtering for a frame to count.
constexpr int kMinPoints = 6;
// Median distance of the kept points from the common motion, in working
// pixels, above which the flow no longer describes one object.
constexpr double kMaxSpread = 6.0;
// Frames the object may stay unsure (partly hidden, blurred) before it
// counts as lost.
constexpr int kMaxUnsure = 6;
// How much of a newly found motion goes into the kept motion per frame.
constexpr double kVelocityBlend = 0.5;
// How fast the recent look follows the object, and how much less its
// matches count than those of the first look.
constexpr double kRecentBlend = 0.1;
constexpr double kRecentPenalty = 0.1;
// Share of the box's sides the matched middle part takes, and how far
// around a guess it is looked for (share of the box, at least kMinSearch
// working pixels; wider for every unsure frame).
constexpr double kCoreShare = 0.7;
constexpr double kSearchShare = 0.3;
constexpr double kMinSearch = 6.0;
// Least correlation at which the object counts as found for sure.
constexpr double kMinMatch = 0.5;
// How far around the flow's guess the quick look searches (working pixels),
// and the least correlation that settles a frame there without the full
// search; a small object needs a closer one.
constexpr double kQuickSearch = 3.0;
constexpr double kQuickMatch = 0.75;
constexpr double kQuickMatchSmall = 0.9;
// Boxes whose smaller side is below this (working pixels) hold a small
// object: its look is matched whole, with the edge of the box around it (a
// small plain object has no inner detail, and quarters of it say nothing),
// and it must match more closely to count as found.
constexpr double kSmallBox = 24.0;
constexpr double kMinMatchSmall = 0.8;
// A small object matching less closely (its background changed) still counts
// when the match lies where both its motion and the flow put it.
constexpr double kMinMatchSmallAgreeing = 0.6;
constexpr double kAgreement = 2.0;
// Weight of the colour (a, b of Lab) against the lightness when matching:
// a coloured object on a background of similar lightness differs mostly in
// colour.
constexpr double kChromaWeight = 2.0;
// Scales tried around the flow's scale when matching.
constexpr std::initializer_list<double> kMatchScales = {0.96, 1.0, 1.04};
// Least part of the box that must remain inside the picture.
constexpr double kMinVisible = 0.5;
// Per-frame scale change is held to this range.
constexpr double kMaxScaleStep = 1.15;

double median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + mid, values.end());
    double m = values[mid];
    if (values.size() % 2 == 0) {
        const double lower = *std::max_element(values.begin(), values.begin() + mid);
        m = (m + lower) / 2.0;
    }
    return m;
}

// Normalised cross-correlation of two same-sized one-channel float patches
// (continuous, as getRectSubPix makes them), in one pass; 0 for flat ones.
double correlation(const cv::Mat& a, const cv::Mat& b) {
    const auto* pa = a.ptr<float>();
    const auto* pb = b.ptr<float>();
    const size_t n = a.total();
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (size_t i = 0; i < n; ++i) {
        sa += pa[i];
        sb += pb[i];
        saa += static_cast<double>(pa[i]) * pa[i];
        sbb += static_cast<double>(pb[i]) * pb[i];
        sab += static_cast<double>(pa[i]) * pb[i];
    }
    const double count = static_cast<double>(n);
    const double varA = saa / count - (sa / count) * (sa / count);
    const double varB = sbb / count - (sb / count) * (sb / count);
    if (varA < 1e-6 || varB < 1e-6)
        return 0.0;
    return (sab / count - (sa / count) * (sb / count)) / std::sqrt(varA * varB);
}

}  // namespace

// A picture at the tracker's working size: 8-bit grey for the flow, and the
// 8-bit colour picture from which the parts that are matched against the
// object's look are turned into Lab (as floats, colour weighted) when asked
// for: only a few small windows of a frame are ever compared.
struct WorkingFrame {
    cv::Mat gray;
    cv::Mat bgr;
    bool empty() const { return gray.empty(); }

    // Lab colour of the part of area inside the picture; inside is set to
    // that part (empty when none, and so is the result).
    cv::Mat colour(const cv::Rect& area, cv::Rect& inside) const {
        inside = area & cv::Rect(0, 0, bgr.cols, bgr.rows);
        if (inside.empty())
            return {};
        cv::Mat lab, out;
        cv::cvtColor(bgr(inside), lab, cv::COLOR_BGR2Lab);
        lab.convertTo(out, CV_32FC3);
        out -= cv::Scalar(0.0, 128.0, 128.0);
        cv::multiply(out, cv::Scalar(1.0, kChromaWeight, kChromaWeight), out);
        return out;
    }

    // The colour of a size.width x size.height part centred on centre (sub-
    // pixel, the picture's edge pixels repeated outside it).
    cv::Mat colourAround(cv::Size size, cv::Point2d centre) const {
        // Two pixels more on every side than the part needs, so that only
        // the picture's own edge is ever repeated.
        const cv::Rect area(static_cast<int>(std::floor(centre.x - size.width / 2.0)) - 2,
                            static_cast<int>(std::floor(centre.y - size.height / 2.0)) - 2, size.width + 5,
                            size.height + 5);
        cv::Rect inside;
        const cv::Mat lab = colour(area, inside);
        cv::Mat part;
        if (lab.empty())
            return cv::Mat::zeros(size, CV_32FC3);
        cv::getRectSubPix(lab, size,
                          cv::Point2f(static_cast<float>(centre.x - inside.x), static_cast<float>(centre.y - inside.y)),
                          part, CV_32F);
        return part;
    }
};

static WorkingFrame workingFrame(const ImageBuffer& frame, double scale) {
    // ImageBuffer words are 0xAARRGGBB: in memory B, G, R, A.
    cv::Mat bgra(frame.height, frame.width, CV_8UC4, const_cast<uint32_t*>(frame.data()));
    WorkingFrame w;
    cv::cvtColor(bgra, w.bgr, cv::COLOR_BGRA2BGR);
    if (scale < 1.0) {
        cv::Mat small;
        cv::resize(w.bgr, small, cv::Size(), scale, scale, cv::INTER_AREA);
        w.bgr = small;
    }
    cv::cvtColor(w.bgr, w.gray, cv::COLOR_BGR2GRAY);
    return w;
}

struct ObjectTracker::State {
    // Picture size of the clip and the working scale (working = picture * scale).
    int pictureWidth = 0;
    int pictureHeight = 0;
    double scale = 1.0;
    // The box in working pixels, centred on the followed point, and its size
    // relative to the start.
    double cx = 0.0;
    double cy = 0.0;
    double width0 = 0.0;
    double height0 = 0.0;
    double boxScale = 1.0;
    // Where the object was last found for sure, its motion per frame then,
    // and the frames since.
    double sureX = 0.0;
    double sureY = 0.0;
    double velocityX = 0.0;
    double velocityY = 0.0;
    int unsure = 0;
    std::vector<cv::Mat> previous;  // pyramid of the last frame
    std::vector<cv::Mat> current;   // this frame's, its pictures reused frame after frame
    cv::Mat previousGray;
    bool beyondEdge = false;  // the last unsure guess had left the picture
    bool small = false;   // a small object, matched whole
    cv::Mat firstCore;    // the middle of the box when tracking started
    cv::Mat recentCore;   // the same, slowly following changes of appearance
    std::string failure;

    double boxWidth() const { return width0 * boxScale; }
    double boxHeight() const { return height0 * boxScale; }

    bool begin(const WorkingFrame& frame, double x, double y, int w, int h) {
        const cv::Mat& gray = frame.gray;
        const double side = std::clamp(kClickBoxFraction * std::min(pictureWidth, pictureHeight),
                                       static_cast<double>(kMinTrackBox), static_cast<double>(kMaxTrackBox));
        const double bw = (w >= 1 && h >= 1 ? w : side) * scale;
        const double bh = (w >= 1 && h >= 1 ? h : side) * scale;
        cx = sureX = x * scale;
        cy = sureY = y * scale;
        width0 = std::max(6.0, bw);
        height0 = std::max(6.0, bh);
        boxScale = 1.0;
        small = std::min(width0, height0) < kSmallBox;
        const double share = small ? 1.0 : kCoreShare;
        const cv::Size coreSize(std::max(6, static_cast<int>(width0 * share)),
                                std::max(6, static_cast<int>(height0 * share)));
        firstCore = frame.colourAround(coreSize, {cx, cy});
        recentCore = firstCore.clone();
        previousGray = gray;
        cv::buildOpticalFlowPyramid(gray, previous, kFlowWindow, kFlowLevels);
        return true;
    }

    // The common motion of the box's picture from the last frame to this one
    // (median flow): false when too few points flow reliably or they do not
    // agree on one motion.
    bool flow(const std::vector<cv::Mat>& pyramid, const cv::Mat& gray, double& dx, double& dy, double& grow) const {
        const cv::Rect2d b = cv::Rect2d(cx - boxWidth() / 2, cy - boxHeight() / 2, boxWidth(), boxHeight()) &
                             cv::Rect2d(0, 0, gray.cols - 1, gray.rows - 1);
        if (b.width < 2 || b.height < 2)
            return false;
        std::vector<cv::Point2f> from;
        for (int i = 0; i < kGridSide; ++i)
            for (int j = 0; j < kGridSide; ++j)
                from.emplace_back(static_cast<float>(b.x + b.width * (j + 0.5) / kGridSide),
                                  static_cast<float>(b.y + b.height * (i + 0.5) / kGridSide));
        std::vector<cv::Point2f> to, back;
        std::vector<uchar> forwardOk, backwardOk;
        std::vector<float> errors;
        const cv::TermCriteria criteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 20, 0.03);
        cv::calcOpticalFlowPyrLK(previous, pyramid, from, to, forwardOk, errors, kFlowWindow, kFlowLevels, criteria);
        cv::calcOpticalFlowPyrLK(pyramid, previous, to, back, backwardOk, errors, kFlowWindow, kFlowLevels, criteria);

        // Forward-backward error and patch correlation of every point that
        // flowed both ways inside the picture; the better half of each kept.
        std::vector<int> valid;
        std::vector<double> fb, ncc;
        const cv::Rect2f frameRect(0, 0, static_cast<float>(gray.cols), static_cast<float>(gray.rows));
        cv::Mat a, c;
        for (size_t k = 0; k < from.size(); ++k) {
            if (!forwardOk[k] || !backwardOk[k] || !frameRect.contains(to[k]))
                continue;
            cv::getRectSubPix(previousGray, cv::Size(kPatchSide, kPatchSide), from[k], a, CV_32F);
            cv::getRectSubPix(gray, cv::Size(kPatchSide, kPatchSide), to[k], c, CV_32F);
            valid.push_back(static_cast<int>(k));
            fb.push_back(cv::norm(from[k] - back[k]));
            ncc.push_back(correlation(a, c));
        }
        if (static_cast<int>(valid.size()) < kMinPoints)
            return false;
        const double fbLimit = median(fb);
        const double nccLimit = median(ncc);
        std::vector<cv::Point2f> kept0, kept1;
        for (size_t v = 0; v < valid.size(); ++v) {
            if (fb[v] <= fbLimit && ncc[v] >= nccLimit) {
                kept0.push_back(from[valid[v]]);
                kept1.push_back(to[valid[v]]);
            }
        }
        if (static_cast<int>(kept0.size()) < kMinPoints)
            return false;
        std::vector<double> dxs, dys;
        for (size_t k = 0; k < kept0.size(); ++k) {
            dxs.push_back(kept1[k].x - kept0[k].x);
            dys.push_back(kept1[k].y - kept0[k].y);
        }
        dx = median(dxs);
        dy = median(dys);
        std::vector<double> spread;
        for (size_t k = 0; k < kept0.size(); ++k)
            spread.push_back(std::hypot(dxs[k] - dx, dys[k] - dy));
        if (median(spread) > kMaxSpread)
            return false;
        std::vector<double> ratios;
        for (size_t i = 0; i < kept0.size(); ++i) {
            for (size_t j = i + 1; j < kept0.size(); ++j) {
                const double before = cv::norm(kept0[i] - kept0[j]);
                if (before > 1.0)
                    ratios.push_back(cv::norm(kept1[i] - kept1[j]) / before);
            }
        }
        grow = ratios.empty() ? 1.0 : std::clamp(median(ratios), 1.0 / kMaxScaleStep, kMaxScaleStep);
        return true;
    }

    // Correlation of templ with every placement inside region, robust to the
    // object being partly covered: the template's four quarters are matched
    // on their own and each placement scores the mean of its best two.
    static cv::Mat quarterScores(const cv::Mat& region, const cv::Mat& templ) {
        const cv::Size out(region.cols - templ.cols + 1, region.rows - templ.rows + 1);
        const int hw = templ.cols / 2, hh = templ.rows / 2;
        const cv::Rect quarters[4] = {{0, 0, hw, hh}, {hw, 0, templ.cols - hw, hh}, {0, hh, hw, templ.rows - hh},
                                      {hw, hh, templ.cols - hw, templ.rows - hh}};
        cv::Mat each[4];
        for (int q = 0; q < 4; ++q)
            cv::matchTemplate(region, templ(quarters[q]), each[q], cv::TM_CCOEFF_NORMED);
        cv::Mat scores(out, CV_32F);
        for (int y = 0; y < out.height; ++y) {
            for (int x = 0; x < out.width; ++x) {
                float v[4];
                for (int q = 0; q < 4; ++q) {
                    const float value = each[q].at<float>(y + quarters[q].y, x + quarters[q].x);
                    v[q] = std::isfinite(value) ? value : 0.0f;
                }
                std::sort(v, v + 4);
                scores.at<float>(y, x) = (v[2] + v[3]) / 2.0f;
            }
        }
        return scores;
    }

    // Looks for the middle of the object in each of looks around a guessed
    // centre (up to reach working pixels off) at the guessed scale times each
    // of factors. The best correlation (the recent look's lowered a little:
    // it may have drifted), its centre and scale, and whether that best lies
    // on the edge of the searched area (the object may be further off); -1
    // when nothing could be compared.
    double match(const WorkingFrame& frame, std::initializer_list<const cv::Mat*> looks,
                 std::initializer_list<double> factors, double gx, double gy, double gscale, double reach,
                 cv::Point2d& centre, double& bestScale, bool* onEdge = nullptr) const {
        // Every placement looked at, and the one stretch of the picture
        // that covers them all, turned into Lab once.
        struct Placement {
            const cv::Mat* look;
            double scale;
            cv::Size size;
            cv::Rect area;
        };
        std::vector<Placement> placements;
        cv::Rect all;
        const int r = static_cast<int>(std::ceil(reach));
        for (const cv::Mat* look : looks) {
            for (double factor : factors) {
                const double s = gscale * factor;
                const cv::Size size(std::max(4, static_cast<int>(std::lround(look->cols * s))),
                                    std::max(4, static_cast<int>(std::lround(look->rows * s))));
                const cv::Rect area(static_cast<int>(std::floor(gx - (size.width - 1) / 2.0)) - r,
                                    static_cast<int>(std::floor(gy - (size.height - 1) / 2.0)) - r,
                                    size.width + 2 * r, size.height + 2 * r);
                placements.push_back({look, s, size, area});
                all = placements.size() == 1 ? area : (all | area);
            }
        }
        cv::Rect covered;
        const cv::Mat colour = frame.colour(all, covered);
        double best = -1.0;
        for (const Placement& p : placements) {
            const cv::Rect inside = p.area & covered;
            if (inside.width <= p.size.width + 2 || inside.height <= p.size.height + 2)
                continue;
            cv::Mat templ;
            cv::resize(*p.look, templ, p.size, 0, 0, cv::INTER_AREA);
            const cv::Mat region = colour(inside - covered.tl());
            cv::Mat scores;
            if (small) {
                cv::matchTemplate(region, templ, scores, cv::TM_CCOEFF_NORMED);
                cv::patchNaNs(scores, 0.0);
            } else {
                scores = quarterScores(region, templ);
            }
            double peak = 0.0;
            cv::Point at;
            cv::minMaxLoc(scores, nullptr, &peak, nullptr, &at);
            const double score = p.look == &recentCore ? peak - kRecentPenalty : peak;
            if (score <= best)
                continue;
            // Sub-pixel peak from a parabola through the neighbours.
            auto offset = [](float l, float c, float rr) {
                const float d = l - 2 * c + rr;
                return std::abs(d) > 1e-6f ? 0.5f * (l - rr) / d : 0.0f;
            };
            double sx = at.x, sy = at.y;
            if (at.x > 0 && at.x < scores.cols - 1)
                sx += offset(scores.at<float>(at.y, at.x - 1), scores.at<float>(at.y, at.x),
                             scores.at<float>(at.y, at.x + 1));
            if (at.y > 0 && at.y < scores.rows - 1)
                sy += offset(scores.at<float>(at.y - 1, at.x), scores.at<float>(at.y, at.x),
                             scores.at<float>(at.y + 1, at.x));
            best = score;
            bestScale = p.scale;
            centre = {inside.x + sx + (p.size.width - 1) / 2.0, inside.y + sy + (p.size.height - 1) / 2.0};
            if (onEdge != nullptr)
                *onEdge = at.x == 0 || at.y == 0 || at.x == scores.cols - 1 || at.y == scores.rows - 1;
        }
        return best;
    }

    // The recent look moves a little towards the object as it looks now.
    void adaptLook(const WorkingFrame& frame) {
        const cv::Mat now = frame.colourAround(recentCore.size(), {cx, cy});
        recentCore = (1 - kRecentBlend) * recentCore + kRecentBlend * now;
    }

    bool next(const WorkingFrame& frame) {
        const cv::Mat& gray = frame.gray;
        if (gray.size() != previousGray.size()) {
            failure = "lost";
            return false;
        }
        cv::buildOpticalFlowPyramid(gray, current, kFlowWindow, kFlowLevels);

        // Two guesses: where the flow carries the box, and where the object
        // would be had it kept its last sure motion (it may be partly hidden,
        // so that the flow sees the cover standing still).
        double dx = 0.0, dy = 0.0, grow = 1.0;
        const bool flowed = flow(current, gray, dx, dy, grow);
        const double predictedX = sureX + velocityX * (unsure + 1);
        const double predictedY = sureY + velocityY * (unsure + 1);
        const double reach = std::max(kMinSearch, kSearchShare * std::max(boxWidth(), boxHeight())) * (1 + unsure);
        cv::Point2d centre, other;
        double matchScale = boxScale, otherScale = boxScale;
        double best = -1.0;
        // The quick look: where a reliable flow puts the object, its first
        // look at the flow's scale, a few pixels around. A close match there
        // (not at the edge of that small search) settles the frame; the full
        // search, which covers the same placements and more, could only
        // confirm that the object is there.
        bool quick = false;
        if (flowed && unsure == 0) {
            bool onEdge = true;
            const double score = match(frame, {&firstCore}, {1.0}, cx + dx, cy + dy, boxScale * grow, kQuickSearch,
                                       centre, matchScale, &onEdge);
            quick = !onEdge && score >= (small ? kQuickMatchSmall : kQuickMatch);
            if (quick)
                best = score;
        }
        if (!quick) {
            if (flowed)
                best = match(frame, {&firstCore, &recentCore}, kMatchScales, cx + dx, cy + dy, boxScale * grow, reach,
                             centre, matchScale);
            const double predicted = match(frame, {&firstCore, &recentCore}, kMatchScales, predictedX, predictedY,
                                           boxScale, reach, other, otherScale);
            if (predicted > best) {
                best = predicted;
                centre = other;
                matchScale = otherScale;
            }
        }

        bool found = best >= (small ? kMinMatchSmall : kMinMatch);
        if (small && !found && best >= kMinMatchSmallAgreeing && flowed && unsure == 0) {
            const double fromMotion = std::hypot(centre.x - predictedX, centre.y - predictedY);
            const double fromFlow = std::hypot(centre.x - (cx + dx), centre.y - (cy + dy));
            found = fromMotion <= kAgreement && fromFlow <= kAgreement;
        }
        if (found) {
            const int frames = unsure + 1;
            const double vx = (centre.x - sureX) / frames;
            const double vy = (centre.y - sureY) / frames;
            // A new motion is blended into a kept one; the first motion, or
            // one found after unsure frames, is taken as it is (for both
            // directions alike: decided before either changes).
            const bool blend = unsure == 0 && (velocityX != 0.0 || velocityY != 0.0);
            velocityX = blend ? kVelocityBlend * vx + (1 - kVelocityBlend) * velocityX : vx;
            velocityY = blend ? kVelocityBlend * vy + (1 - kVelocityBlend) * velocityY : vy;
            cx = sureX = centre.x;
            cy = sureY = centre.y;
            boxScale = matchScale;
            unsure = 0;
            // The recent look follows slow changes of the object's appearance
            // (not that of a small object: its box is mostly background, and
            // following it lets the box slide off the object).
            if (!small)
                adaptLook(frame);
        } else {
            // Not found for sure: carry on with the guess for a few frames
            // (a short cover); the caller keeps only sure positions. A guess
            // that runs out of the picture waits at its edge, inside it: an
            // object that only touched the edge (a ball bouncing off the
            // floor at the bottom of the picture) is found again there.
            const double halfWidth = std::min(boxWidth(), static_cast<double>(gray.cols)) / 2;
            const double halfHeight = std::min(boxHeight(), static_cast<double>(gray.rows)) / 2;
            cx = std::clamp(predictedX, halfWidth, gray.cols - halfWidth);
            cy = std::clamp(predictedY, halfHeight, gray.rows - halfHeight);
            const cv::Rect2d guess(predictedX - boxWidth() / 2, predictedY - boxHeight() / 2, boxWidth(), boxHeight());
            beyondEdge = (guess & cv::Rect2d(0, 0, gray.cols, gray.rows)).area() < kMinVisible * guess.area();
            if (++unsure > kMaxUnsure) {
                failure = beyondEdge ? "left" : "lost";
                return false;
            }
        }
        if (cx < 0 || cy < 0 || cx >= gray.cols || cy >= gray.rows) {
            failure = "left";
            return false;
        }
        const cv::Rect2d box(cx - boxWidth() / 2, cy - boxHeight() / 2, boxWidth(), boxHeight());
        if ((box & cv::Rect2d(0, 0, gray.cols, gray.rows)).area() < kMinVisible * box.area()) {
            failure = "left";
            return false;
        }
        std::swap(previous, current);
        previousGray = gray;
        return true;
    }
};

ObjectTracker::ObjectTracker() : m(std::make_unique<State>()) {}
ObjectTracker::~ObjectTracker() = default;

bool ObjectTracker::start(const ImageBuffer& frame, double x, double y, int boxWidth, int boxHeight) {
    if (frame.width < 8 || frame.height < 8 || frame.pixelCount() != static_cast<size_t>(frame.width) * frame.height)
        return false;
    if (!(x >= 0 && y >= 0 && x < frame.width && y < frame.height))
        return false;
    m = std::make_unique<State>();
    m->pictureWidth = frame.width;
    m->pictureHeight = frame.height;
    m->scale = std::min(1.0, static_cast<double>(kWorkingSide) / std::max(frame.width, frame.height));
    return m->begin(workingFrame(frame, m->scale), x, y, boxWidth, boxHeight);
}

bool ObjectTracker::step(const ImageBuffer& frame) {
    if (m->previous.empty() || frame.width != m->pictureWidth || frame.height != m->pictureHeight ||
        frame.pixelCount() != static_cast<size_t>(frame.width) * frame.height) {
        m->failure = "lost";
        return false;
    }
    return m->next(workingFrame(frame, m->scale));
}

double ObjectTracker::x() const { return m->cx / m->scale; }
double ObjectTracker::y() const { return m->cy / m->scale; }
bool ObjectTracker::sure() const { return m->unsure == 0; }
double ObjectTracker::scale() const { return m->boxScale; }
const std::string& ObjectTracker::failure() const { return m->failure; }

namespace {

TrackEnd endFor(const ObjectTracker& tracker) {
    return tracker.failure() == "left" ? TrackEnd::Left : TrackEnd::Lost;
}

}  // namespace

bool trackObject(const FrameSupplier& frames, int frameCount, const TrackTarget& target, int first, int last,
                 Progress& progress, TrackOutcome& outcome, std::string* error) {
    outcome = TrackOutcome{};
    auto failWith = [&](const std::string& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    if (frameCount <= 0)
        return failWith("the clip has no frames");
    if (first > last)
        std::swap(first, last);
    first = std::clamp(first, 0, frameCount - 1);
    last = std::clamp(last, 0, frameCount - 1);
    const int start = target.frame;
    if (start < 0 || start >= frameCount)
        return failWith("frame " + std::to_string(start) + " is not in the clip");
    const ImageBuffer* picture = frames(start);
    if (picture == nullptr)
        return failWith("frame " + std::to_string(start) + " cannot be read");
    ObjectTracker forward, backward;
    if (!forward.start(*picture, target.x, target.y, target.boxWidth, target.boxHeight) ||
        !backward.start(*picture, target.x, target.y, target.boxWidth, target.boxHeight))
        return failWith("the point lies outside the picture");
    const int pictureWidth = picture->width;
    const int pictureHeight = picture->height;

    const int forwardFrames = start < last ? last - start : 0;
    const int backwardFrames = start > first ? start - first : 0;
    const int total = forwardFrames + backwardFrames;
    int done = 0;
    const bool startInside = start >= first && start <= last;

    // One pass's positions: sure ones as found; unsure ones (the object
    // partly hidden) wait for the next sure one and are then placed evenly
    // between the two, or are dropped when the object is lost.
    struct Pass {
        std::vector<TrackPoint> points;
        std::vector<int> waiting;
        TrackPoint lastSure;
        void add(const ObjectTracker& tracker, int frame) {
            if (!tracker.sure()) {
                waiting.push_back(frame);
                return;
            }
            const TrackPoint found{tracker.x(), tracker.y(), frame};
            for (int f : waiting) {
                const double u = static_cast<double>(f - lastSure.frame) / (frame - lastSure.frame);
                points.push_back({lastSure.x + u * (found.x - lastSure.x), lastSure.y + u * (found.y - lastSure.y), f});
            }
            waiting.clear();
            points.push_back(found);
            lastSure = found;
        }
        // The first frame not found for sure, given the frame that failed.
        int missed(int failed) const { return waiting.empty() ? failed : waiting.front(); }
    };
    Pass after{{}, {}, {target.x, target.y, start}};
    Pass before{{}, {}, {target.x, target.y, start}};

    for (int f = start + 1; f <= last; ++f) {
        if (!progress.update(done, total)) {
            outcome.forwardEnd = TrackEnd::Stopped;
            break;
        }
        const ImageBuffer* frame = frames(f);
        if (frame == nullptr || frame->width != pictureWidth || frame->height != pictureHeight) {
            outcome.forwardEnd = TrackEnd::Unreadable;
            outcome.forwardMissed = after.missed(f);
            break;
        }
        if (!forward.step(*frame)) {
            outcome.forwardEnd = endFor(forward);
            outcome.forwardMissed = after.missed(f);
            break;
        }
        after.add(forward, f);
        ++done;
    }
    if (outcome.forwardEnd == TrackEnd::Reached && !after.waiting.empty()) {
        outcome.forwardEnd = TrackEnd::Lost;
        outcome.forwardMissed = after.waiting.front();
    }

    // Backwards, a chunk at a time: the chunk is decoded forward (cheap for
    // compressed clips) and followed from its end to its start.
    const double scale = std::min(1.0, static_cast<double>(kWorkingSide) / std::max(pictureWidth, pictureHeight));
    bool going = outcome.forwardEnd != TrackEnd::Stopped && start > first;
    for (int high = start - 1; going && high >= first;) {
        const int low = std::max(first, high - kBackwardChunk + 1);
        std::vector<WorkingFrame> chunk;
        for (int f = low; f <= high; ++f) {
            const ImageBuffer* frame = frames(f);
            if (frame == nullptr || frame->width != pictureWidth || frame->height != pictureHeight)
                chunk.emplace_back();
            else
                chunk.push_back(workingFrame(*frame, scale));
        }
        for (int f = high; f >= low; --f) {
            if (!progress.update(done, total)) {
                outcome.backwardEnd = TrackEnd::Stopped;
                going = false;
                break;
            }
            const WorkingFrame& working = chunk[static_cast<size_t>(f - low)];
            if (working.empty()) {
                outcome.backwardEnd = TrackEnd::Unreadable;
                outcome.backwardMissed = before.missed(f);
                going = false;
                break;
            }
            if (!backward.m->next(working)) {
                outcome.backwardEnd = endFor(backward);
                outcome.backwardMissed = before.missed(f);
                going = false;
                break;
            }
            before.add(backward, f);
            ++done;
        }
        high = low - 1;
    }
    if (outcome.backwardEnd == TrackEnd::Reached && !before.waiting.empty()) {
        outcome.backwardEnd = TrackEnd::Lost;
        outcome.backwardMissed = before.waiting.front();
    }
    if (outcome.forwardEnd == TrackEnd::Stopped && start > first)
        outcome.backwardEnd = TrackEnd::Stopped;
    progress.update(total, total);

    // Only frames of the span are reported.
    auto inSpan = [&](const TrackPoint& p) { return p.frame >= first && p.frame <= last; };
    for (auto it = before.points.rbegin(); it != before.points.rend(); ++it)
        if (inSpan(*it))
            outcome.points.push_back(*it);
    if (startInside)
        outcome.points.push_back({target.x, target.y, start});
    for (const TrackPoint& p : after.points)
        if (inSpan(p))
            outcome.points.push_back(p);
    return true;
}

}  // namespace veltro
