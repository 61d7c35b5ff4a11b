#include "ShiftJisSystem.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace ShiftJis::System {
namespace {

// Qt 6.4's resetState() resets the ICU converter but keeps its error count,
// so hasError() would stay true for good after the first bad code. Creating
// a converter instead costs an ICU open, too much for a call per painted cell.
template<typename Converter>
class Reusable : public Converter
{
public:
    Reusable() : Converter("Shift_JIS", QStringConverter::Flag::Stateless) {}
    bool takeError()
    {
        const bool failed = this->hasError();
        if (failed) {
            this->resetState();
            this->state.invalidChars = 0;
        }
        return failed;
    }
};

using Decoder = Reusable<QStringDecoder>;
using Encoder = Reusable<QStringEncoder>;

// One converter per thread: the grid calls in from the GUI thread only, but
// a converter must never be shared by two threads at once.
Decoder &SharedDecoder()
{
    thread_local Decoder decoder;
    return decoder;
}

Encoder &SharedEncoder()
{
    thread_local Encoder encoder;
    return encoder;
}

} // namespace

std::size_t PairCapacity(std::size_t size)
{
    Decoder &decoder = SharedDecoder();
    return decoder.isValid() ? std::size_t(decoder.requiredSpace(qsizetype(size))) : size;
}

char16_t *DecodePairs(const char *bytes, std::size_t size, char16_t *out)
{
    Decoder &decoder = SharedDecoder();
    if (!decoder.isValid())
        return nullptr; // Qt without ICU: every double-byte character is unknown
    QChar *end = decoder.appendToBuffer(reinterpret_cast<QChar *>(out), QByteArrayView(bytes, qsizetype(size)));
    return decoder.takeError() ? nullptr : reinterpret_cast<char16_t *>(end);
}

bool EncodeRun(std::u16string_view text, std::string &out)
{
    Encoder &encoder = SharedEncoder();
    if (!encoder.isValid())
        return false;
    const std::size_t start = out.size();
    out.resize(start + std::size_t(encoder.requiredSpace(qsizetype(text.size()))));
    char *end = encoder.appendToBuffer(out.data() + start, QStringView(text.data(), qsizetype(text.size())));
    out.resize(std::size_t(end - out.data()));
    return !encoder.takeError();
}

} // namespace ShiftJis::System
