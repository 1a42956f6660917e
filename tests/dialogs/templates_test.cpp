// Settings dialog tests: the templates of dialogs 100 to 104.
#include <gtest/gtest.h>

#include <set>

#include "resources/dialog_ids.h"
#include "resources/command_ids.h"
#include "resources/templates.h"

namespace kc {
namespace {

const int kDialogs[] = {kDialogAbout,           kDialogTransmission,  kDialogLight,
                        kDialogScrollSpeed,     kDialogProgramSettings, kDialogUnattended};

const ControlTemplate* find(const DialogTemplate& t, int id) {
    for (const ControlTemplate& c : t.controls)
        if (c.id == id) return &c;
    return nullptr;
}

bool overlaps(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
bool inside(const Rect& inner, const Rect& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}
bool visible(const ControlTemplate& c) { return (c.flags & kHidden) == 0; }

TEST(DialogTemplates, visible_controls_fit_the_window_and_do_not_overlap) {
    for (int id : kDialogs) {
        const DialogTemplate* t = find_dialog_template(id);
        ASSERT_NE(t, nullptr) << id;
        EXPECT_EQ(t->id, id);
        const Rect client{0, 0, t->width, t->height};
        for (const ControlTemplate& a : t->controls) {
            if (!visible(a)) continue;
            EXPECT_FALSE(a.rect.empty()) << id << "/" << a.id;
            EXPECT_TRUE(inside(a.rect, client)) << "dialog " << id << " control " << a.id << " leaves the window";
            for (const ControlTemplate& b : t->controls) {
                if (&a >= &b || !visible(b)) continue;
                bool a_group = a.kind == ControlKind::GroupBox, b_group = b.kind == ControlKind::GroupBox;
                if (a_group && b_group) {
                    EXPECT_FALSE(overlaps(a.rect, b.rect)) << id << ": two groups overlap";
                } else if (a_group || b_group) {
                    // A control belongs to a group wholly or not at all.
                    const Rect& g = a_group ? a.rect : b.rect;
                    const Rect& c = a_group ? b.rect : a.rect;
                    EXPECT_TRUE(!overlaps(g, c) || inside(c, g))
                        << "dialog " << id << ": control '" << (a_group ? b.text : a.text) << "' straddles a group";
                } else {
                    EXPECT_FALSE(overlaps(a.rect, b.rect))
                        << "dialog " << id << ": '" << a.text << "' (" << a.id << ") overlaps '" << b.text << "' ("
                        << b.id << ")";
                }
            }
        }
    }
}

TEST(DialogTemplates, control_ids_are_unique_in_each_dialog) {
    for (int id : kDialogs) {
        std::set<int> seen;
        for (const ControlTemplate& c : find_dialog_template(id)->controls)
            if (c.id != kNoId) {
                EXPECT_TRUE(seen.insert(c.id).second) << "dialog " << id << " repeats " << c.id;
            }
    }
}

TEST(DialogTemplates, each_swatch_stands_in_the_row_of_its_power_field) {
    const DialogTemplate& t = *find_dialog_template(kDialogLight);
    for (int n = 1; n <= 5; ++n) {
        const Rect& low = find(t, price_power_low_edit(n))->rect;
        const Rect& low_swatch = find(t, kIdSwatchLow1 + n - 1)->rect;
        const Rect& high = find(t, price_power_high_edit(n))->rect;
        const Rect& high_swatch = find(t, kIdSwatchHigh1 + n - 1)->rect;
        EXPECT_GT(low_swatch.left, low.right - 1);
        EXPECT_TRUE(low_swatch.top >= low.top && low_swatch.bottom <= low.bottom) << n;
        EXPECT_GT(high_swatch.left, high.right - 1);
        EXPECT_TRUE(high_swatch.top >= high.top && high_swatch.bottom <= high.bottom) << n;
        EXPECT_GT(high.left, low_swatch.right) << "the high column stands right of the low one";
    }
}

}  // namespace
}  // namespace kc
