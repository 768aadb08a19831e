#pragma once

#include <memory>

#include "sim/LogMemory.h"

namespace simtest {

// The simulator's generated memory with the default options, made once per test program.
inline const sim::LogMemory& GeneratedMemory() {
    static const std::unique_ptr<sim::LogMemory> memory = [] {
        auto m = std::make_unique<sim::LogMemory>();
        m->Generate(sim::MemoryOptions{});
        return m;
    }();
    return *memory;
}

} // namespace simtest
