#pragma once

#include <cstdio>
#include <cstdlib>

// A property the fuzz targets hold the code to: a broken one aborts, so that
// libFuzzer keeps the input that broke it.
[[noreturn]] inline void Fail(const char *what)
{
    std::fprintf(stderr, "\n*** property broken: %s\n", what);
    std::abort();
}

inline void Check(bool ok, const char *what)
{
    if (!ok)
        Fail(what);
}
