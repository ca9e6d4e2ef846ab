#include "OutlineModel.h"

#include "FieldText.h"

#include <new>

TOutlineModel::TOutlineModel(TTreeNodes& Items, QObject* Parent) : QAbstractItemModel(Parent), FItems(Items) {
    FItems.AddObserver(this);
}

TOutlineModel::~TOutlineModel() {
    FItems.RemoveObserver(this);
}

QModelIndex TOutlineModel::IndexOf(const TTreeNode* Entry) const {
    if (!Entry)
        return {};
    return createIndex(Entry->IndexInParent(), 0, IdOf(Entry));
}

TTreeNode* TOutlineModel::EntryOf(const QModelIndex& Index) noexcept {
    return Index.isValid() ? EntryOfId(Index.internalId()) : nullptr;
}

QModelIndex TOutlineModel::index(int Row, int Column, const QModelIndex& Parent) const {
    if (Column != 0 || Row < 0 || Parent.column() > 0)
        return {};
    const TTreeNode* Node = EntryOf(Parent);
    if (Row >= (Node ? Node->Count() : FItems.TopCount()))
        return {};
    return createIndex(Row, 0, IdOf(Node ? Node->Item(Row) : FItems.TopItem(Row)));
}

QModelIndex TOutlineModel::parent(const QModelIndex& Child) const {
    const TTreeNode* Node = EntryOf(Child);
    return Node ? IndexOf(Node->Parent()) : QModelIndex();
}

int TOutlineModel::rowCount(const QModelIndex& Parent) const {
    if (Parent.column() > 0)
        return 0;
    const TTreeNode* Node = EntryOf(Parent);
    return Node ? Node->Count() : FItems.TopCount();
}

int TOutlineModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TOutlineModel::hasChildren(const QModelIndex& Parent) const {
    return rowCount(Parent) > 0;
}

QVariant TOutlineModel::data(const QModelIndex& Index, int Role) const {
    const TTreeNode* Node = EntryOf(Index);
    if (!Node || Role != Qt::DisplayRole)
        return {};
    // Qt asks while it paints and lays out, where no error may pass and no box may show:
    // short of memory, the row stays blank until it is asked again.
    try {
        return Title(Node);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

QString TOutlineModel::Title(const TTreeNode* Entry) const {
    if (FResetting)
        return TFieldText::Decode(Entry->Text(), false);
    const auto Found = FTitles.find(Entry);
    if (Found != FTitles.end())
        return Found->second;
    return FTitles.emplace(Entry, TFieldText::Decode(Entry->Text(), false)).first->second;
}

Qt::ItemFlags TOutlineModel::flags(const QModelIndex& Index) const {
    if (!Index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TOutlineModel::EntryAboutToBeInserted(TTreeNode* Parent, int Row) {
    beginInsertRows(IndexOf(Parent), Row, Row);
}

void TOutlineModel::EntryInserted(TTreeNode*) {
    endInsertRows();
}

void TOutlineModel::EntryAboutToBeRemoved(TTreeNode* Entry) {
    // A later entry may be given the same address: forget the subtree's titles.
    if (!FTitles.empty()) {
        const TTreeNode* End = nullptr;
        for (const TTreeNode* Node = Entry; Node && !End; Node = Node->Parent())
            End = Node->GetNextSibling();
        for (const TTreeNode* Node = Entry; Node && Node != End; Node = Node->GetNext())
            FTitles.erase(Node);
    }
    const int Row = Entry->IndexInParent();
    beginRemoveRows(IndexOf(Entry->Parent()), Row, Row);
}

void TOutlineModel::EntryRemoved(TTreeNode*, int) {
    endRemoveRows();
}

void TOutlineModel::EntryAboutToBeMoved(TTreeNode* Entry, TTreeNode* NewParent, int DestRow) {
    const int Row = Entry->IndexInParent();
    const QModelIndex From = IndexOf(Entry->Parent());
    const QModelIndex To = IndexOf(NewParent);
    if (beginMoveRows(From, Row, Row, To, DestRow)) {
        FMoveReport = TMoveReport::mrMove;
    } else if (Entry->Parent() == NewParent && (DestRow == Row || DestRow == Row + 1)) {
        // Qt refuses a move onto the entry's own place: nothing changes, nothing to report.
        FMoveReport = TMoveReport::mrNone;
    } else {
        // Any other refusal still changes the structure: report it as a reset.
        beginResetModel();
        FMoveReport = TMoveReport::mrReset;
    }
}

void TOutlineModel::EntryMoved(TTreeNode*) {
    if (FMoveReport == TMoveReport::mrMove)
        endMoveRows();
    else if (FMoveReport == TMoveReport::mrReset)
        endResetModel();
    FMoveReport = TMoveReport::mrNone;
}

void TOutlineModel::OutlineAboutToBeReset() {
    FTitles.clear();
    FResetting = true;
    beginResetModel();
}

void TOutlineModel::OutlineReset() {
    // Entries may have come and gone in between without a word.
    FTitles.clear();
    FResetting = false;
    endResetModel();
}

void TOutlineModel::EntryChanged(TTreeNode* Entry) {
    FTitles.erase(Entry);
    const QModelIndex Index = IndexOf(Entry);
    emit dataChanged(Index, Index);
}
