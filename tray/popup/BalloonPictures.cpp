#include "popup/BalloonPictures.h"

namespace hv {

namespace {
const QRgb Yellow = qRgb(255, 255, 0);
const QRgb Black = qRgb(0, 0, 0);
} // namespace

QImage BalloonPictures::balloon() {
    QImage img(Width, Height, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int y = 0; y < BoxRows; ++y)
        for (int x = 0; x < Width; ++x) {
            const bool edge =
                y == 0 || x == 0 || x == Width - 1 || (y == BoxRows - 1 && (x <= TailLeft || x >= TailRight));
            img.setPixel(x, y, edge ? Black : Yellow);
        }
    // The tail: its left edge runs from the box's bottom at column 297 to the point at the
    // bottom row under column 316.
    const int rows = Height - BoxRows;
    for (int y = BoxRows; y < Height; ++y) {
        const int step = y - BoxRows + 1;
        const int left = TailLeft + ((TailRight - TailLeft) * step + rows / 2) / rows;
        for (int x = left; x <= TailRight; ++x) {
            const bool edge = x == left || x == TailRight || y == Height - 1;
            img.setPixel(x, y, edge ? Black : Yellow);
        }
    }
    return img;
}

QImage BalloonPictures::dismiss() {
    static const char* const rows[] = {
        ".ggggggggggggggg.", "gwwwwwwwwwwwwwwwd", "gwwwwwwwwwwwwwwkd", "gwwxxwwwwwwxxwwkd", "gwwwxxwwwwxxwwwkd",
        "gwwwwxxwwxxwwwwkd", "gwwwwwxxxxwwwwwkd", "gwwwwwwxxwwwwwwkd", "gwwwwwxxxxwwwwwkd", "gwwwwxxwwxxwwwwkd",
        "gwwwxxwwwwxxwwwkd", "gwwxxwwwwwwxxwwkd", "gwwwwwwwwwwwwwwkd", "gkkkkkkkkkkkkkkkd", ".ddddddddddddddd.",
    };
    QImage img(17, 15, QImage::Format_ARGB32);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 17; ++x) {
            QRgb c = 0;
            switch (rows[y][x]) {
            case 'g':
                c = qRgb(160, 160, 160);
                break;
            case 'w':
                c = qRgb(255, 255, 255);
                break;
            case 'k':
                c = qRgb(96, 96, 96);
                break;
            case 'x':
                c = qRgb(0, 0, 0);
                break;
            case 'd':
                c = qRgb(64, 64, 64);
                break;
            default:
                c = qRgba(0, 0, 0, 0);
                break;
            }
            img.setPixel(x, y, c);
        }
    return img;
}

} // namespace hv
