#pragma once

#include <QImage>

namespace hv {

// The two pictures of the alert popup, drawn pixel by pixel at their design size.
class BalloonPictures {
public:
    static constexpr int Width = 380;
    static constexpr int Height = 120;
    static constexpr int BoxRows = 96;
    static constexpr int TailLeft = 297;
    static constexpr int TailRight = 316;

    // The speech balloon: a yellow box with a black outline over the full width and the top 96
    // rows, and a tail at columns 297–316 that narrows to a point at the bottom with its right
    // edge straight. Every other pixel is transparent.
    static QImage balloon();
    // The 17 × 15 dismiss button with transparent corner pixels.
    static QImage dismiss();
};

} // namespace hv
