// The choice the frame store writer makes under adaptive keys: a difference
// frame whose changed blocks would cost more bytes than a key frame of the
// same picture is stored as a key frame instead.
//
// The rule works from the share of changed blocks first: sprites sorted by
// brightness lose the neighbourhood that JPEG compresses well, and each one
// also costs an (entry, block) pair in the index, so a sprite costs more than
// the same block inside a whole picture. Below keyShareLow of the blocks
// changed the difference frame is always smaller; from keyShareHigh on the key
// frame always is. In between both are encoded in memory and the smaller wins.
#pragma once

#include <cstdint>
#include <vector>

#include "image/image_buffer.h"

namespace veltro {

class JpegFormat;

struct KeyChoiceRule {
    // Shares of changed blocks (0-1) bounding the band where a trial encode
    // decides.
    double keyShareLow = 0.45;
    double keyShareHigh = 0.80;
    // Index bytes one sprite adds: its (entry, block) pair in the block list.
    double indexBytesPerSprite = 1.5;
    // The picture a frame must deliver: blocks that changed by more than this
    // part of the difference threshold count as changed for the choice. A
    // difference frame leaves smaller changes out, which a key frame of the
    // same JPEG quality would show, so comparing at the full threshold would
    // favour difference frames that deliver a worse picture.
    double thresholdPart = 0.5;
    // ... but never a quality above this one (a threshold of 96 x (100 - it)
    // per block), so that sensor noise of a fixed camera does not count as
    // change at high qualities; at qualities above it the difference
    // frame's own threshold is used.
    int highestChoiceQuality = 85;
};


// The rule the writer uses.
const KeyChoiceRule& adaptiveKeyRule();

// The difference quality whose change mask the choice looks at: the one whose
// threshold is rule.thresholdPart of diffQuality's (0-100), held to at most
// rule.highestChoiceQuality, and never below diffQuality.
int choiceQuality(int diffQuality, const KeyChoiceRule& rule = adaptiveKeyRule());

enum class KeyChoice {
    Difference,  // keep the difference frame
    Key,         // store a key frame
    Trial,       // close: encode both and compare
};

// The cheap estimate: changed of total blocks changed. Difference below
// rule.keyShareLow, Key at or above rule.keyShareHigh, Trial in between.
// Difference for an empty grid.
KeyChoice choiceByChangedShare(int64_t changed, int64_t total, const KeyChoiceRule& rule = adaptiveKeyRule());

// The trial's verdict: true when the key frame's JPEG bytes are at most the
// sprite sheet's JPEG bytes plus the index bytes of its sprites.
bool keyCostsLess(int64_t keyBytes, int64_t sheetBytes, int64_t sprites,
                  const KeyChoiceRule& rule = adaptiveKeyRule());

// What the choices of one save came to, for the benchmark and for callers
// that report them.
struct KeyChoiceCounts {
    int byShareDifference = 0;
    int byShareKey = 0;
    int trials = 0;
    int trialKeys = 0;  // trials won by the key frame
};

// The choices of one save. A trial's verdict narrows the band for the frames
// after it: once sprites won at some share, frames changed up to a little
// more than that keep their difference frame without a trial, and once the
// key frame won, frames changed from a little less than that on become key
// frames. Trials so stay a handful per save even when a clip sits in the band.
class AdaptiveKeyChooser {
public:
    // How far beyond a trial's share its verdict is taken on.
    static constexpr double kLearnedMargin = 0.05;

    explicit AdaptiveKeyChooser(const KeyChoiceRule& rule = adaptiveKeyRule())
        : m_low(rule.keyShareLow), m_high(rule.keyShareHigh), m_rule(rule) {}

    // Decides one difference frame: frame is the picture to deliver, changed
    // its change mask at choiceQuality (one flag per block, row by row), jpeg
    // the writer's JPEG settings. True when it should be stored as a key frame. A trial
    // that cannot encode keeps the difference frame.
    bool storeAsKeyFrame(const ImageBuffer& frame, const std::vector<uint8_t>& changed, JpegFormat& jpeg);

    // The band as narrowed so far.
    double low() const { return m_low; }
    double high() const { return m_high; }
    const KeyChoiceCounts& counts() const { return m_counts; }

private:
    double m_low;
    double m_high;
    KeyChoiceRule m_rule;
    KeyChoiceCounts m_counts;
};

}  // namespace veltro
