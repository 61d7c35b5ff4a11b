#pragma once

#include "qnVelTorFile.h"

#include <cstdint>

// Thrown out of a step, or out of the gathering of its changes, when the
// progress said stop; the step has then undone what it had done, and the
// document returns EditResult::Cancelled.
struct StepCancelled
{
};

// How far a long edit has got, told to a ReadProgress (the window's
// progress dialog with its キャンセル button) every few thousand lines: a
// million-line report must not freeze the window, nor ask the clock a
// million times. The parts of one edit (gathering the changes, applying
// them, checking them) each take their share of one bar.
class StepProgress
{
public:
    // Lines between two calls of the progress.
    static constexpr std::uint64_t Lines = 4096;

    StepProgress() = default;
    // `progress` is not copied and must outlive this; null tells nobody.
    explicit StepProgress(const ReadProgress *progress) : progress(progress) {}

    // The next calls tell part `part` of `parts` of the bar.
    void Part(unsigned part, unsigned parts)
    {
        this->part = part;
        this->parts = parts == 0 ? 1 : parts;
    }
    // `done` of `size` of this part; throws StepCancelled when the progress
    // says stop. Only where the report is whole, between two lines: the
    // window repaints meanwhile.
    void Tell(std::uint64_t done, std::uint64_t size) const
    {
        if (!progress || !*progress)
            return;
        constexpr std::uint64_t Scale = std::uint64_t(1) << 20;
        const std::uint64_t within = size == 0 ? Scale : (done < size ? done : size) * Scale / size;
        if (!(*progress)(part * Scale + within, parts * Scale))
            throw StepCancelled();
    }
    // Tells every Lines lines: call once per line with its count.
    void Line(std::uint64_t done, std::uint64_t size) const
    {
        if (done % Lines == Lines - 1)
            Tell(done, size);
    }
    bool Told() const { return progress && *progress; }

    // A progress for part `part` of `parts` of `whole`: the gathering of a
    // step's changes takes the first part of the bar, the step the rest.
    static ReadProgress Share(const ReadProgress &whole, unsigned part, unsigned parts)
    {
        if (!whole)
            return {};
        return [whole, part, parts](std::uint64_t done, std::uint64_t size) {
            constexpr std::uint64_t Scale = std::uint64_t(1) << 20;
            const std::uint64_t within = size == 0 ? Scale : (done < size ? done : size) * Scale / size;
            return whole(part * Scale + within, parts * Scale);
        };
    }

private:
    const ReadProgress *progress = nullptr; // not owned
    unsigned part = 0;
    unsigned parts = 1;
};
