#pragma once

#include <QAbstractTableModel>

class ReportDocument;
class ReportNotes;

// The grid's view of the report: one row per line plus the empty new-line
// row, which is always last; one column per field. It keeps no copy of the
// report: every role is read from the document, and an edit goes to it.
class ReportModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // `document` is not owned.
    explicit ReportModel(ReportDocument *document, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // An unchanged text changes nothing and keeps the cell's exact bytes.
    // False, with editFailed(), when memory ran out: the cell is as it was.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The notes whose words a hint adds, while they are enabled; not owned.
    void SetNotes(const ReportNotes *notes) { this->notes = notes; }
    // The hint of a cell: its error message, else its field's hint and the
    // cell's note; for a cell longer than what is shown, also its length.
    QString Hint(int row, int column) const;
    // Says how long a cell is when only its start is shown; else empty.
    QString LongNote(int row, int column) const;

signals:
    // An edit could not be made for want of memory.
    void editFailed();

private:
    void ConnectDocument();

    ReportDocument *document; // not owned
    const ReportNotes *notes = nullptr; // not owned
};
