// Platform layer: the thread-safe control store.
#include "platform/control_store.h"

namespace kc {

void ControlStore::set_listener(Listener listener) {
    std::lock_guard<std::mutex> lock(mutex_);
    listener_ = std::move(listener);
}

void ControlStore::notify(WindowId w, int id, ControlChange change, Origin origin) {
    Listener listener;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        listener = listener_;
    }
    if (listener) listener(w, id, change, origin);
}

void ControlStore::set_text(WindowId w, int id, const std::string& text, Origin origin) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& c = controls_[{w, id}];
        if (c.text == text) return;
        c.text = text;
    }
    notify(w, id, ControlChange::Text, origin);
}

std::string ControlStore::text(WindowId w, int id, size_t max_chars) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    if (it == controls_.end()) return {};
    return it->second.text.substr(0, max_chars);
}

void ControlStore::set_checked(WindowId w, int id, bool checked, Origin origin) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& c = controls_[{w, id}];
        if (c.checked == checked) return;
        c.checked = checked;
    }
    notify(w, id, ControlChange::Check, origin);
}

bool ControlStore::checked(WindowId w, int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    return it != controls_.end() && it->second.checked;
}

void ControlStore::set_enabled(WindowId w, int id, bool enabled, Origin origin) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& c = controls_[{w, id}];
        if (c.enabled == enabled) return;
        c.enabled = enabled;
    }
    notify(w, id, ControlChange::Enabled, origin);
}

bool ControlStore::enabled(WindowId w, int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    return it == controls_.end() || it->second.enabled;
}

void ControlStore::set_visible(WindowId w, int id, bool visible, Origin origin) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& c = controls_[{w, id}];
        if (c.visible == visible) return;
        c.visible = visible;
    }
    notify(w, id, ControlChange::Visible, origin);
}

bool ControlStore::visible(WindowId w, int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    return it != controls_.end() && it->second.visible;
}

void ControlStore::clear_items(WindowId w, int id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& c = controls_[{w, id}];
        c.items.clear();
        c.selection = -1;
    }
    notify(w, id, ControlChange::Items, Origin::Program);
}

int ControlStore::add_item(WindowId w, int id, const std::string& text, uint32_t data) {
    int index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& c = controls_[{w, id}];
        c.items.push_back(ListItem{text, data});
        index = static_cast<int>(c.items.size()) - 1;
    }
    notify(w, id, ControlChange::Items, Origin::Program);
    return index;
}

void ControlStore::set_item_data(WindowId w, int id, int index, uint32_t data) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& c = controls_[{w, id}];
    if (index >= 0 && index < static_cast<int>(c.items.size())) c.items[static_cast<size_t>(index)].data = data;
}

uint32_t ControlStore::item_data(WindowId w, int id, int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    if (it == controls_.end() || index < 0 || index >= static_cast<int>(it->second.items.size())) return 0;
    return it->second.items[static_cast<size_t>(index)].data;
}

std::vector<ListItem> ControlStore::items(WindowId w, int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    return it == controls_.end() ? std::vector<ListItem>{} : it->second.items;
}

void ControlStore::set_selection(WindowId w, int id, int index, Origin origin) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& c = controls_[{w, id}];
        if (index < -1 || index >= static_cast<int>(c.items.size())) index = -1;
        if (c.selection == index) return;
        c.selection = index;
    }
    notify(w, id, ControlChange::Selection, origin);
}

int ControlStore::selection(WindowId w, int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    return it == controls_.end() ? -1 : it->second.selection;
}

ControlState ControlStore::state(WindowId w, int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = controls_.find({w, id});
    return it == controls_.end() ? ControlState{} : it->second;
}

bool ControlStore::exists(WindowId w, int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return controls_.count({w, id}) != 0;
}

void ControlStore::create(WindowId w, int id, const ControlState& initial) {
    std::lock_guard<std::mutex> lock(mutex_);
    controls_[{w, id}] = initial;
}

void ControlStore::remove_window(WindowId w) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = controls_.begin(); it != controls_.end();) {
        if (it->first.first == w)
            it = controls_.erase(it);
        else
            ++it;
    }
}

}  // namespace kc
