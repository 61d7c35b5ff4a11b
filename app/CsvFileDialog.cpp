#include "CsvFileDialog.h"

#include "FileFilters.h"

CsvFileDialog::CsvFileDialog(QWidget *parent, Mode mode, const QString &folder, const QString &suggested)
    : QFileDialog(parent, mode == Mode::Import ? tr("インポート") : tr("エクスポート"), folder,
                  mode == Mode::Import ? tr("CSV・テキストファイル(*.csv *.txt *.tsv *.dat)") + QStringLiteral(";;")
                                  + AllFilesFilter()
                                       : tr("CSVファイル(*.csv)"))
{
    if (mode == Mode::Import) {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFile);
        return;
    }
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDefaultSuffix(QStringLiteral("csv"));
#ifndef Q_OS_WIN
    // Qt's own dialog reliably adds the default extension and asks before
    // overwriting the file that name then names.
    setOption(QFileDialog::DontUseNativeDialog);
#endif
    if (!suggested.isEmpty())
        selectFile(suggested);
}
