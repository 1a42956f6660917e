// Tests (resources): the panel template holds every control the panel works with, in
// its place, and the visible operator column is laid out without overlaps.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "preview/price_preview.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const ControlTemplate* find(const DialogTemplate& t, int id) {
    for (const ControlTemplate& c : t.controls)
        if (c.id == id) return &c;
    return nullptr;
}

bool overlap(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool inside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

TEST(PanelTemplate, holds_every_control_with_its_kind_and_visibility) {
    const DialogTemplate* t = find_dialog_template(kPanelTemplateId);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->name, "DYSTRDLG");
    EXPECT_EQ(t->width, 2000);
    EXPECT_EQ(t->height, 1000);

    struct Expected {
        int id;
        ControlKind kind;
        const char* text;
        bool hidden;
    };
    const Expected expected[] = {
        {kIdPrice1, ControlKind::Edit, "", false},        {kIdPrice2, ControlKind::Edit, "", false},
        {kIdPrice3, ControlKind::Edit, "", false},        {kIdPrice4, ControlKind::Edit, "", false},
        {kIdPrice5, ControlKind::Edit, "", false},        {kIdBlink1, ControlKind::CheckBox, "Mrugaj", false},
        {kIdBlink1 + 4, ControlKind::CheckBox, "Mrugaj", false},
        {kIdSendPrices, ControlKind::Button, "Wyślij", false},
        {kIdStatus, ControlKind::Static, "", false},      {kIdScriptPath, ControlKind::Edit, "", false},
        {kIdChooseScript, ControlKind::Button, "..", false},
        {kIdScriptButton, ControlKind::Button, "Start", false},
        {kIdBacklightOn, ControlKind::Button, "Włącz", false},
        {kIdBacklightOff, ControlKind::Button, "Wyłącz", false},
        {kIdLightLevel, ControlKind::Static, "", false},  {kIdCaption1, ControlKind::Static, "", false},
        {kIdCaption1 + 4, ControlKind::Static, "", false},
        {kIdDisplay1Text, ControlKind::Edit, "", true},   {kIdDisplay2Text, ControlKind::Edit, "", true},
        {kIdNegative1, ControlKind::CheckBox, "Negatyw", true},
        {kIdNegative2, ControlKind::CheckBox, "Negatyw", true},
        {kIdSendDisplay1, ControlKind::Button, "Wyślij", true},
        {kIdSendDisplay2, ControlKind::Button, "Wyślij", true},
        {kIdTemperature, ControlKind::Edit, "", true},
        {559, ControlKind::Static, "", true},              {560, ControlKind::Static, "", true},
    };
    for (const Expected& e : expected) {
        const ControlTemplate* c = find(*t, e.id);
        ASSERT_NE(c, nullptr) << e.id;
        EXPECT_EQ(c->kind, e.kind) << e.id;
        EXPECT_STREQ(c->text, e.text) << e.id;
        EXPECT_EQ((c->flags & kHidden) != 0, e.hidden) << e.id;
    }
    EXPECT_TRUE(find(*t, kIdStatus)->flags & kCentered);
    for (int k = 0; k < 5; ++k) {
        const ControlTemplate* caption = find(*t, kIdCaption1 + k);
        EXPECT_TRUE(caption->flags & kCentered);
        EXPECT_EQ(caption->rect, (Rect{258, 112 + 81 * k, 434, 167 + 81 * k}));
        // The caption leaves the bulb and the digits free.
        EXPECT_FALSE(overlap(caption->rect, Rect{224, 144 + 81 * k, 256, 176 + 81 * k}));
        EXPECT_FALSE(overlap(caption->rect, price_row_rect(k + 1)));
    }
}

TEST(PanelTemplate, each_price_edit_stands_after_its_label_in_group_ceny) {
    const DialogTemplate& t = *find_dialog_template(kPanelTemplateId);
    const char* labels[] = {"1.", "2.", "3.", "4.", "5."};
    for (int n = 1; n <= 5; ++n) {
        const ControlTemplate* previous = nullptr;
        for (const ControlTemplate& c : t.controls) {
            if (c.id == price_edit_id(n)) break;
            previous = &c;
        }
        ASSERT_NE(previous, nullptr);
        EXPECT_STREQ(previous->text, labels[n - 1]);
        EXPECT_EQ(previous->kind, ControlKind::Static);
    }
}

TEST(PanelTemplate, visible_operator_column_is_clean) {
    const DialogTemplate& t = *find_dialog_template(kPanelTemplateId);
    const Rect column{8, 8, 210, 505};
    std::vector<const ControlTemplate*> groups, items;
    for (const ControlTemplate& c : t.controls) {
        if (c.flags & kHidden) continue;
        if (c.rect.left >= 216) continue;  // the preview and its captions
        EXPECT_TRUE(inside(c.rect, column)) << (c.text ? c.text : "") << " " << c.id;
        EXPECT_FALSE(c.rect.empty());
        (c.kind == ControlKind::GroupBox ? groups : items).push_back(&c);
    }
    ASSERT_EQ(groups.size(), 4u);  // Ceny, Status, Skrypt, Podświetlenie
    for (size_t i = 0; i < groups.size(); ++i)
        for (size_t j = i + 1; j < groups.size(); ++j) EXPECT_FALSE(overlap(groups[i]->rect, groups[j]->rect));
    for (size_t i = 0; i < items.size(); ++i) {
        int owners = 0;
        for (const ControlTemplate* g : groups) owners += inside(items[i]->rect, g->rect) ? 1 : 0;
        EXPECT_EQ(owners, 1) << items[i]->id << " " << items[i]->text;
        for (size_t j = i + 1; j < items.size(); ++j)
            EXPECT_FALSE(overlap(items[i]->rect, items[j]->rect)) << items[i]->text << " / " << items[j]->text;
    }
}

TEST(PanelTemplate, hidden_controls_stay_clear_of_the_visible_panel) {
    const DialogTemplate& t = *find_dialog_template(kPanelTemplateId);
    for (const ControlTemplate& hidden : t.controls) {
        if (!(hidden.flags & kHidden) || hidden.kind == ControlKind::Frame) continue;
        for (const ControlTemplate& shown : t.controls)
            if (!(shown.flags & kHidden)) EXPECT_FALSE(overlap(hidden.rect, shown.rect)) << hidden.id;
    }
}

}  // namespace
}  // namespace kc
