#pragma once

#include "qnVelTorDataNotes.h"

#include <QAbstractItemModel>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <utility>
#include <vector>

class ReportDocument;
class ReportFile;
class ReportNotes;

// The review list: every problem of the report in one tree, by kind.
//
//   エラー（N件）               a section
//     全角文字（N件）            a group: cells breaking one rule, the header
//       12行目 | 項目 | 値 | …   values, or the file's form a save changes
//   注意（N件）                 the notes from the hints, a group per rule
//
// It is a model over the verdicts and the notes, not a copy: a group keeps
// the places of its entries only, 8 bytes each, and every column is read
// from the report when it is shown. The places are gathered when the list
// is opened, and again once after a change while it stays open (when the
// event loop comes round), with one layout change for all: a step over a
// million cells costs one pass, not a signal per row. A closed list only
// notes that something changed.
class ReviewModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum class Section { Errors, Notes };
    // The groups of the errors; those of the notes are their NoteKind.
    enum class ErrorKind { FullWidth, TooLong, Header, Format };
    struct Group
    {
        Section section = Section::Errors;
        int kind = 0; // an ErrorKind, or a NoteKind
        bool operator==(const Group &other) const = default;
    };
    // Where an entry takes the user.
    struct Place
    {
        enum What { Nothing, Cell, Line, HeaderBox };
        What what = Nothing;
        int line = -1;
        int field = -1; // of a Cell
        int box = -1; // of a HeaderBox: a ReportDocument::HeaderBox
    };
    enum Column { LabelColumn, FieldColumn, ValueColumn, MessageColumn, ColumnCount };
    // The Section of any row, as an int.
    static constexpr int SectionRole = Qt::UserRole;

    // None is owned; each must outlive this.
    ReviewModel(ReportFile &file, const ReportNotes &notes, QObject *parent = nullptr);

    // Active, the entries are gathered now and after every change; else a
    // change is only noted, and the list is empty.
    void SetActive(bool active);
    bool Active() const { return active; }
    // Gathers the entries now, not when the event loop comes round.
    void Refresh();

    Place PlaceOf(const QModelIndex &index) const;
    // The group of a group's row or of one of its entries; false for a
    // section's row or an invalid index.
    bool GroupOf(const QModelIndex &index, Group &group) const;
    // The row of a group, invalid while it has no entry.
    QModelIndex IndexOf(Group group) const;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // A cell (line, field), a header box (box, 0) or a problem of the
    // form (its index, 0).
    struct Entry
    {
        std::uint32_t line;
        std::uint32_t field;
        bool operator<(const Entry &other) const
        {
            return line != other.line ? line < other.line : field < other.field;
        }
    };
    struct GroupRows
    {
        Group group;
        std::vector<Entry> entries;
    };
    struct SectionRows
    {
        Section section;
        std::vector<GroupRows> groups;
        std::uint64_t count = 0;
    };
    // What an index stands on, with `group` the running number of the
    // group over all sections.
    struct Address
    {
        int section = -1;
        int group = -1; // within its section
        int entry = -1;
    };

    void Connect();
    void Changed();
    std::vector<SectionRows> Gather() const;
    Address AddressOf(const QModelIndex &index) const;
    const GroupRows *GroupAt(const Address &address) const;

    QString GroupTitle(Group group) const;
    QVariant EntryData(Group group, const Entry &entry, int column, int role) const;

    ReportFile &file;
    ReportDocument &document;
    const ReportNotes &notes;
    bool active = false;
    std::vector<SectionRows> sections; // the sections with an entry
    // Section and row of each group, by its running number.
    std::vector<std::pair<int, int>> groupPlaces;
    // Lines whose cells changed since the last gathering.
    using Runs = std::vector<std::pair<int, int>>;
    Runs changedLines;
    bool manyChanged = false;
    QTimer refreshTimer;
};
