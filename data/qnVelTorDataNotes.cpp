#include "qnVelTorDataNotes.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace {

// What a rule asks of a value.
enum class Test : std::uint8_t {
    Empty,
    EmptyOr, // empty, or one character of `allowed`
    OneOf, // one character of `allowed`
    Digits, // ASCII digits, at least one; exactly `digits` when not 0
    DigitsOrEmpty,
    OfReport, // not a test of the value alone
};

struct NoteRule
{
    NoteKind kind;
    std::uint32_t field; // FieldCount: the whole line
    Test test;
    std::uint8_t digits;
    std::string_view allowed;
    std::string_view message;
};

// In the order of the kinds, from 1. Shift-JIS bytes; the readable text
// stands in the comment above each row.
constexpr NoteRule noteRules[] = {
    // ［インターフェイスキーコード］は1からの連番の数字です。
    {NoteKind::KeyCodeNotNumber, 0, Test::Digits, 0, "",
     "\x81\x6D\x83\x43\x83\x93\x83\x5E\x81\x5B\x83\x74\x83\x46\x83\x43\x83\x58\x83\x4C\x81\x5B\x83\x52\x81\x5B\x83\x68\x81\x6E\x82\xCD\x31\x82\xA9\x82\xE7\x82\xCC\x98\x41\x94\xD4\x82\xCC\x90\x94\x8E\x9A\x82\xC5\x82\xB7\x81\x42"},
    // ［インターフェイスキーコード］と同じ番号が、これより前の行にもあります。
    {NoteKind::KeyCodeRepeated, 0, Test::OfReport, 0, "",
     "\x81\x6D\x83\x43\x83\x93\x83\x5E\x81\x5B\x83\x74\x83\x46\x83\x43\x83\x58\x83\x4C\x81\x5B\x83\x52\x81\x5B\x83\x68\x81\x6E\x82\xC6\x93\xAF\x82\xB6\x94\xD4\x8D\x86\x82\xAA\x81\x41\x82\xB1\x82\xEA\x82\xE6\x82\xE8\x91\x4F\x82\xCC\x8D\x73\x82\xC9\x82\xE0\x82\xA0\x82\xE8\x82\xDC\x82\xB7\x81\x42"},
    // ［コンテンツ区分］は空欄か「Q」です。
    {NoteKind::ContentCategory, 1, Test::EmptyOr, 0, "Q",
     "\x81\x6D\x83\x52\x83\x93\x83\x65\x83\x93\x83\x63\x8B\xE6\x95\xAA\x81\x6E\x82\xCD\x8B\xF3\x97\x93\x82\xA9\x81\x75\x51\x81\x76\x82\xC5\x82\xB7\x81\x42"},
    // ［コンテンツ枝番］は3桁の数字です（通常は000）。
    {NoteKind::ContentSubNumber, 2, Test::Digits, 3, "",
     "\x81\x6D\x83\x52\x83\x93\x83\x65\x83\x93\x83\x63\x8E\x7D\x94\xD4\x81\x6E\x82\xCD\x33\x8C\x85\x82\xCC\x90\x94\x8E\x9A\x82\xC5\x82\xB7\x81\x69\x92\xCA\x8F\xED\x82\xCD\x30\x30\x30\x81\x6A\x81\x42"},
    // ［メドレー区分］は空欄か「M」です。
    {NoteKind::MedleyCategory, 3, Test::EmptyOr, 0, "M",
     "\x81\x6D\x83\x81\x83\x68\x83\x8C\x81\x5B\x8B\xE6\x95\xAA\x81\x6E\x82\xCD\x8B\xF3\x97\x93\x82\xA9\x81\x75\x4D\x81\x76\x82\xC5\x82\xB7\x81\x42"},
    // ［メドレー枝番］は3桁の数字です（「000」、または「001」からの連番）。
    {NoteKind::MedleySubNumber, 4, Test::Digits, 3, "",
     "\x81\x6D\x83\x81\x83\x68\x83\x8C\x81\x5B\x8E\x7D\x94\xD4\x81\x6E\x82\xCD\x33\x8C\x85\x82\xCC\x90\x94\x8E\x9A\x82\xC5\x82\xB7\x81\x69\x81\x75\x30\x30\x30\x81\x76\x81\x41\x82\xDC\x82\xBD\x82\xCD\x81\x75\x30\x30\x31\x81\x76\x82\xA9\x82\xE7\x82\xCC\x98\x41\x94\xD4\x81\x6A\x81\x42"},
    // ［コレクトコード］は入力不要です。空欄にします。
    {NoteKind::CollectCodeFilled, 5, Test::Empty, 0, "",
     "\x81\x6D\x83\x52\x83\x8C\x83\x4E\x83\x67\x83\x52\x81\x5B\x83\x68\x81\x6E\x82\xCD\x93\xFC\x97\xCD\x95\x73\x97\x76\x82\xC5\x82\xB7\x81\x42\x8B\xF3\x97\x93\x82\xC9\x82\xB5\x82\xDC\x82\xB7\x81\x42"},
    // ［ＪＡＳＲＡＣ作品コード］は数字だけです（「-」は入れません）。
    {NoteKind::WorkCodeNotNumber, 6, Test::DigitsOrEmpty, 0, "",
     "\x81\x6D\x82\x69\x82\x60\x82\x72\x82\x71\x82\x60\x82\x62\x8D\xEC\x95\x69\x83\x52\x81\x5B\x83\x68\x81\x6E\x82\xCD\x90\x94\x8E\x9A\x82\xBE\x82\xAF\x82\xC5\x82\xB7\x81\x69\x81\x75\x2D\x81\x76\x82\xCD\x93\xFC\x82\xEA\x82\xDC\x82\xB9\x82\xF1\x81\x6A\x81\x42"},
    // ［情報料］は数字だけです（なければ「0」）。
    {NoteKind::InformationFeeNotNumber, 14, Test::Digits, 0, "",
     "\x81\x6D\x8F\xEE\x95\xF1\x97\xBF\x81\x6E\x82\xCD\x90\x94\x8E\x9A\x82\xBE\x82\xAF\x82\xC5\x82\xB7\x81\x69\x82\xC8\x82\xAF\x82\xEA\x82\xCE\x81\x75\x30\x81\x76\x81\x6A\x81\x42"},
    // ［ＩＶＴ区分］は「I」「V」「T」のどれかです。
    {NoteKind::IvtCategory, 15, Test::OneOf, 0, "IVT",
     "\x81\x6D\x82\x68\x82\x75\x82\x73\x8B\xE6\x95\xAA\x81\x6E\x82\xCD\x81\x75\x49\x81\x76\x81\x75\x56\x81\x76\x81\x75\x54\x81\x76\x82\xCC\x82\xC7\x82\xEA\x82\xA9\x82\xC5\x82\xB7\x81\x42"},
    // ［原詞訳詞区分］は「1」「2」「3」のどれかです。
    {NoteKind::LyricsCategory, 16, Test::OneOf, 0, "123",
     "\x81\x6D\x8C\xB4\x8E\x8C\x96\xF3\x8E\x8C\x8B\xE6\x95\xAA\x81\x6E\x82\xCD\x81\x75\x31\x81\x76\x81\x75\x32\x81\x76\x81\x75\x33\x81\x76\x82\xCC\x82\xC7\x82\xEA\x82\xA9\x82\xC5\x82\xB7\x81\x42"},
    // ［ＩＬ区分］は入力不要です。空欄にします。
    {NoteKind::IlCategoryFilled, 17, Test::Empty, 0, "",
     "\x81\x6D\x82\x68\x82\x6B\x8B\xE6\x95\xAA\x81\x6E\x82\xCD\x93\xFC\x97\xCD\x95\x73\x97\x76\x82\xC5\x82\xB7\x81\x42\x8B\xF3\x97\x93\x82\xC9\x82\xB5\x82\xDC\x82\xB7\x81\x42"},
    // ［リクエスト回数］は数字だけです（なければ「0」）。
    {NoteKind::RequestCountNotNumber, 18, Test::Digits, 0, "",
     "\x81\x6D\x83\x8A\x83\x4E\x83\x47\x83\x58\x83\x67\x89\xF1\x90\x94\x81\x6E\x82\xCD\x90\x94\x8E\x9A\x82\xBE\x82\xAF\x82\xC5\x82\xB7\x81\x69\x82\xC8\x82\xAF\x82\xEA\x82\xCE\x81\x75\x30\x81\x76\x81\x6A\x81\x42"},
    // すべての項目が空欄の行です。
    {NoteKind::EmptyLine, FieldCount, Test::OfReport, 0, "",
     "\x82\xB7\x82\xD7\x82\xC4\x82\xCC\x8D\x80\x96\xDA\x82\xAA\x8B\xF3\x97\x93\x82\xCC\x8D\x73\x82\xC5\x82\xB7\x81\x42"},
};

constexpr bool InKindOrder()
{
    for (std::size_t i = 0; i < std::size(noteRules); ++i) {
        if (static_cast<std::size_t>(noteRules[i].kind) != i + 1)
            return false;
    }
    return std::size(noteRules) == qnVelTorDataNotes::LastKind;
}
static_assert(InKindOrder(), "one rule per kind, in the order of the kinds");

bool AllDigits(std::string_view value)
{
    return std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool Passes(const NoteRule &rule, std::string_view value)
{
    const bool oneAllowed = value.size() == 1 && rule.allowed.find(value[0]) != std::string_view::npos;
    switch (rule.test) {
    case Test::Empty:
        return value.empty();
    case Test::EmptyOr:
        return value.empty() || oneAllowed;
    case Test::OneOf:
        return oneAllowed;
    case Test::Digits:
        return !value.empty() && AllDigits(value) && (rule.digits == 0 || value.size() == rule.digits);
    case Test::DigitsOrEmpty:
        return AllDigits(value);
    case Test::OfReport:
        break;
    }
    return true;
}

// The rule on the value of each field alone, if any.
constexpr auto cellRules = [] {
    std::array<const NoteRule *, FieldCount> rules {};
    for (const NoteRule &rule : noteRules) {
        if (rule.test != Test::OfReport)
            rules[rule.field] = &rule;
    }
    return rules;
}();

const NoteRule *RuleOf(NoteKind kind)
{
    const auto index = static_cast<std::size_t>(kind);
    return index >= 1 && index <= std::size(noteRules) ? &noteRules[index - 1] : nullptr;
}

} // namespace

NoteKind qnVelTorDataNotes::CellNote(std::uint32_t field, std::string_view value)
{
    if (field >= FieldCount || !cellRules[field])
        return NoteKind::None;
    // Most values pass the rule: the field's own check, which an invalid
    // value fails and which makes it an error rather than a note, comes
    // after.
    const NoteRule &rule = *cellRules[field];
    if (Passes(rule, value) || !qnVelTorDataAttribute::Instance()->IsValid(field, value))
        return NoteKind::None;
    return rule.kind;
}

bool qnVelTorDataNotes::IsEmptyLine(const std::string_view *fields)
{
    return std::all_of(fields, fields + FieldCount, [](std::string_view field) { return field.empty(); });
}

std::uint32_t qnVelTorDataNotes::Field(NoteKind kind)
{
    const NoteRule *rule = RuleOf(kind);
    return rule ? rule->field : WholeLine;
}

std::string_view qnVelTorDataNotes::Message(NoteKind kind)
{
    const NoteRule *rule = RuleOf(kind);
    return rule ? rule->message : std::string_view();
}
