// Platform layer: the state of every control, keyed by window and control id.
// Thread-safe: a worker thread reads a control's text without waiting for the UI
// thread. The host mirrors changes into its widgets on the UI thread through the
// listener; edits the operator makes are written back with Origin::View.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/window_procedure.h"

namespace kc {

enum class ControlChange { Text, Check, Enabled, Visible, Items, Selection };
enum class Origin { Program, View };

struct ListItem {
    std::string text;  // Windows-1250
    uint32_t data = 0;
};

struct ControlState {
    std::string text;  // Windows-1250
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    std::vector<ListItem> items;
    int selection = -1;
};

class ControlStore {
public:
    using Listener = std::function<void(WindowId, int control_id, ControlChange, Origin)>;

    void set_listener(Listener listener);

    void set_text(WindowId w, int id, const std::string& text, Origin origin = Origin::Program);
    // At most max_chars characters, as a text query with a buffer of max_chars + 1.
    std::string text(WindowId w, int id, size_t max_chars = static_cast<size_t>(-1)) const;

    void set_checked(WindowId w, int id, bool checked, Origin origin = Origin::Program);
    bool checked(WindowId w, int id) const;
    void set_enabled(WindowId w, int id, bool enabled, Origin origin = Origin::Program);
    bool enabled(WindowId w, int id) const;
    void set_visible(WindowId w, int id, bool visible, Origin origin = Origin::Program);
    bool visible(WindowId w, int id) const;

    // Drop-down lists.
    void clear_items(WindowId w, int id);
    int add_item(WindowId w, int id, const std::string& text, uint32_t data = 0);
    void set_item_data(WindowId w, int id, int index, uint32_t data);
    uint32_t item_data(WindowId w, int id, int index) const;  // 0 for no such item
    std::vector<ListItem> items(WindowId w, int id) const;
    void set_selection(WindowId w, int id, int index, Origin origin = Origin::Program);
    int selection(WindowId w, int id) const;  // -1 for none

    ControlState state(WindowId w, int id) const;
    bool exists(WindowId w, int id) const;
    // Creates a control with its template state (used by hosts when a window opens).
    void create(WindowId w, int id, const ControlState& initial);
    // Forgets every control of a window that closed.
    void remove_window(WindowId w);

private:
    void notify(WindowId w, int id, ControlChange change, Origin origin);

    mutable std::mutex mutex_;
    std::map<std::pair<WindowId, int>, ControlState> controls_;
    Listener listener_;
};

}  // namespace kc
