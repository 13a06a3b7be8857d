#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace hv {

int twipsToPixels(int twips) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    // The small allowance keeps a whole pixel whole despite the division's rounding.
    return int(std::floor(twips * dpi / 1440.0 + 1e-9));
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

} // namespace hv
