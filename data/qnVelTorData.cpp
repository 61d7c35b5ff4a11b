#include "qnVelTorData.h"

namespace {

// Byte lengths of the header values inside a file base name.
constexpr std::size_t shortSyoudakuBangouLength = 10;
constexpr std::size_t longSyoudakuBangouLength = 16;
constexpr std::size_t houkokuNengappiLength = 6;
constexpr std::size_t niniMoziretsuLength = 100;

bool isDigits(std::string_view text)
{
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// YYYYMM with a month from 01 to 12.
bool isYearMonth(std::string_view text)
{
    if (text.size() != houkokuNengappiLength || !isDigits(text))
        return false;
    const int month = (text[4] - '0') * 10 + (text[5] - '0');
    return month >= 1 && month <= 12;
}

// Nothing in a name marks where the license number ends. A 10-digit number
// followed by a year-month is by far the common case and is always read so;
// 16 digits are taken only when bytes 10-15 cannot be the year-month and
// bytes 16-21 can.
std::size_t syoudakuBangouLength(std::string_view name)
{
    if (name.size() >= longSyoudakuBangouLength + houkokuNengappiLength
        && isDigits(name.substr(0, longSyoudakuBangouLength))
        && !isYearMonth(name.substr(shortSyoudakuBangouLength, houkokuNengappiLength))
        && isYearMonth(name.substr(longSyoudakuBangouLength, houkokuNengappiLength)))
        return longSyoudakuBangouLength;
    return shortSyoudakuBangouLength;
}

} // namespace

const std::string *qnVelTorDataRecord::GetField(std::uint32_t col) const
{
    const qnVelTorDataField *field = fields.At(col);
    return field ? &field->Get() : nullptr;
}

bool qnVelTorDataRecord::SetField(std::uint32_t col, std::string text)
{
    qnVelTorDataField *field = fields.At(col);
    return field && field->Set(text);
}

void qnVelTorData::Resize(std::uint32_t n)
{
    records.resize(n);
}

bool qnVelTorData::Clear()
{
    SetFileBaseName({});
    qnVelTorDataRecordVector().swap(records);
    return true;
}

qnVelTorDataRecord *qnVelTorData::RecordAt(std::uint32_t row)
{
    return row < records.size() ? &records[row] : nullptr;
}

const qnVelTorDataRecord *qnVelTorData::RecordAt(std::uint32_t row) const
{
    return row < records.size() ? &records[row] : nullptr;
}

const std::string *qnVelTorData::GetCell(std::uint32_t row, std::uint32_t col) const
{
    const qnVelTorDataRecord *record = RecordAt(row);
    return record ? record->GetField(col) : nullptr;
}

bool qnVelTorData::SetCell(std::uint32_t row, std::uint32_t col, std::string text)
{
    qnVelTorDataRecord *record = RecordAt(row);
    return record && record->SetField(col, std::move(text));
}

bool qnVelTorData::AppendRecord(const qnVelTorDataRecord &record)
{
    records.push_back(record);
    return true;
}

bool qnVelTorData::AppendRecord(qnVelTorDataRecord &&record)
{
    records.push_back(std::move(record));
    // A moved-from record must still have its fields for the caller's reuse.
    record.fields.resize(FieldCount);
    return true;
}

std::string qnVelTorData::MakeFileBaseName(std::string_view syoudakuBangou,
                                           std::string_view houkokuNengappi,
                                           std::string_view niniMoziretsu)
{
    std::string name;
    name.reserve(syoudakuBangou.size() + houkokuNengappi.size() + niniMoziretsu.size());
    name.append(syoudakuBangou).append(houkokuNengappi).append(niniMoziretsu);
    return name;
}

std::string qnVelTorData::GetSyoudakuBangou() const
{
    return fileBaseName.substr(0, syoudakuBangouLength(fileBaseName));
}

std::string qnVelTorData::GetHoukokuNengappi() const
{
    const std::size_t start = syoudakuBangouLength(fileBaseName);
    if (fileBaseName.size() <= start)
        return {};
    return fileBaseName.substr(start, houkokuNengappiLength);
}

std::string qnVelTorData::GetNiniMoziretsu() const
{
    const std::size_t start = syoudakuBangouLength(fileBaseName) + houkokuNengappiLength;
    if (fileBaseName.size() <= start)
        return {};
    return fileBaseName.substr(start, niniMoziretsuLength);
}
