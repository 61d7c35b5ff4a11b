#include "ReviewModel.h"

#include "CellText.h"
#include "FormatProblem.h"
#include "ReportDocument.h"
#include "ReportFile.h"
#include "ReportNotes.h"
#include "ShiftJis.h"
#include "qnVelTorDataAttribute.h"

#include <QColor>

#include <algorithm>
#include <utility>

namespace {

// Ids of the indexes: sections 0, groups 1 + their section, entries
// EntryIds + the running number of their group.
constexpr quintptr SectionId = 0;
constexpr quintptr EntryIds = 3;
// Runs of changed lines told one by one before a refresh; past these, the
// views hear of a layout change instead.
constexpr std::size_t MaxChangedRuns = 64;

const QColor ErrorColor(220, 0, 0);
// The notes' amber, never red: the grid marks them in it too.
const QColor NoteColor(230, 150, 0);
const QColor NoteTextColor(150, 95, 0);

std::string fullWidthMessage()
{
    std::string message;
    qnVelTorDataAttribute::Instance()->At(0)->AppendMessage(qnVelTorDataAttribute::FieldAttribute::Verdict::FullWidth,
                                                            message);
    return message;
}

} // namespace

ReviewModel::ReviewModel(ReportFile &file, const ReportNotes &notes, QObject *parent)
    : QAbstractItemModel(parent), file(file), document(file.Document()), notes(notes)
{
    refreshTimer.setSingleShot(true);
    refreshTimer.setInterval(0);
    connect(&refreshTimer, &QTimer::timeout, this, &ReviewModel::Refresh);
    Connect();
}

void ReviewModel::Connect()
{
    const ReportContent *content = &document.Content();
    const auto changed = [this] { Changed(); };
    // The lines whose cells changed, for entries that stay where they are
    // but show other values.
    const auto cells = [this](int first, int last) {
        if (!changedLines.empty() && first >= changedLines.back().first && first <= changedLines.back().second + 1)
            changedLines.back().second = std::max(changedLines.back().second, last);
        else if (changedLines.size() < MaxChangedRuns)
            changedLines.emplace_back(first, last);
        else
            manyChanged = true;
        Changed();
    };
    connect(content, &ReportContent::reset, this, changed);
    connect(content, &ReportContent::linesInserted, this, changed);
    connect(content, &ReportContent::linesRemoved, this, changed);
    connect(content, &ReportContent::lineMoved, this, changed);
    connect(content, &ReportContent::linesReordered, this, changed);
    connect(content, &ReportContent::cellsChanged, this, cells);
    connect(content, &ReportContent::verdictsChanged, this, cells);
    connect(content, &ReportContent::headerChanged, this, changed);
    connect(&document, &ReportDocument::invalidCellsChanged, this, changed);
    connect(&notes, &ReportNotes::notesChanged, this, changed);
    connect(&file, &ReportFile::formatChanged, this, changed);
}

void ReviewModel::Changed()
{
    if (active && !refreshTimer.isActive())
        refreshTimer.start();
}

void ReviewModel::SetActive(bool on)
{
    if (on == active)
        return;
    active = on;
    if (active) {
        Refresh();
        return;
    }
    // A closed list gives its memory back, and gathers again when opened.
    refreshTimer.stop();
    beginResetModel();
    std::vector<SectionRows>().swap(sections);
    groupPlaces.clear();
    endResetModel();
}

std::vector<ReviewModel::SectionRows> ReviewModel::Gather() const
{
    std::vector<SectionRows> gathered;
    SectionRows errors {Section::Errors, {}, 0};
    GroupRows fullWidth {{Section::Errors, int(ErrorKind::FullWidth)}, {}};
    GroupRows tooLong {{Section::Errors, int(ErrorKind::TooLong)}, {}};
    const qnVelTor::GridAttr &verdicts = document.Verdicts();
    if (verdicts.ErrorCellCount() > 0) {
        using Verdict = qnVelTorDataAttribute::FieldAttribute::Verdict;
        static const std::string fullWidthText = fullWidthMessage();
        const qnVelTorDataAttribute &attributes = document.Attributes();
        // From before the first line to where the search comes round.
        unsigned line = verdicts.RowCount();
        unsigned field = 0;
        bool wrapped = false;
        while (verdicts.FindError(line, field, true, line, field, wrapped) && !wrapped) {
            Verdict verdict = attributes.Check(field, document.Cell(int(line), int(field)));
            // A text being typed has its verdict before the cell holds it.
            if (verdict == Verdict::Valid)
                verdict = verdicts.GetErrorMessage(line, field) == fullWidthText ? Verdict::FullWidth
                                                                                  : Verdict::TooLong;
            (verdict == Verdict::FullWidth ? fullWidth : tooLong).entries.push_back({line, field});
        }
    }
    GroupRows header {{Section::Errors, int(ErrorKind::Header)}, {}};
    for (const auto box : {ReportDocument::SyoudakuBangou, ReportDocument::HoukokuNengappi}) {
        if (!document.HeaderVerdict(box).empty())
            header.entries.push_back({std::uint32_t(box), 0});
    }
    GroupRows format {{Section::Errors, int(ErrorKind::Format)}, {}};
    for (std::size_t i = 0; i < file.PendingFormat().size(); ++i)
        format.entries.push_back({std::uint32_t(i), 0});
    for (GroupRows *group : {&fullWidth, &tooLong, &header, &format}) {
        if (!group->entries.empty())
            errors.groups.push_back(std::move(*group));
    }

    SectionRows noted {Section::Notes, {}, 0};
    if (notes.Enabled() && notes.Count() > 0) {
        std::vector<GroupRows> kinds(qnVelTorDataNotes::LastKind + 1);
        for (const ReportNotes::Note &note : notes.Notes())
            kinds[std::size_t(note.kind)].entries.push_back({note.line, note.field});
        for (std::size_t kind = 1; kind < kinds.size(); ++kind) {
            if (kinds[kind].entries.empty())
                continue;
            kinds[kind].group = {Section::Notes, int(kind)};
            noted.groups.push_back(std::move(kinds[kind]));
        }
    }
    for (SectionRows *section : {&errors, &noted}) {
        for (const GroupRows &group : section->groups)
            section->count += group.entries.size();
        if (section->count > 0)
            gathered.push_back(std::move(*section));
    }
    return gathered;
}

void ReviewModel::Refresh()
{
    refreshTimer.stop();
    if (!active)
        return;
    std::vector<SectionRows> fresh = Gather();
    const auto same = [](const std::vector<SectionRows> &a, const std::vector<SectionRows> &b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SectionRows &x, const SectionRows &y) {
            return x.section == y.section
                    && std::equal(x.groups.begin(), x.groups.end(), y.groups.begin(), y.groups.end(),
                                  [](const GroupRows &g, const GroupRows &h) {
                                      return g.group == h.group
                                              && std::equal(g.entries.begin(), g.entries.end(), h.entries.begin(),
                                                            h.entries.end(), [](const Entry &e, const Entry &f) {
                                                                return e.line == f.line && e.field == f.field;
                                                            });
                                  });
        });
    };
    Runs lines;
    lines.swap(changedLines);
    const bool many = std::exchange(manyChanged, false);
    if (same(sections, fresh)) {
        // The same places: only the values of the lines that changed may
        // show otherwise. A signal for each run of their entries, which a
        // tree view redraws one by one: a whole group's run would have it
        // look up each of a hundred thousand rows.
        if (many) {
            emit layoutAboutToBeChanged();
            emit layoutChanged();
            return;
        }
        for (int s = 0; s < int(sections.size()); ++s) {
            const QModelIndex section = index(s, 0);
            const auto &groups = sections[std::size_t(s)].groups;
            for (int g = 0; g < int(groups.size()); ++g) {
                const GroupRows &rows = groups[std::size_t(g)];
                const Group kind = rows.group;
                if (kind.section == Section::Errors
                    && (kind.kind == int(ErrorKind::Header) || kind.kind == int(ErrorKind::Format))) {
                    const QModelIndex group = index(g, 0, section);
                    emit dataChanged(index(0, 0, group), index(rowCount(group) - 1, ColumnCount - 1, group));
                    continue;
                }
                for (const auto &[first, last] : lines) {
                    const auto from = std::lower_bound(rows.entries.begin(), rows.entries.end(),
                                                       Entry {std::uint32_t(first), 0});
                    const auto to = std::lower_bound(from, rows.entries.end(), Entry {std::uint32_t(last) + 1, 0});
                    if (from == to)
                        continue;
                    const QModelIndex group = index(g, 0, section);
                    emit dataChanged(index(int(from - rows.entries.begin()), 0, group),
                                     index(int(to - rows.entries.begin()) - 1, ColumnCount - 1, group));
                }
            }
        }
        return;
    }
    emit layoutAboutToBeChanged();
    const QModelIndexList kept = persistentIndexList();
    const std::vector<SectionRows> old = std::move(sections);
    const std::vector<std::pair<int, int>> oldPlaces = std::move(groupPlaces);
    sections = std::move(fresh);
    groupPlaces.clear();
    for (int s = 0; s < int(sections.size()); ++s) {
        for (int g = 0; g < int(sections[std::size_t(s)].groups.size()); ++g)
            groupPlaces.emplace_back(s, g);
    }
    QModelIndexList followed;
    followed.reserve(kept.size());
    for (const QModelIndex &index : kept) {
        // Read against the old places: the index's id and row are theirs.
        Address address;
        if (index.internalId() == SectionId) {
            address.section = index.row();
        } else if (index.internalId() < EntryIds) {
            address.section = int(index.internalId() - 1);
            address.group = index.row();
        } else {
            const auto &place = oldPlaces[std::size_t(index.internalId() - EntryIds)];
            address = {place.first, place.second, index.row()};
        }
        followed << QModelIndex();
        const SectionRows &section = old[std::size_t(address.section)];
        // The same section, group and place in the new list, or the
        // nearest that is there.
        int s = 0;
        while (s < int(sections.size()) && sections[std::size_t(s)].section != section.section)
            ++s;
        if (s == int(sections.size()))
            continue;
        if (address.group < 0) {
            followed.back() = createIndex(s, index.column(), SectionId);
            continue;
        }
        const GroupRows &group = section.groups[std::size_t(address.group)];
        const std::vector<GroupRows> &groups = sections[std::size_t(s)].groups;
        const auto found = std::find_if(groups.begin(), groups.end(),
                                        [&group](const GroupRows &g) { return g.group == group.group; });
        if (found == groups.end()) {
            followed.back() = createIndex(s, index.column(), SectionId);
            continue;
        }
        const int g = int(found - groups.begin());
        if (address.entry < 0) {
            followed.back() = createIndex(g, index.column(), quintptr(1 + s));
            continue;
        }
        const Entry &entry = group.entries[std::size_t(address.entry)];
        const auto at = std::lower_bound(found->entries.begin(), found->entries.end(), entry);
        const int row = std::min(int(at - found->entries.begin()), int(found->entries.size()) - 1);
        const auto flat = std::find(groupPlaces.begin(), groupPlaces.end(), std::make_pair(s, g));
        followed.back() = createIndex(row, index.column(), EntryIds + quintptr(flat - groupPlaces.begin()));
    }
    changePersistentIndexList(kept, followed);
    emit layoutChanged();
}

ReviewModel::Address ReviewModel::AddressOf(const QModelIndex &index) const
{
    Address address;
    if (!index.isValid() || index.model() != this)
        return address;
    if (index.internalId() == SectionId) {
        address.section = index.row();
    } else if (index.internalId() < EntryIds) {
        address.section = int(index.internalId() - 1);
        address.group = index.row();
    } else {
        const std::size_t flat = index.internalId() - EntryIds;
        if (flat >= groupPlaces.size())
            return {};
        address = {groupPlaces[flat].first, groupPlaces[flat].second, index.row()};
    }
    return address;
}

const ReviewModel::GroupRows *ReviewModel::GroupAt(const Address &address) const
{
    if (address.section < 0 || address.section >= int(sections.size()) || address.group < 0)
        return nullptr;
    const auto &groups = sections[std::size_t(address.section)].groups;
    return address.group < int(groups.size()) ? &groups[std::size_t(address.group)] : nullptr;
}

QModelIndex ReviewModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount || row >= rowCount(parent))
        return {};
    if (!parent.isValid())
        return createIndex(row, column, SectionId);
    const Address address = AddressOf(parent);
    if (address.group < 0)
        return createIndex(row, column, quintptr(1 + address.section));
    const auto flat = std::find(groupPlaces.begin(), groupPlaces.end(), std::make_pair(address.section, address.group));
    return createIndex(row, column, EntryIds + quintptr(flat - groupPlaces.begin()));
}

QModelIndex ReviewModel::parent(const QModelIndex &child) const
{
    const Address address = AddressOf(child);
    if (address.group < 0)
        return {};
    if (address.entry < 0)
        return createIndex(address.section, 0, SectionId);
    return createIndex(address.group, 0, quintptr(1 + address.section));
}

int ReviewModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(sections.size());
    if (parent.column() != 0)
        return 0;
    const Address address = AddressOf(parent);
    if (address.section < 0 || address.section >= int(sections.size()) || address.entry >= 0)
        return 0;
    if (address.group < 0)
        return int(sections[std::size_t(address.section)].groups.size());
    const GroupRows *group = GroupAt(address);
    return group ? int(group->entries.size()) : 0;
}

int ReviewModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant ReviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case LabelColumn:
        return tr("場所");
    case FieldColumn:
        return tr("項目");
    case ValueColumn:
        return tr("値");
    case MessageColumn:
        return tr("内容");
    default:
        return {};
    }
}

QVariant ReviewModel::data(const QModelIndex &index, int role) const
{
    const Address address = AddressOf(index);
    if (address.section < 0 || address.section >= int(sections.size()))
        return {};
    const SectionRows &section = sections[std::size_t(address.section)];
    const bool noted = section.section == Section::Notes;
    if (role == SectionRole)
        return int(section.section);
    if (role == Qt::ForegroundRole && noted)
        return NoteTextColor;
    if (address.group < 0 || address.entry < 0) {
        if (index.column() != LabelColumn)
            return {};
        if (role == Qt::DecorationRole)
            return noted ? NoteColor : ErrorColor;
        if (role != Qt::DisplayRole)
            return {};
        if (address.group < 0)
            return (noted ? tr("注意（%1件）") : tr("エラー（%1件）")).arg(section.count);
        const GroupRows *group = GroupAt(address);
        return group ? tr("%1（%2件）").arg(GroupTitle(group->group)).arg(group->entries.size()) : QVariant();
    }
    const GroupRows *group = GroupAt(address);
    if (!group || address.entry >= int(group->entries.size()))
        return {};
    return EntryData(group->group, group->entries[std::size_t(address.entry)], index.column(), role);
}

QString ReviewModel::GroupTitle(Group group) const
{
    if (group.section == Section::Notes)
        return ShiftJis::ToText(qnVelTorDataNotes::Message(NoteKind(group.kind)));
    switch (ErrorKind(group.kind)) {
    case ErrorKind::FullWidth:
        return tr("全角文字");
    case ErrorKind::TooLong:
        return tr("文字数");
    case ErrorKind::Header:
        return tr("ファイル名（許諾番号・報告年月）");
    case ErrorKind::Format:
        return tr("ファイルの形式（保存で変わる点）");
    }
    return {};
}

QVariant ReviewModel::EntryData(Group group, const Entry &entry, int column, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const bool tip = role == Qt::ToolTipRole;
    if (group.section == Section::Errors && ErrorKind(group.kind) == ErrorKind::Header) {
        const auto box = ReportDocument::HeaderBox(entry.line);
        const QString message = ShiftJis::ToText(document.HeaderVerdict(box));
        if (tip)
            return message;
        switch (column) {
        case LabelColumn:
            return box == ReportDocument::SyoudakuBangou ? tr("許諾番号") : tr("報告年月");
        case ValueColumn:
            return document.HeaderText(box);
        case MessageColumn:
            return message;
        default:
            return {};
        }
    }
    if (group.section == Section::Errors && ErrorKind(group.kind) == ErrorKind::Format) {
        if (entry.line >= file.PendingFormat().size())
            return {};
        const FormatProblem &problem = file.PendingFormat()[entry.line];
        const QString message = FormatProblemText(problem, ReportSniffer::Looks::Report)
                + (problem.LostBySave() ? tr("保存すると失われます。") : tr("保存すると正しい形式で書かれます。"));
        if (tip || column == MessageColumn)
            return message;
        if (column == LabelColumn && problem.first > 0)
            return tr("%1行目").arg(problem.first);
        return {};
    }
    const bool wholeLine = entry.field >= FieldCount;
    QString message;
    if (group.section == Section::Notes)
        message = ShiftJis::ToText(qnVelTorDataNotes::Message(NoteKind(group.kind)));
    else
        message = ShiftJis::ToText(document.Verdicts().GetErrorMessage(entry.line, entry.field));
    if (tip)
        return message;
    switch (column) {
    case LabelColumn:
        return tr("%1行目").arg(entry.line + 1);
    case FieldColumn:
        return wholeLine ? tr("（行全体）") : ShiftJis::ToText(document.Attributes().At(entry.field)->name);
    case ValueColumn:
        return wholeLine ? QString() : CellText::Shown(document.Cell(int(entry.line), int(entry.field)));
    case MessageColumn:
        return message;
    default:
        return {};
    }
}

ReviewModel::Place ReviewModel::PlaceOf(const QModelIndex &index) const
{
    Place place;
    const Address address = AddressOf(index);
    const GroupRows *group = GroupAt(address);
    if (!group || address.entry < 0 || address.entry >= int(group->entries.size()))
        return place;
    const Entry &entry = group->entries[std::size_t(address.entry)];
    if (group->group.section == Section::Errors && ErrorKind(group->group.kind) == ErrorKind::Header) {
        place.what = Place::HeaderBox;
        place.box = int(entry.line);
        return place;
    }
    const bool format = group->group.section == Section::Errors && ErrorKind(group->group.kind) == ErrorKind::Format;
    int line = int(entry.line);
    if (format) {
        // The first line of the kind, as the file counted it.
        if (entry.line >= file.PendingFormat().size())
            return place;
        line = int(file.PendingFormat()[entry.line].first) - 1;
    }
    // A list not yet gathered again may name a line that has gone.
    if (line < 0 || line >= document.LineCount())
        return place;
    place.line = line;
    if (entry.field < FieldCount && !format) {
        place.what = Place::Cell;
        place.field = int(entry.field);
    } else {
        place.what = Place::Line;
    }
    return place;
}

bool ReviewModel::GroupOf(const QModelIndex &index, Group &found) const
{
    const GroupRows *group = GroupAt(AddressOf(index));
    if (!group)
        return false;
    found = group->group;
    return true;
}

QModelIndex ReviewModel::IndexOf(Group wanted) const
{
    for (int s = 0; s < int(sections.size()); ++s) {
        const auto &groups = sections[std::size_t(s)].groups;
        for (int g = 0; g < int(groups.size()); ++g) {
            if (groups[std::size_t(g)].group == wanted)
                return createIndex(g, 0, quintptr(1 + s));
        }
    }
    return {};
}
