// Start-up: Qt's own dialogs in Japanese (and a program that still starts
// without the translation), and a report named on the command line.

#include "FileMessages.h"
#include "EditMessages.h"
#include "ReportModel.h"
#include "Startup.h"
#include "VelTorGridView.h"
#include "qnVelTorForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QIcon>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

namespace {

// Records every message box with the captions of its buttons and answers
// Cancel.
class RecordingDialogs : public TVelTorForm::Dialogs
{
public:
    int ExecMessageBox(QMessageBox &box) override
    {
        QStringList captions;
        for (QMessageBox::StandardButton button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel,
                                                   QMessageBox::Ok}) {
            if (QAbstractButton *shown = box.button(button))
                captions << withoutMnemonic(shown->text());
        }
        boxes << box.text() + QStringLiteral(" [") + captions.join(u'/') + u']';
        return QMessageBox::Cancel;
    }
    QString ExecFileDialog(QFileDialog &) override
    {
        boxes << QStringLiteral("file dialog");
        return {};
    }

    // "はい(&Y)" and "&Yes" as the user reads them.
    static QString withoutMnemonic(QString text)
    {
        text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
        return text.remove(u'&');
    }

    QStringList boxes;
};

const QString SaveQuestion = QStringLiteral("内容は変更されています。\n変更を保存しますか？");

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void saveQuestionInJapanese();
    void startsInEnglishWithoutTranslation();
    void deployedTranslationFound();
    void iconBuiltIn();

    void commandLineOpensFile();
    void commandLineFileUnreadable_data();
    void commandLineFileUnreadable();
    void commandLineWithoutFile();

private:
    // The save question's text and buttons, as a user with unsaved edits
    // meets it on New.
    QString askSaveQuestion();

    QTemporaryDir settingsDir;
    QTranslator *translator = nullptr;
};

void tst_Startup::initTestCase()
{
    QVERIFY(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QApplication::setQuitOnLastWindowClosed(false);
}

void tst_Startup::cleanup()
{
    // Back to Qt's English for the next case.
    delete translator;
    translator = nullptr;
}

QString tst_Startup::askSaveQuestion()
{
    RecordingDialogs dialogs;
    TVelTorForm form;
    form.SetDialogs(&dialogs);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form))
        return QStringLiteral("<window not shown>");
    if (form.Document().InsertLine(0) != EditResult::Done) // an unsaved edit
        return QStringLiteral("<no edit>");
    form.Ui().FileNew1->trigger();
    form.SetDialogs(nullptr);
    return dialogs.boxes.join(u'\n');
}

void tst_Startup::saveQuestionInJapanese()
{
    translator = InstallQtTranslation(qApp, QtTranslationFolders());
    QVERIFY2(translator, "qtbase_ja.qm not found; Debian's qt6-translations-l10n holds it");
    QCOMPARE(askSaveQuestion(), SaveQuestion + QStringLiteral(" [はい/いいえ/キャンセル]"));

    // The file dialogs are Qt's own too.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QCOMPARE(RecordingDialogs::withoutMnemonic(dialog.labelText(QFileDialog::FileName)), QStringLiteral("ファイル名:"));
}

void tst_Startup::startsInEnglishWithoutTranslation()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    translator = InstallQtTranslation(qApp, {empty.path(), QString()});
    QVERIFY(!translator);
    QCOMPARE(askSaveQuestion(), SaveQuestion + QStringLiteral(" [Yes/No/Cancel]"));
}

void tst_Startup::deployedTranslationFound()
{
    // windeployqt leaves one merged file, qt_ja.qm, beside the program.
    QTemporaryDir empty;
    QTemporaryDir deployed;
    QVERIFY(empty.isValid() && deployed.isValid());
    QString installed;
    for (const QString &folder : QtTranslationFolders()) {
        if (QFile::exists(folder + QStringLiteral("/qtbase_ja.qm")))
            installed = folder + QStringLiteral("/qtbase_ja.qm");
    }
    QVERIFY(!installed.isEmpty());
    QVERIFY(QFile::copy(installed, deployed.filePath(QStringLiteral("qt_ja.qm"))));
    translator = InstallQtTranslation(qApp, {empty.path(), deployed.path()});
    QVERIFY(translator);
    QCOMPARE(askSaveQuestion(), SaveQuestion + QStringLiteral(" [はい/いいえ/キャンセル]"));
}

void tst_Startup::iconBuiltIn()
{
    // No icon theme holds it here: the copy inside the program is used.
    const QIcon icon = ProgramIcon();
    QVERIFY(!icon.isNull());
    for (int size : {16, 48, 256}) {
        const QImage image = icon.pixmap(size, size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // the blue frame of the design, not a blank square
        const QColor edge = image.pixelColor(size * 24 / 256, size / 2);
        QVERIFY2(edge.blue() > 120 && edge.red() < 80, qPrintable(edge.name()));
    }
}

void tst_Startup::commandLineOpensFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = QStringLiteral("1234567890202612ABC");
    QFile file(dir.filePath(name)); // no extension: opened as named
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write("1\t\t\t\t\t\t\tA\t\t\t\t\t\t\t\t\t\t\t\r\n2\r\n") > 0);
    file.close();

    RecordingDialogs dialogs;
    TVelTorForm form;
    form.SetDialogs(&dialogs);
    const QString working = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const bool opened = OpenCommandLineFile(form, {QStringLiteral("qnveltor"), name});
    QDir::setCurrent(working);
    QVERIFY(opened);
    QCOMPARE(dialogs.boxes, QStringList());
    // A relative name is kept as a full path, so that Save finds it again.
    QCOMPARE(form.CurrentFileName(), QFileInfo(dir.filePath(name)).absoluteFilePath());
    const QAbstractItemModel *model = form.Ui().VelTorGrid->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->data(model->index(0, 7)).toString(), QStringLiteral("A"));
    QCOMPARE(form.Ui().SyoudakuBangou->text(), QStringLiteral("1234567890"));
    QCOMPARE(form.Ui().NiniMoziretsu->text(), QStringLiteral("ABC"));
    QVERIFY(!form.Modified());
    form.SetDialogs(nullptr);
}

void tst_Startup::commandLineFileUnreadable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QStringLiteral("missing.dat") << QStringLiteral("ファイルが見つかりません。");
    QTest::newRow("a folder") << QStringLiteral("folder") << FileMessages::LoadReason({}, ReadFailure::NotRegularFile);
}

void tst_Startup::commandLineFileUnreadable()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));

    RecordingDialogs dialogs;
    TVelTorForm form;
    form.SetDialogs(&dialogs);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(!OpenCommandLineFile(form, {QStringLiteral("qnveltor"), dir.filePath(name)}));
    // The first line as always, then the file and why.
    const QString path = QDir::toNativeSeparators(dir.filePath(name));
    QCOMPARE(dialogs.boxes,
             QStringList{QStringLiteral("ファイル読み込みエラー\n\n%1\n%2 [OK]").arg(path, message)});
    QVERIFY(form.isVisible());
    QCOMPARE(form.Ui().VelTorGrid->model()->rowCount(), 1);
    QVERIFY(form.CurrentFileName().isEmpty());
    QCOMPARE(form.windowTitle(), QStringLiteral("JASRAC報告[*]"));
    form.SetDialogs(nullptr);
}

void tst_Startup::commandLineWithoutFile()
{
    RecordingDialogs dialogs;
    TVelTorForm form;
    form.SetDialogs(&dialogs);
    QVERIFY(!OpenCommandLineFile(form, {QStringLiteral("qnveltor")}));
    QVERIFY(!OpenCommandLineFile(form, {QStringLiteral("qnveltor"), QString()}));
    QCOMPARE(dialogs.boxes, QStringList());
    QVERIFY(form.CurrentFileName().isEmpty());
    form.SetDialogs(nullptr);
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
