// Platform layer (Qt): the painting surface over a QPainter, and the icon images.
#include "hosts/qt/qt_canvas.h"

#include <QPainter>
#include <map>
#include <utility>

#include "hosts/qt/qt_text.h"
#include "resources/icons.h"

namespace kc {

void QtCanvas::fill_rect(const Rect& r, Color color) {
    if (r.empty()) return;
    painter_.fillRect(QRect(r.left, r.top, r.width(), r.height()), qt_color(color));
}

void QtCanvas::draw_icon(int icon_id, int x, int y) {
    const QImage& image = icon_image(icon_id);
    if (!image.isNull()) painter_.drawImage(x, y, image);
}

void QtCanvas::draw_text(const Rect& r, const std::string& text, Color color, TextAlign align) {
    if (r.empty()) return;
    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    flags |= align == TextAlign::Center ? Qt::AlignHCenter : align == TextAlign::Right ? Qt::AlignRight : Qt::AlignLeft;
    QRect box(r.left, r.top, r.width(), r.height());
    painter_.save();
    painter_.setClipRect(box, Qt::IntersectClip);
    painter_.setPen(qt_color(color));
    painter_.drawText(box, flags, qt_text(text));
    painter_.restore();
}

const QImage& icon_image(int id, int size) {
    // UI thread only, like every painting.
    static std::map<std::pair<int, int>, QImage> cache;
    auto key = std::make_pair(id, size);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    QImage image;
    if (const IconImage* icon = find_icon(id, size)) {
        image = QImage(icon->width, icon->height, QImage::Format_ARGB32);
        for (int y = 0; y < icon->height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < icon->width; ++x) line[x] = icon->argb[static_cast<size_t>(y * icon->width + x)];
        }
    }
    return cache.emplace(key, std::move(image)).first->second;
}

QIcon icon_set(int id) {
    QIcon set;
    for (int size : {16, 32}) {
        const QImage& image = icon_image(id, size);
        if (!image.isNull() && image.width() == size) set.addPixmap(QPixmap::fromImage(image));
    }
    if (set.isNull() && !icon_image(id).isNull()) set.addPixmap(QPixmap::fromImage(icon_image(id)));
    return set;
}

}  // namespace kc
