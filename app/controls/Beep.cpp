#include "app/controls/Beep.h"

#include <QApplication>

#include <utility>

namespace wvctl {

namespace {

std::function<void(BeepKind)>& Handler()
{
    static std::function<void(BeepKind)> handler;
    return handler;
}

} // namespace

void Beep(BeepKind kind)
{
    if (Handler()) {
        Handler()(kind);
        return;
    }
    QApplication::beep();
}

void SetBeepHandler(std::function<void(BeepKind)> handler) { Handler() = std::move(handler); }

} // namespace wvctl
