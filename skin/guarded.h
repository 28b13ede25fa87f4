#pragma once

#include "skin/error_box.h"

#include <exception>
#include <type_traits>
#include <utility>

// Wraps a handler of user input or of a timer so that an error escaping it
// is shown in the default error box and the application carries on. Use it
// wherever such a handler is connected:
//
//   connect(btn_search, &QPushButton::clicked, this, guarded(this, &TMainForm::btn_searchClick));
//   connect(tmr1, &QTimer::timeout, this, guarded([this] { tmr1Timer(); }));
//
// The wrapper accepts the signal's arguments when the handler takes them and
// drops them otherwise, like a plain slot.
template <typename F> class TGuarded
{
public:
    explicit TGuarded(F handler) : m_handler(std::move(handler)) {}

    template <typename... Args>
    auto operator()(Args&&... args)
        -> decltype(std::declval<F&>()(std::forward<Args>(args)...), void())
    {
        try {
            m_handler(std::forward<Args>(args)...);
        } catch (const std::exception& error) {
            TErrorBox::Show(error);
        } catch (...) {
            TErrorBox::ShowUnknown();
        }
    }

private:
    F m_handler;
};

template <typename F> TGuarded<std::decay_t<F>> guarded(F&& handler)
{
    return TGuarded<std::decay_t<F>>(std::forward<F>(handler));
}

template <typename Obj, typename Ret, typename... Params>
auto guarded(Obj* object, Ret (Obj::*method)(Params...))
{
    return guarded([object, method](Params... args) { (object->*method)(args...); });
}
