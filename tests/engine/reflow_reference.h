// The re-flow as it was when every line was measured whole: the reference for the tests.
#pragma once

#include "engine/reflow.h"

namespace kestrova::engine::reference {

[[nodiscard]] std::u16string TextUpdate(std::u16string_view text, const ReflowSettings& settings,
                                        ReflowState& state);

} // namespace kestrova::engine::reference
