#include "SpreadsheetText.h"

#include "SplitMix.h"

#include <QStringList>

QString SpreadsheetText(std::uint32_t lines)
{
    static const QStringList titles = {
        QStringLiteral("夜明けの歌"), QStringLiteral("星空のメロディー"), QStringLiteral("さくら"),
        QStringLiteral("港町ブルース"), QStringLiteral("Blue Moon"), QStringLiteral("ふるさと"),
    };
    static const QStringList names = {
        QStringLiteral("山田太郎"), QStringLiteral("鈴木花子"), QStringLiteral("ｻﾄｳ ﾀﾛｳ"), QString(),
        QStringLiteral("John Smith"),
    };
    SplitMix random(20260311);
    QString text;
    text.reserve(qsizetype(lines) * 96);
    for (std::uint32_t line = 0; line < lines; ++line) {
        QString title = titles[qsizetype(random.Below(std::uint32_t(titles.size())))];
        if (random.OneIn(100))
            title = "\"" + title + "\n" + title + "\""; // a cell with a line break
        else if (random.OneIn(200))
            title = "\"\"\"" + title + "\"\"\""; // a cell in quotes of its own
        QString artist = names[qsizetype(random.Below(std::uint32_t(names.size())))];
        if (random.OneIn(100))
            artist = "\"" + artist + "\t" + artist + "\"";
        text += QString::number(line + 1) + "\t\t000\t\t000\t\t" + QString::number(10000000 + random.Below(89999999))
                + "\t" + title + "\t\t" + names[qsizetype(random.Below(std::uint32_t(names.size())))] + "\t\t"
                + names[qsizetype(random.Below(std::uint32_t(names.size())))] + "\t\t" + artist + "\t0\tV\t1\t\t0\r\n";
    }
    return text;
}
