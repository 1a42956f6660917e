// Operator panel tests: a program with a record on the headless host.
#pragma once
#include <gtest/gtest.h>

#include <memory>

#include "state/state.h"
#include "hosts/headless/headless_host.h"
#include "hosts/headless/memory_canvas.h"

namespace kc {

class PanelTest : public ::testing::Test {
protected:
    PanelTest() {
        p.ui = &host;
        p.record = std::make_unique<MainRecord>();
        p.record->screen.fill(' ');
    }

    MainRecord& rec() { return *p.record; }
    bool invalidated(const Rect& r) const {
        for (const Rect& i : host.invalidations(kPanelWindow))
            if (i == r) return true;
        return false;
    }

    HeadlessHost host;
    Program p;
};

}  // namespace kc
