#pragma once

#include "qnVelTorFile.h"

#include <cstdint>
#include <string_view>
#include <vector>

class ReportDocument;

// The order a sort by one or two fields puts the lines in. Empty values come
// first; values of ASCII digits only are numbers, which come next and
// compare as numbers (9 before 10), equal numbers written differently (007
// and 7) by their bytes; all other values follow, byte by byte as Shift-JIS.
// Lines with equal keys keep their order, also in a descending sort.
class LineOrder
{
public:
    struct Key
    {
        int field = 0;
        bool descending = false;
    };

    // Negative, zero or positive as `a` sorts before, with or after `b`.
    static int Compare(std::string_view a, std::string_view b);

    // order[i] is the line that goes to place i. Keys naming no field are
    // left out. May throw std::bad_alloc (a view of each key per line is
    // kept while sorting), and StepCancelled when `progress` says stop.
    static std::vector<std::uint32_t> Sorted(const ReportDocument &document, const std::vector<Key> &keys,
                                             const ReadProgress &progress = {});
};
