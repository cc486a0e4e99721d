// The process priority classes of the configuration, as nice values.
#pragma once

#include <array>
#include <cstdint>

namespace zembra::app {

// Indexed by the configuration's ThreadPrority: idle, below normal, normal, above normal,
// high, highest.
inline constexpr std::array<int, 6> kProcessPriorityNiceValues = {19, 10, 0, -5, -10, -20};

// Gives every thread of the process the nice value of `priority_class`. Linux keeps the nice
// value per thread and new threads inherit their creator's, so running conversions change
// with the rest. A refusal (raising priority needs privilege) or a class outside the table is
// reported as a diagnostic and otherwise ignored; returns whether every thread took the value.
bool ApplyProcessPriority(std::int32_t priority_class);

}  // namespace zembra::app
