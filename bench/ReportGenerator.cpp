#include "ReportGenerator.h"

#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>
#include <vector>

// Word pools, encoded once; the generator then only glues bytes.
struct ReportPools
{
    std::vector<std::string> titleWords;
    std::vector<std::string> asciiTitles;
    std::vector<std::string> subTitles;
    std::vector<std::string> familyNames;
    std::vector<std::string> givenNames;
    std::vector<std::string> katakanaNames;
    std::vector<std::string> halfWidthNames;
    std::vector<std::string> asciiArtists;
    std::vector<std::string> japaneseArtists;
    std::string fullWidthDigit;
    std::string fullWidthSpace;
};

namespace {

std::vector<std::string> Encode(std::initializer_list<const char16_t *> words)
{
    std::vector<std::string> bytes;
    for (const char16_t *word : words) {
        std::optional<std::string> encoded = ShiftJis::FromText(QString::fromUtf16(word));
        if (!encoded) {
            std::fprintf(stderr, "cannot encode a word of the pools\n");
            std::exit(2);
        }
        bytes.push_back(std::move(*encoded));
    }
    return bytes;
}

ReportPools MakePools()
{
    ReportPools pools;
    pools.titleWords = Encode({u"夜明けの", u"星空", u"さくら", u"恋人よ", u"青い", u"海", u"風のうた",
                               u"約束", u"ふるさと", u"君に", u"届け", u"永遠の", u"旅立ち", u"雪国",
                               u"花火", u"真夏の", u"夢", u"ありがとう", u"月夜", u"物語", u"港町",
                               u"ブルース", u"ラブソング", u"メロディー", u"涙", u"そして", u"明日へ",
                               u"川の流れ", u"のように", u"東京", u"ワルツ", u"秋桜", u"祭り",
                               u"遠い日の", u"いつまでも", u"想い出が", u"いっぱい", u"ガラスの",
                               u"少年", u"春夏秋冬", u"シンフォニー"});
    pools.asciiTitles = Encode({u"MY WAY", u"Yesterday Once More", u"SUNRISE", u"Blue Moon",
                                u"Take Five", u"Fly Me To The Moon", u"LOVE SONG", u"Summer Breeze",
                                u"Night Train", u"Over The Rainbow", u"Smoke Gets In Your Eyes",
                                u"What A Wonderful World"});
    pools.subTitles = Encode({u"ライブ版", u"映画「旅路」主題歌", u"英語版", u"ピアノ独奏",
                              u"ドラマ挿入歌", u"第二楽章", u"アコースティック",
                              u"テレビアニメ「星の旅人」主題歌", u"NHK連続ドラマ挿入歌"});
    pools.familyNames = Encode({u"佐藤", u"鈴木", u"高橋", u"田中", u"渡辺", u"伊藤", u"山本", u"中村",
                                u"小林", u"加藤", u"吉田", u"山田", u"松本", u"井上", u"木村"});
    pools.givenNames = Encode({u"一郎", u"花子", u"健", u"美咲", u"翔太", u"由美", u"誠", u"陽子",
                               u"大輔", u"さくら", u"直樹", u"恵"});
    pools.katakanaNames = Encode({u"ジョン・スミス", u"マイケル", u"アンナ", u"ポール・サイモン",
                                  u"マリア", u"エリック"});
    pools.halfWidthNames = Encode({u"ﾔﾏﾀﾞ ﾀﾛｳ", u"ｽｽﾞｷ ｲﾁﾛｳ", u"ｻﾄｳ ﾊﾅｺ", u"ｷﾑﾗ"});
    pools.asciiArtists = Encode({u"SKYLINE", u"Moon Riders Band", u"K-TOWN", u"Akiko & The Sounds",
                                 u"RED CAT", u"Tokyo Strings", u"The Harbor Lights", u"NOVA",
                                 u"Midnight Jazz Orchestra", u"Sakura Sisters feat. MC Ken"});
    pools.japaneseArtists = Encode({u"東京交響楽団", u"山田太郎とバンド", u"さくら合唱団",
                                    u"ミッドナイト・ブルー"});
    pools.fullWidthDigit = Encode({u"５"}).front();
    pools.fullWidthSpace = Encode({u"　"}).front();
    return pools;
}

std::string PersonName(SplitMix &random, const ReportPools &pools)
{
    const std::uint32_t kind = random.Below(10);
    if (kind < 7)
        return random.Pick(pools.familyNames) + pools.fullWidthSpace + random.Pick(pools.givenNames);
    if (kind < 9)
        return random.Pick(pools.katakanaNames);
    return random.Pick(pools.halfWidthNames);
}

std::string Title(SplitMix &random, const ReportPools &pools)
{
    if (random.Percent(15))
        return random.Pick(pools.asciiTitles);
    std::string title;
    const std::uint32_t words = 3 + random.Below(4);
    for (std::uint32_t i = 0; i < words; ++i) {
        const std::string &word = random.Pick(pools.titleWords);
        if (title.size() + word.size() > 60)
            break;
        title += word;
    }
    // A title pasted together from two songs: too long for the field.
    if (random.OneIn(250)) {
        while (title.size() <= 60)
            title += random.Pick(pools.titleWords);
    }
    return title;
}

void AppendReportLine(std::string &out, std::uint64_t serial, SplitMix &random, const ReportPools &pools)
{
    // Views into the pools and into the few texts made for this line.
    std::string_view fields[FieldCount];
    const std::string serialText = std::to_string(serial);
    fields[0] = serialText;
    if (random.OneIn(50))
        fields[1] = "Q";
    fields[2] = "000";
    std::string medleyNumber = "000";
    if (random.OneIn(40)) {
        fields[3] = "M";
        medleyNumber.back() = static_cast<char>('1' + random.Below(5));
    }
    fields[4] = medleyNumber;
    char code[16];
    std::snprintf(code, sizeof code, "%08u", static_cast<unsigned>(random.Below(100000000)));
    std::string workCode = code;
    // A work code typed with the input method still on.
    if (random.OneIn(400))
        workCode.replace(4, 1, pools.fullWidthDigit);
    fields[6] = workCode;
    const std::string title = Title(random, pools);
    fields[7] = title;
    if (random.Percent(45))
        fields[8] = random.Pick(pools.subTitles);
    std::string names[4];
    const std::uint32_t namePercent[4] = {85, 15, 90, 60};
    for (int i = 0; i < 4; ++i) {
        if (random.Percent(namePercent[i])) {
            names[i] = PersonName(random, pools);
            fields[9 + i] = names[i];
        }
    }
    if (random.Percent(90)) {
        const std::uint32_t kind = random.Below(10);
        if (kind < 6)
            fields[13] = random.Pick(pools.asciiArtists);
        else if (kind < 9)
            fields[13] = random.Pick(pools.japaneseArtists);
        else
            fields[13] = random.Pick(pools.halfWidthNames);
    }
    fields[14] = "0";
    const std::uint32_t ivt = random.Below(10);
    fields[15] = ivt < 6 ? "V" : ivt < 9 ? "I" : "T";
    const std::uint32_t lyrics = random.Below(20);
    fields[16] = lyrics < 16 ? "1" : lyrics < 19 ? "2" : "3";
    fields[18] = "0";

    for (std::uint32_t f = 0; f < FieldCount; ++f) {
        if (f > 0)
            out += '\t';
        out += fields[f];
    }
    out += "\r\n";
}

} // namespace

ReportGenerator::ReportGenerator()
    : pools(std::make_unique<const ReportPools>(MakePools())), random(0x716E56656C546F72ull)
{
}

ReportGenerator::~ReportGenerator() = default;

void ReportGenerator::AppendLine(std::string &out)
{
    AppendReportLine(out, ++serial, random, *pools);
}

std::string ReportGenerator::Generate(std::uint64_t lines)
{
    ReportGenerator generator;
    std::string report;
    report.reserve(lines * 128);
    for (std::uint64_t line = 0; line < lines; ++line)
        generator.AppendLine(report);
    return report;
}

bool ReportGenerator::WriteFile(const std::string &path, std::uint64_t lines, std::uint64_t *bytes)
{
    constexpr std::size_t chunk = 4 << 20;
    ReportGenerator generator;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string buffer;
    buffer.reserve(chunk + 4096);
    std::uint64_t written = 0;
    for (std::uint64_t line = 0; line < lines && out; ++line) {
        generator.AppendLine(buffer);
        if (buffer.size() >= chunk || line + 1 == lines) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            written += buffer.size();
            buffer.clear();
        }
    }
    if (bytes)
        *bytes = written;
    return static_cast<bool>(out.flush());
}
