// Platform layer (Qt): pictures of what a window shows, for GUI tests and docs.
#pragma once
#include <string>

class QWidget;

namespace kc {

// Renders `widget` with its children (a main window with its panel, an open dialog,
// a message box) and saves it as PNG; false when nothing could be written.
bool save_widget_png(QWidget* widget, const std::string& path);

}  // namespace kc
