// Platform layer (Qt): pictures of what a window shows.
#include "hosts/qt/qt_screenshot.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

namespace kc {

bool save_widget_png(QWidget* widget, const std::string& path) {
    if (!widget) return false;
    QPixmap picture = widget->grab();
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

}  // namespace kc
