#pragma once

#include <cstdint>
#include <optional>

// How much memory a new block may take before asking for it. The kernel promises far more than
// it can deliver and kills the process when the pages are touched, so a block the machine
// cannot hold (a few hostile header bytes may ask for gigabytes) is refused up front instead.
namespace MemoryBudget {

// Bytes the process could still take: the machine's available memory and free swap, its
// control group's remaining allowance and its address-space limit, whichever is least.
// Nothing when none of them can be read.
[[nodiscard]] std::optional<std::uint64_t> Available();

// True when a block of `bytes` fits what is available with room to spare for the work around
// it. Small sizes pass without looking. A refusal is remembered for LastRefusal.
[[nodiscard]] bool Allows(std::uint64_t bytes);

struct Refusal
{
    std::uint64_t asked = 0;
    std::uint64_t available = 0;
    std::uint64_t reserve = 0; // kept free of `available` for the work around the block
};

// The last size Allows refused on this thread since ClearRefusal, so that a caller can word a
// clear message after a null handle.
[[nodiscard]] std::optional<Refusal> LastRefusal();
void ClearRefusal();

// Remembers for LastRefusal a block of `bytes` that the system refused although Allows let it
// through (an allocation that failed).
void NoteRefusal(std::uint64_t bytes);

} // namespace MemoryBudget
