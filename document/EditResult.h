#pragma once

// What an edit of the report did. An edit that finds nothing to change is
// Done too; one that runs out of memory, or that the user stops through its
// progress, leaves the report and its history as they were, and the caller
// must say so: the result cannot be dropped.
enum class [[nodiscard]] EditResult {
    Done,
    OutOfMemory,
    Cancelled,
};
