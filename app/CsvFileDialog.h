#pragma once

#include <QFileDialog>

// The file dialog of Import (an existing CSV or text file) and of Export
// (a CSV file to write, .csv added to a name without an extension).
class CsvFileDialog : public QFileDialog
{
    Q_OBJECT

public:
    enum class Mode { Import, Export };

    // `suggested` is the name an export proposes; empty proposes none.
    CsvFileDialog(QWidget *parent, Mode mode, const QString &folder, const QString &suggested = {});
};
