#pragma once

#include <cstdint>

// Room kept free under the address-space limit for what the program needs
// without asking: above all the stacks of the threads Qt starts to paint
// and to watch files. A window that cannot start them stays blank.
constexpr std::uint64_t HeadroomMargin = std::uint64_t(64) << 20;

// The process's address space: its limit (0 when there is none) and what
// it takes now (0 when the system does not tell).
struct AddressSpace
{
    std::uint64_t limit = 0;
    std::uint64_t inUse = 0;
};

AddressSpace CurrentAddressSpace();

// True when `bytes` more can be mapped into `space` leaving `margin` free.
bool HasHeadroomFor(std::uint64_t bytes, const AddressSpace &space, std::uint64_t margin = HeadroomMargin);

// The same for this process now, for a load or a paste to ask before it
// allocates what the report needs.
bool HasHeadroomFor(std::uint64_t bytes);

// Gives freed heap pages back to the system: a large report's lines are
// dropped when another one replaces them, or when a load gives up.
void ReleaseFreedMemory();

// While one lives, HasHeadroomFor(bytes) says yes: for tests that run the
// address space out on purpose, to reach what an allocation failing part
// way through a command does.
class ScopedHeadroomCheckOff
{
public:
    ScopedHeadroomCheckOff();
    ~ScopedHeadroomCheckOff();
    ScopedHeadroomCheckOff(const ScopedHeadroomCheckOff &) = delete;
    ScopedHeadroomCheckOff &operator=(const ScopedHeadroomCheckOff &) = delete;

private:
    bool wasOff;
};
