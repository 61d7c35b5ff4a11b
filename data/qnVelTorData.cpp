#include "qnVelTorData.h"

namespace {

// Byte positions of the header values inside a file base name.
constexpr std::size_t syoudakuBangouLength = 10;
constexpr std::size_t houkokuNengappiStart = 10;
constexpr std::size_t houkokuNengappiLength = 6;
constexpr std::size_t niniMoziretsuStart = 16;
constexpr std::size_t niniMoziretsuLength = 100;

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
    return fileBaseName.substr(0, syoudakuBangouLength);
}

std::string qnVelTorData::GetHoukokuNengappi() const
{
    if (fileBaseName.size() <= houkokuNengappiStart)
        return {};
    return fileBaseName.substr(houkokuNengappiStart, houkokuNengappiLength);
}

std::string qnVelTorData::GetNiniMoziretsu() const
{
    if (fileBaseName.size() <= niniMoziretsuStart)
        return {};
    return fileBaseName.substr(niniMoziretsuStart, niniMoziretsuLength);
}
