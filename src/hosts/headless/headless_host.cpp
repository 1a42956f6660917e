// Platform layer (tests): the in-memory UI host.
#include "hosts/headless/headless_host.h"

#include <chrono>

#include "resources/templates.h"
#include "text/cp1250.h"

namespace kc {

HeadlessHost::HeadlessHost() : ui_thread_(std::this_thread::get_id()) {}

void HeadlessHost::post(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(work));
}

void HeadlessHost::post_command(WindowId window, int command) {
    post([this, window, command] {
        if (WindowProcedure* proc = procedure(window)) proc->on_command(command);
    });
}

void HeadlessHost::invalidate(WindowId window, const Rect& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    invalidations_[window].push_back(r);
}

void HeadlessHost::invalidate_all(WindowId window) { invalidate(window, Rect{0, 0, 100000, 100000}); }

void HeadlessHost::set_timer(WindowId window, int timer_id, int period_ms) {
    if (period_ms <= 0) period_ms = 10;
    std::lock_guard<std::mutex> lock(mutex_);
    timers_[{window, timer_id}] = Timer{period_ms, now_ + period_ms};
}

void HeadlessHost::kill_timer(WindowId window, int timer_id) {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase({window, timer_id});
}

void HeadlessHost::enable_menu_item(int command, bool enabled) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (enabled)
        disabled_menu_.erase(command);
    else
        disabled_menu_.insert(command);
}

bool HeadlessHost::is_ui_thread() const { return std::this_thread::get_id() == ui_thread_; }

bool HeadlessHost::create_main_window(WindowProcedure& procedure) {
    main_ = &procedure;
    modes_[kMainWindow] = ShowMode::Hide;
    if (procedure.on_create() == -1) {
        main_ = nullptr;
        return false;
    }
    return true;
}

bool HeadlessHost::create_panel(WindowProcedure& procedure) {
    panel_ = &procedure;
    create_controls(kPanelWindow, kPanelTemplateId);
    procedure.on_init();
    return true;
}

void HeadlessHost::show_window(WindowId window, ShowMode mode) { modes_[window] = mode; }

void HeadlessHost::bring_to_front(WindowId) {}

int HeadlessHost::run_message_loop() {
    while (!quit_called_) {
        if (pump() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return exit_code_;
}

void HeadlessHost::post_close(WindowId window) {
    post([this, window] {
        if (window == kMainWindow) close_main_window();
    });
}

void HeadlessHost::destroy_main_window() {
    if (panel_) {
        WindowProcedure* p = panel_;
        panel_ = nullptr;
        p->on_destroy();
    }
    if (main_) {
        WindowProcedure* m = main_;
        main_ = nullptr;
        m->on_destroy();
    }
}

void HeadlessHost::quit(int exit_code) {
    quit_called_ = true;
    exit_code_ = exit_code;
}

int HeadlessHost::template_of(WindowId window) const { return window == kPanelWindow ? kPanelTemplateId : window; }

void HeadlessHost::create_controls(WindowId window, int template_id) {
    controls_.remove_window(window);
    const DialogTemplate* t = find_dialog_template(template_id);
    if (!t) return;
    for (const ControlTemplate& c : t->controls) {
        if (c.id == kNoId) continue;
        ControlState s;
        // Template texts are UTF-8; the store holds Windows-1250.
        s.text = c.text ? utf8_to_cp1250(c.text) : std::string();
        s.visible = (c.flags & kHidden) == 0;
        s.enabled = (c.flags & kDisabled) == 0;
        controls_.create(window, c.id, s);
    }
}

int HeadlessHost::run_dialog(int template_id, WindowProcedure& procedure) {
    WindowId w = template_id;
    dialogs_run_.push_back(template_id);
    create_controls(w, template_id);
    dialogs_[w] = &procedure;
    dialog_ended_[w] = false;
    dialog_result_[w] = 0;
    procedure.on_init();
    auto script = dialog_scripts_.find(template_id);
    if (script != dialog_scripts_.end() && !dialog_ended_[w]) script->second(w);
    int result = dialog_result_[w];
    if (dialog_ended_[w]) procedure.on_destroy();
    dialogs_.erase(w);
    return result;
}

void HeadlessHost::end_dialog(WindowId dialog, int result) {
    dialog_ended_[dialog] = true;
    dialog_result_[dialog] = result;
}

MessageResult HeadlessHost::message_box(WindowId owner, const std::string& text, const std::string& caption,
                                        MessageButtons buttons, MessageIcon icon) {
    messages_.push_back(ShownMessage{owner, text, caption, buttons, icon});
    if (message_answers_.empty()) return MessageResult::Ok;
    MessageResult r = message_answers_.front();
    message_answers_.pop_front();
    return r;
}

std::optional<std::string> HeadlessHost::choose_open_file(WindowId, const std::vector<FileFilter>& filters) {
    last_file_filters_ = filters;
    if (file_answers_.empty()) return std::nullopt;
    auto r = file_answers_.front();
    file_answers_.pop_front();
    return r;
}

std::optional<Color> HeadlessHost::choose_color(WindowId, Color initial, CustomColors&) {
    last_color_initial_ = initial;
    if (color_answers_.empty()) return std::nullopt;
    auto r = color_answers_.front();
    color_answers_.pop_front();
    return r;
}

bool HeadlessHost::choose_font(WindowId, FontSpec& font, Color& color) {
    if (font_answers_.empty()) return false;
    auto r = font_answers_.front();
    font_answers_.pop_front();
    if (!r) return false;
    font = r->first;
    color = r->second;
    return true;
}

bool HeadlessHost::tray_add(const std::string& tip) {
    if (!tray_available_) return false;
    tray_shown_ = true;
    tray_tip_ = tip;
    return true;
}

void HeadlessHost::tray_remove() { tray_shown_ = false; }

void HeadlessHost::set_wait_cursor(bool waiting) { wait_cursor_ = waiting; }

void HeadlessHost::set_control_font(WindowId, int, const FontSpec&) {}

void HeadlessHost::move_window(WindowId window, int x, int y, int width, int height) {
    positions_[window] = Rect{x, y, x + width, y + height};
}

void HeadlessHost::scroll_window(WindowId, int dx, int dy) {
    Rect& r = positions_[kPanelWindow];
    r.left += dx, r.right += dx, r.top += dy, r.bottom += dy;
}

void HeadlessHost::set_scroll_bar(WindowId, Orientation o, int position, int range_max, bool) {
    int i = o == Orientation::Vertical ? 0 : 1;
    scroll_pos_[i] = position;
    scroll_range_[i] = range_max;
}

void HeadlessHost::set_scroll_position(WindowId, Orientation o, int position, bool) {
    scroll_pos_[o == Orientation::Vertical ? 0 : 1] = position;
}

Rect HeadlessHost::window_rect(WindowId) const { return Rect{10, 10, 10 + 648, 10 + 577}; }

// ---- driving ---------------------------------------------------------------------

void HeadlessHost::press(WindowId window, int control_id) {
    if (window == kMainWindow) {
        menu(control_id);
        return;
    }
    const DialogTemplate* t = find_dialog_template(template_of(window));
    if (t) {
        for (const ControlTemplate& c : t->controls)
            if (c.id == control_id && c.kind == ControlKind::CheckBox)
                controls_.set_checked(window, control_id, !controls_.checked(window, control_id), Origin::View);
    }
    if (WindowProcedure* proc = procedure(window)) proc->on_command(control_id);
}

void HeadlessHost::menu(int command) {
    if (!menu_enabled(command)) return;
    if (main_) main_->on_command(command);
}

void HeadlessHost::type(WindowId window, int control_id, const std::string& text) {
    controls_.set_text(window, control_id, text, Origin::View);
}

void HeadlessHost::set_check(WindowId window, int control_id, bool checked) {
    controls_.set_checked(window, control_id, checked, Origin::View);
}

void HeadlessHost::select(WindowId window, int control_id, int index) {
    controls_.set_selection(window, control_id, index, Origin::View);
    // As the Qt host does: the procedure hears of the new selection.
    if (WindowProcedure* proc = procedure(window)) proc->on_command(control_id);
}

void HeadlessHost::close_main_window() {
    if (main_ && main_->on_close()) destroy_main_window();
}

void HeadlessHost::answer_next_message_box(MessageResult result) { message_answers_.push_back(result); }
void HeadlessHost::next_file_choice(std::optional<std::string> path) { file_answers_.push_back(std::move(path)); }
void HeadlessHost::next_color_choice(std::optional<Color> color) { color_answers_.push_back(color); }
void HeadlessHost::next_font_choice(std::optional<std::pair<FontSpec, Color>> choice) {
    font_answers_.push_back(std::move(choice));
}
void HeadlessHost::on_dialog(int template_id, std::function<void(WindowId)> script) {
    dialog_scripts_[template_id] = std::move(script);
}

size_t HeadlessHost::pump() {
    size_t ran = 0;
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (posted_.empty()) break;
            work = std::move(posted_.front());
            posted_.pop_front();
        }
        work();
        ++ran;
    }
    return ran;
}

bool HeadlessHost::pump_until(const std::function<bool()>& done, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        pump();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void HeadlessHost::advance(int ms) {
    int64_t target;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target = now_ + ms;
    }
    pump();
    for (;;) {
        std::pair<WindowId, int> key;
        bool found = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            int64_t best = target + 1;
            for (auto& [k, t] : timers_) {
                if (t.due <= target && t.due < best) {
                    best = t.due;
                    key = k;
                    found = true;
                }
            }
            if (found) {
                now_ = best;
                Timer& t = timers_[key];
                t.due += t.period;
            }
        }
        if (!found) break;
        if (WindowProcedure* proc = procedure(key.first)) proc->on_timer(key.second);
        pump();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    now_ = target;
}

// ---- reading back ------------------------------------------------------------------

bool HeadlessHost::menu_enabled(int command) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return disabled_menu_.count(command) == 0;
}

bool HeadlessHost::timer_running(WindowId window, int timer_id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return timers_.count({window, timer_id}) != 0;
}

int HeadlessHost::timer_period(WindowId window, int timer_id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = timers_.find({window, timer_id});
    return it == timers_.end() ? -1 : it->second.period;
}

std::vector<Rect> HeadlessHost::invalidations(WindowId window) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = invalidations_.find(window);
    return it == invalidations_.end() ? std::vector<Rect>{} : it->second;
}

void HeadlessHost::clear_invalidations() {
    std::lock_guard<std::mutex> lock(mutex_);
    invalidations_.clear();
}

ShowMode HeadlessHost::window_mode(WindowId window) const {
    auto it = modes_.find(window);
    return it == modes_.end() ? ShowMode::Hide : it->second;
}

Rect HeadlessHost::window_position(WindowId window) const {
    auto it = positions_.find(window);
    return it == positions_.end() ? Rect{} : it->second;
}

int HeadlessHost::scroll_bar_position(Orientation o) const { return scroll_pos_[o == Orientation::Vertical ? 0 : 1]; }
int HeadlessHost::scroll_bar_range(Orientation o) const { return scroll_range_[o == Orientation::Vertical ? 0 : 1]; }

int64_t HeadlessHost::now_ms() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return now_;
}

WindowProcedure* HeadlessHost::procedure(WindowId window) const {
    if (window == kMainWindow) return main_;
    if (window == kPanelWindow) return panel_;
    auto it = dialogs_.find(window);
    return it == dialogs_.end() ? nullptr : it->second;
}

void HeadlessHost::paint(WindowId window, Canvas& canvas, const Rect& update) {
    if (WindowProcedure* proc = procedure(window)) proc->on_paint(canvas, update);
}

}  // namespace kc
