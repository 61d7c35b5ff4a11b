#pragma once

#include <QTest>

// AddressSanitizer's shadow memory takes terabytes of address space, and its
// allocator ends the program where std::bad_alloc would be thrown, so a test
// that runs the address space short with RLIMIT_AS cannot run under it.
// scripts/sanitize.sh lists the tests that skip for this.
#if defined(__SANITIZE_ADDRESS__)
#define QNVELTOR_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QNVELTOR_ASAN 1
#endif
#endif
#ifndef QNVELTOR_ASAN
#define QNVELTOR_ASAN 0
#endif

#define QNVELTOR_SKIP_UNDER_ASAN(why)                                                                                 \
    do {                                                                                                               \
        if (QNVELTOR_ASAN)                                                                                             \
            QSKIP("not under AddressSanitizer: " why);                                                                 \
    } while (false)
