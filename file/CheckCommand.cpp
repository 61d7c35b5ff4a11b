#include "CheckCommand.h"

#include "CheckOutput.h"
#include "ReportCheck.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

const QString CheckOption = QStringLiteral("--check");
const QString SjisOption = QStringLiteral("--sjis");
const QString NotesOption = QStringLiteral("--notes");
const QString StrictOption = QStringLiteral("--strict");
const QString HelpOption = QStringLiteral("--help");
const QString ShortHelpOption = QStringLiteral("-h");
const QString EndOfOptions = QStringLiteral("--");

QString UsageText()
{
    return QCoreApplication::translate(
            "CheckCommand",
            "使い方: qnveltor --check [--sjis] [--notes [--strict]] ファイル...\n"
            "\n"
            "報告ファイルを検査します。ウィンドウは開きません。\n"
            "エラーのセルを「ファイル:行:項目名: メッセージ」の形で1行ずつ、\n"
            "続けてファイル名の許諾番号と報告年月の誤り、ファイルの形式の問題\n"
            "（CSVやUTF-8のファイル、改行がCR LFでない行、項目が19個でない行、空行、\n"
            "Shift_JISでないバイトを含む行など）、最後にファイルごとの集計を出力します。\n"
            "ファイル名の制御文字は \\n や \\x1b のように、\\ は \\\\ と書きます。\n"
            "\n"
            "  --check     報告ファイルを検査する\n"
            "  --sjis      Shift_JISで出力する（指定がなければUTF-8）\n"
            "  --notes     項目の説明に合わない値（エラーではないもの）も\n"
            "              「ファイル:行:項目名: 注意: メッセージ」の形で出力する\n"
            "  --strict    注意も問題として終了コードを1にする（--notesを含む）\n"
            "  -h, --help  この説明を表示する\n"
            "  --          これより後ろはすべてファイル名とする\n"
            "\n"
            "終了コード: 0 問題なし、1 問題あり、\n"
            "            2 読み込めないファイルがある、または指定の誤り");
}

struct Options
{
    bool check = false;
    bool help = false;
    bool sjis = false;
    bool notes = false;
    bool strict = false; // notes count as problems
    QString unknown; // the first option not known
    QStringList files;
};

Options ParseArguments(const QStringList &arguments)
{
    Options options;
    bool filesOnly = false;
    for (const QString &argument : arguments) {
        if (filesOnly || !argument.startsWith(QLatin1Char('-')) || argument.size() == 1) {
            options.files << argument;
        } else if (argument == EndOfOptions) {
            filesOnly = true;
        } else if (argument == CheckOption) {
            options.check = true;
        } else if (argument == SjisOption) {
            options.sjis = true;
        } else if (argument == NotesOption) {
            options.notes = true;
        } else if (argument == StrictOption) {
            options.notes = options.strict = true;
        } else if (argument == HelpOption || argument == ShortHelpOption) {
            options.help = true;
        } else if (options.unknown.isEmpty()) {
            options.unknown = argument;
        }
    }
    return options;
}

// A wrong command line: what was wrong, then how to ask for the usage.
int Refuse(CheckOutput &err, const QString &text)
{
    err.AppendLine(text);
    err.Flush();
    return CheckFailed;
}

int RunChecks(const Options &options, CheckOutput &output, CheckOutput &err)
{
    ReportCheck check(output, options.notes);
    int status = CheckClean;
    for (const QString &file : options.files) {
        switch (check.CheckFile(file)) {
        case ReportCheck::Verdict::Clean:
            break;
        case ReportCheck::Verdict::Notes:
            if (options.strict)
                status = std::max(status, CheckProblems);
            break;
        case ReportCheck::Verdict::Problems:
            status = std::max(status, CheckProblems);
            break;
        case ReportCheck::Verdict::Unreadable:
            status = CheckFailed;
            break;
        }
        if (output.Failed())
            break;
    }
    // A result that did not reach its reader is no result: a script must not
    // take a full disk for a clean report.
    if (!output.Flush())
        return Refuse(err,
                      QCoreApplication::translate("CheckCommand", "qnveltor: 検査の結果を書き出せませんでした。"));
    return status;
}

} // namespace

bool IsReportCheckCommand(int argc, const char *const *argv)
{
    for (int i = 1; i < argc && argv[i]; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return false;
        if (std::strcmp(argument, "--check") == 0 || std::strcmp(argument, "--help") == 0
            || std::strcmp(argument, "-h") == 0)
            return true;
    }
    return false;
}

int RunReportCheck(const QStringList &arguments, QIODevice &out, QIODevice &err)
{
    const Options options = ParseArguments(arguments);
    const auto encoding = options.sjis ? CheckOutput::Encoding::ShiftJis : CheckOutput::Encoding::Utf8;
    CheckOutput output(out, encoding);
    CheckOutput errors(err, encoding);
    try {
        if (options.help) {
            output.AppendLine(UsageText());
            return output.Flush() ? CheckClean : CheckFailed;
        }
        if (!options.unknown.isEmpty()) {
            return Refuse(errors, QCoreApplication::translate("CheckCommand",
                                                              "qnveltor: 知らないオプションです: %1\n"
                                                              "使い方は qnveltor --help で表示します。")
                                          .arg(options.unknown));
        }
        if (!options.check || options.files.isEmpty())
            return Refuse(errors, UsageText());
        return RunChecks(options, output, errors);
    } catch (const std::bad_alloc &) {
        return Refuse(errors, QCoreApplication::translate("CheckCommand",
                                                          "qnveltor: メモリが足りないため、検査できませんでした。"));
    }
}

int RunReportCheck(int argc, char **argv)
{
    // Qt Core only: the arguments as the system spells them (on Windows
    // from the wide command line), and no display.
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    // Unbuffered: CheckOutput gathers the bytes itself, and a failed write
    // must show at once, not in a destructor.
    constexpr int standardOutput = 1;
    constexpr int standardError = 2;
    QFile out;
    QFile err;
    if (!out.open(standardOutput, QIODevice::WriteOnly | QIODevice::Unbuffered)
        || !err.open(standardError, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return CheckFailed;
    return RunReportCheck(arguments, out, err);
}
