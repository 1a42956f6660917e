// GUI tests: a window procedure that records what the host delivers and lets a test
// answer, plus a dialog template of every control kind.
#pragma once
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/window_procedure.h"
#include "resources/templates.h"

namespace kc::gui {

struct TestProcedure : WindowProcedure {
    std::vector<int> commands;
    std::vector<int> timers;
    std::vector<std::tuple<Orientation, int, int>> scrolls;
    std::vector<std::tuple<int, int, bool>> sizes;
    std::vector<int> chars;
    int inits = 0, destroys = 0, closes = 0, paints = 0;
    bool allow_close = true;
    std::vector<std::string>* events = nullptr;  // shared order of destroys
    std::string name;

    std::function<void()> init;
    std::function<void(int)> command;
    std::function<void(Orientation, int, int)> scroll;
    std::function<bool(int, StaticColors&)> colors;
    std::function<void(int, Canvas&, const Rect&)> draw;

    void on_init() override {
        ++inits;
        if (init) init();
    }
    void on_command(int id) override {
        commands.push_back(id);
        if (command) command(id);
    }
    void on_timer(int id) override { timers.push_back(id); }
    void on_paint(Canvas&, const Rect&) override { ++paints; }
    void on_draw_item(int id, Canvas& canvas, const Rect& item) override {
        if (draw) draw(id, canvas, item);
    }
    bool on_static_color(int id, StaticColors& c) override { return colors && colors(id, c); }
    bool on_close() override {
        ++closes;
        return allow_close;
    }
    void on_destroy() override {
        ++destroys;
        if (events) events->push_back(name + " destroyed");
    }
    void on_size(int w, int h, bool minimized) override { sizes.emplace_back(w, h, minimized); }
    void on_scroll(Orientation o, int code, int position) override {
        scrolls.emplace_back(o, code, position);
        if (scroll) scroll(o, code, position);
    }
    void on_char(int c) override { chars.push_back(c); }
    int count(int id) const {
        int n = 0;
        for (int c : commands) n += c == id;
        return n;
    }
};

inline constexpr int kTestDialog = 900;

inline const ControlTemplate kTestControls[] = {
    {kNoId, ControlKind::GroupBox, "Właściwości", Rect{4, 4, 296, 150}},
    {kNoId, ControlKind::Static, "&Port :", Rect{10, 20, 80, 40}},
    {544, ControlKind::ComboBox, "", Rect{90, 20, 200, 120}},
    {kNoId, ControlKind::Static, "Cena", Rect{10, 50, 80, 70}},
    {601, ControlKind::Edit, "", Rect{90, 50, 200, 74}, kRightAligned},
    {602, ControlKind::Static, "Zażółć gęślą jaźń", Rect{10, 80, 200, 100}, kCentered},
    {603, ControlKind::CheckBox, "Mrugaj", Rect{10, 104, 120, 124}},
    {604, ControlKind::OwnerDrawButton, "", Rect{210, 50, 234, 74}},
    {607, ControlKind::ListBox, "", Rect{124, 104, 200, 146}},
    {kNoId, ControlKind::Frame, "", Rect{240, 20, 290, 70}},
    {kNoId, ControlKind::Icon, "", Rect{250, 80, 282, 112}, 0, 129},
    {605, ControlKind::Button, "Wyślij", Rect{10, 160, 90, 184}},
    {606, ControlKind::Static, "ukryty", Rect{100, 160, 190, 184}, kHidden},
    {kIdOk, ControlKind::DefaultButton, "Ok", Rect{200, 160, 290, 184}, kHidden},
    {kIdCancel, ControlKind::Button, "Anuluj", Rect{200, 190, 290, 214}},
};

inline const DialogTemplate kTestDialogTemplate{kTestDialog, "900", "Próba", 300, 220, kTestControls};

inline const DialogTemplate* test_templates(int id) {
    return id == kTestDialog ? &kTestDialogTemplate : find_dialog_template(id);
}

}  // namespace kc::gui
