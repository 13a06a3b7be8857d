#include "popup/PopupWindow.h"

#include "Twips.h"
#include "platform/Platform.h"
#include "popup/BalloonPictures.h"
#include "popup/StackKeeper.h"

#include <QAccessible>
#include <QBitmap>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QRegion>
#include <QScreen>
#include <cmath>

namespace hv {

namespace {

QLabel* picture(QWidget* parent, const char* name, const QImage& image, const QRect& rect) {
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(rect);
    label->setPixmap(QPixmap::fromImage(
        image.size() == rect.size() ? image
                                    : image.scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)));
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

} // namespace

int PopupWindow::pixels(int twips) {
    return twipsToPixels(twips);
}

QRect PopupWindow::placement(const QScreen* screen) {
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!screen) screen = primary;
    const QRect full = !screen             ? QRect(0, 0, 1024, 768)
                       : screen == primary ? screen->geometry()
                                           : screen->availableGeometry();
    const int w = pixels(WidthTwips), h = pixels(HeightTwips);
    return QRect(full.x() + full.width() - w - pixels(RightMarginTwips),
                 full.y() + full.height() - h - pixels(BottomMarginTwips), w, h);
}

PopupWindow::PopupWindow(QScreen* screen)
    // A tool-tip window is left alone by the window manager (no frame, no focus given on map or
    // click, no entry in a task bar or window switcher) and is mapped above the other windows; the
    // stack keeper keeps it there while it is shown.
    : QWidget(nullptr,
              Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("frmPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);

    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(9.75);
    setFont(font);

    // The colour that stands for "see-through"; the mask below leaves none of it on screen.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(127, 127, 0));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);

    if (screen) setScreen(screen);
    const QRect rect = placement(screen);
    setGeometry(rect);
    setFixedSize(rect.size());

    const QImage balloon =
        BalloonPictures::balloon().scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    m_balloon = picture(this, "imgBalloon", balloon, QRect(QPoint(0, 0), rect.size()));

    m_msg = new QLabel(this);
    m_msg->setObjectName(QStringLiteral("lblMsg"));
    m_msg->setGeometry(twipsRect(150, 90, 5085, 1235));
    QFont msgFont(QStringLiteral("Tahoma"));
    msgFont.setPointSizeF(6.75);
    msgFont.setBold(true);
    m_msg->setFont(msgFont);
    // Alert text comes from the database: a "<" in it is text, never markup.
    m_msg->setTextFormat(Qt::PlainText);
    m_msg->setWordWrap(true);
    m_msg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_msg->setFocusPolicy(Qt::NoFocus);

    m_dismiss = picture(this, "imgDismiss", BalloonPictures::dismiss(), twipsRect(5340, 120, 255, 225));

    // A mask, not only transparency: without a compositor a transparent area paints black, and
    // only a shaped window lets clicks through to the window below.
    setMask(QRegion(QBitmap::fromImage(balloon.createAlphaMask())));
}

PopupWindow::~PopupWindow() = default;

void PopupWindow::setMessage(const QString& text) {
    m_msg->setText(text);
    // The balloon never takes the focus, so a screen reader learns its text from its name.
    setAccessibleName(text);
    if (isVisible()) {
        QAccessibleEvent changed(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
}

QString PopupWindow::message() const {
    return m_msg->text();
}

QString PopupWindow::moreLine(int more) {
    return more == 1 ? QStringLiteral("1 more alert is live.") : QStringLiteral("%1 more alerts are live.").arg(more);
}

bool PopupWindow::fits(const QString& text) const {
    // As the label lays it out: wrapped at its width, in its font.
    const QRect needed = m_msg->fontMetrics().boundingRect(QRect(0, 0, m_msg->width(), 1 << 20),
                                                           int(m_msg->alignment()) | Qt::TextWordWrap, text);
    return needed.height() <= m_msg->height();
}

void PopupWindow::setBlocks(const QStringList& blocks) {
    const QString crLf = QStringLiteral("\r\n");
    const qsizetype n = blocks.size();
    QString text = blocks.join(QString());
    if (fits(text)) {
        setMessage(text);
        return;
    }
    // The most whole blocks that leave room for the line saying what is left out.
    for (qsizetype shown = n - 1; shown >= 1; --shown) {
        text = blocks.mid(0, shown).join(QString()) + moreLine(int(n - shown));
        if (fits(text)) {
            setMessage(text);
            return;
        }
    }
    // Not even the newest block whole: as many of its lines as fit, then the line.
    QStringList lines = blocks.value(0).split(crLf, Qt::SkipEmptyParts);
    const QString more = n > 1 ? moreLine(int(n - 1)) : QStringLiteral("...");
    while (!lines.isEmpty()) {
        text = lines.join(crLf) + crLf + more;
        if (fits(text)) break;
        lines.removeLast();
    }
    setMessage(lines.isEmpty() ? more : text);
}

void PopupWindow::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void PopupWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
    // Told before the window goes, while its owner still holds it.
    emit closedByUser();
    m_msg->setText(QString());
    close();
    emit dismissed();
}

void PopupWindow::closeEvent(QCloseEvent* event) {
    m_caller = nullptr;
    QWidget::closeEvent(event);
}

void PopupWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_keeper) m_keeper = makeStackKeeper(this);
    QAccessibleEvent shown(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&shown);
}

void PopupWindow::hideEvent(QHideEvent* event) {
    m_keeper.reset();
    QWidget::hideEvent(event);
}

} // namespace hv
