// Settings dialogs: dialog 103 "Ustawienia szybkości przewijania tekstu", the scroll
// step periods of the two text displays.
#pragma once
#include "state/state.h"
#include "platform/window_procedure.h"

namespace kc {

class ScrollSpeedDialog : public WindowProcedure {
public:
    explicit ScrollSpeedDialog(Program& p) : p_(p) {}
    void on_init() override;
    void on_command(int id) override;

private:
    void accept();
    void send(MainRecord& r);
    // Stores edit d's value in scroll_speed[d] when it lies in 1..255.
    void store_if_accepted(int d);
    Program& p_;
};

}  // namespace kc
