#include "MemoryHeadroom.h"

#include <QtGlobal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#ifdef Q_OS_UNIX
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

bool checkOff = false;

} // namespace

ScopedHeadroomCheckOff::ScopedHeadroomCheckOff() : wasOff(checkOff)
{
    checkOff = true;
}

ScopedHeadroomCheckOff::~ScopedHeadroomCheckOff()
{
    checkOff = wasOff;
}

void ReleaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

AddressSpace CurrentAddressSpace()
{
    AddressSpace space;
#ifdef Q_OS_UNIX
    rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        space.limit = std::uint64_t(limit.rlim_cur);
    // The first number is the size of every mapping, in pages: what the
    // limit is held against.
    if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
        unsigned long long pages = 0;
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        if (std::fscanf(statm, "%llu", &pages) == 1 && pageSize > 0)
            space.inUse = std::uint64_t(pages) * std::uint64_t(pageSize);
        std::fclose(statm);
    }
#endif
    return space;
}

bool HasHeadroomFor(std::uint64_t bytes, const AddressSpace &space, std::uint64_t margin)
{
    if (space.limit == 0)
        return true;
    // Written as subtractions, so that nothing can wrap around.
    if (space.inUse >= space.limit)
        return false;
    const std::uint64_t left = space.limit - space.inUse;
    return margin < left && bytes <= left - margin;
}

bool HasHeadroomFor(std::uint64_t bytes)
{
    return checkOff || HasHeadroomFor(bytes, CurrentAddressSpace());
}
