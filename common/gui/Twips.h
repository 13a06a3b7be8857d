#pragma once

#include <QRect>

namespace hv {

// The windows were drawn in twips (1/1440 inch). A length becomes whole pixels at the primary
// screen's logical dots per inch, cut to the pixel below: at the usual 96 dpi that is one pixel
// per 15 twips, as the windows have always been laid out.
int twipsToPixels(int twips);
QRect twipsRect(int left, int top, int width, int height);

} // namespace hv
