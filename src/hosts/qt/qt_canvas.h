// Platform layer (Qt): the painting surface over a QPainter, and the icon images.
#pragma once
#include <QColor>
#include <QIcon>
#include <QImage>

#include "platform/canvas.h"

class QPainter;

namespace kc {

class QtCanvas : public Canvas {
public:
    explicit QtCanvas(QPainter& painter) : painter_(painter) {}
    void fill_rect(const Rect& r, Color color) override;
    void draw_icon(int icon_id, int x, int y) override;
    void draw_text(const Rect& r, const std::string& text, Color color, TextAlign align) override;

private:
    QPainter& painter_;
};

inline QColor qt_color(Color c) { return QColor(red_of(c), green_of(c), blue_of(c)); }
inline Color core_color(const QColor& c) { return rgb(c.red(), c.green(), c.blue()); }

// Icon resource `id` at `size` pixels as an image (null for an unknown id); built once.
const QImage& icon_image(int id, int size = 32);
// Icon resource `id` at every size it is drawn in.
QIcon icon_set(int id);

}  // namespace kc
