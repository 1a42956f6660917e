// Settings dialogs: dialog 100, the About box.
#pragma once
#include "state/state.h"
#include "platform/window_procedure.h"

namespace kc {

class AboutDialog : public WindowProcedure {
public:
    explicit AboutDialog(Program& p) : p_(p) {}
    void on_init() override;
    // "OK", Escape and the close box (both kIdCancel) close the box.
    void on_command(int id) override;

private:
    Program& p_;
};

}  // namespace kc
