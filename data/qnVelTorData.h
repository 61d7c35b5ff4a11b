#pragma once

#include "qnVelTorDataAttribute.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One field value: Shift-JIS bytes, any length, any bytes.
class qnVelTorDataField
{
public:
    const std::string &Get() const { return value; }
    bool Set(std::string_view text)
    {
        value.assign(text.data(), text.size());
        return true;
    }

    std::string value;
};

class qnVelTorDataFieldVector : public std::vector<qnVelTorDataField>
{
public:
    using std::vector<qnVelTorDataField>::vector;

    qnVelTorDataField *At(std::uint32_t index)
    {
        return index < size() ? data() + index : nullptr;
    }
    const qnVelTorDataField *At(std::uint32_t index) const
    {
        return index < size() ? data() + index : nullptr;
    }
};

// One report line. Always exactly FieldCount fields: no operation adds or
// removes one.
class qnVelTorDataRecord
{
public:
    qnVelTorDataRecord() : fields(FieldCount) { }

    const std::string *GetField(std::uint32_t col) const;
    bool SetField(std::uint32_t col, std::string text);

    qnVelTorDataFieldVector::iterator begin() { return fields.begin(); }
    qnVelTorDataFieldVector::iterator end() { return fields.end(); }
    qnVelTorDataFieldVector::const_iterator begin() const { return fields.begin(); }
    qnVelTorDataFieldVector::const_iterator end() const { return fields.end(); }

    qnVelTorDataFieldVector fields;
};

using qnVelTorDataRecordVector = std::vector<qnVelTorDataRecord>;

// The in-memory report: its lines and the file base name that carries the
// three header values. Stores whatever it is given; validates nothing.
class qnVelTorData
{
public:
    // Record indices are 32-bit, so this is as many lines as a report holds.
    static constexpr std::uint32_t MaxRecords = 0xFFFFFFFFu;

    std::uint32_t RecordCount() const { return static_cast<std::uint32_t>(records.size()); }
    void Resize(std::uint32_t n);
    bool Clear();

    qnVelTorDataRecord *RecordAt(std::uint32_t row);
    const qnVelTorDataRecord *RecordAt(std::uint32_t row) const;
    const std::string *GetCell(std::uint32_t row, std::uint32_t col) const;
    bool SetCell(std::uint32_t row, std::uint32_t col, std::string text);
    bool AppendRecord(const qnVelTorDataRecord &record);
    bool AppendRecord(qnVelTorDataRecord &&record);
    // Lets a caller that knows the line count avoid regrowing the list.
    void Reserve(std::uint32_t n) { records.reserve(n); }

    qnVelTorDataRecordVector::iterator begin() { return records.begin(); }
    qnVelTorDataRecordVector::iterator end() { return records.end(); }
    qnVelTorDataRecordVector::const_iterator begin() const { return records.begin(); }
    qnVelTorDataRecordVector::const_iterator end() const { return records.end(); }

    void SetFileBaseName(std::string_view name) { fileBaseName.assign(name.data(), name.size()); }
    const std::string &FileBaseName() const { return fileBaseName; }

    // The header values joined as they are: no separator, padding or check.
    static std::string MakeFileBaseName(std::string_view syoudakuBangou,
                                        std::string_view houkokuNengappi,
                                        std::string_view niniMoziretsu);
    // The header values cut out of the base name: license number (10 bytes,
    // or 16 digits when bytes 10-15 are no year-month YYYYMM and bytes 16-21
    // are), then the year-month (at most 6 bytes), then the free string (at
    // most 100 bytes).
    std::string GetSyoudakuBangou() const;
    std::string GetHoukokuNengappi() const;
    std::string GetNiniMoziretsu() const;

private:
    qnVelTorDataRecordVector records;
    std::string fileBaseName;
};
