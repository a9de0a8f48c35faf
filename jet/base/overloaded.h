// One visitor from several lambdas, for std::visit over a Value.
#pragma once

namespace jet {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace jet
