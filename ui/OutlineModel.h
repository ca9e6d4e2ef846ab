#pragma once
// TOutlineModel: the outline as a one-column Qt item model, for TTreeView.
//
// A thin adapter: each index's internal id is its TTreeNode's address (see IdOf), and every "about to" /
// "done" pair the outline reports is passed one to one to Qt's begin/end calls. It keeps
// no state of its own beyond the pair in progress and the decoded titles, and it changes
// nothing: titles are read-only here and change only through the outline.
#include "TreeNodes.h"

#include <QAbstractItemModel>
#include <QString>

#include <unordered_map>

class TOutlineModel : public QAbstractItemModel, private TOutlineObserver {
    Q_OBJECT
public:
    // Observes Items from construction to destruction; Items must outlive the model.
    explicit TOutlineModel(TTreeNodes& Items, QObject* Parent = nullptr);
    ~TOutlineModel() override;

    TTreeNodes& Items() const noexcept { return FItems; }
    // The index of Entry (invalid for nullptr), and the entry of an index (nullptr for the root).
    QModelIndex IndexOf(const TTreeNode* Entry) const;
    static TTreeNode* EntryOf(const QModelIndex& Index) noexcept;
    // The index of Entry at Row, where the caller knows the row (nothing of Entry is read).
    QModelIndex IndexAt(int Row, const TTreeNode* Entry) const { return createIndex(Row, 0, IdOf(Entry)); }
    // Entry's title decoded from code page 932. Decoded once and kept until the title
    // changes (EntryChanged), the entry leaves the outline or the outline is reset; inside
    // a batch (between the reset pair) nothing is kept, as the outline reports nothing then.
    QString Title(const TTreeNode* Entry) const;

    QModelIndex index(int Row, int Column, const QModelIndex& Parent = {}) const override;
    QModelIndex parent(const QModelIndex& Child) const override;
    int rowCount(const QModelIndex& Parent = {}) const override;
    int columnCount(const QModelIndex& Parent = {}) const override;
    bool hasChildren(const QModelIndex& Parent = {}) const override;
    // DisplayRole only: the title decoded from code page 932.
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;

private:
    // An index carries its entry's address turned right by three bits. Qt hashes an index by
    // its row and id; addresses of entries share their lowest bits (they are 8-byte aligned),
    // which would leave seven of eight slots of Qt's tables of persistent indexes unused
    // and make every lookup there step through long runs of other indexes.
    static constexpr int IdTurn = 3;
    static quintptr IdOf(const TTreeNode* Entry) noexcept {
        const auto Address = reinterpret_cast<quintptr>(Entry);
        return (Address >> IdTurn) | (Address << (sizeof(quintptr) * 8 - IdTurn));
    }
    static TTreeNode* EntryOfId(quintptr Id) noexcept {
        return reinterpret_cast<TTreeNode*>((Id << IdTurn) | (Id >> (sizeof(quintptr) * 8 - IdTurn)));
    }

    void EntryAboutToBeInserted(TTreeNode* Parent, int Row) override;
    void EntryInserted(TTreeNode* Entry) override;
    void EntryAboutToBeRemoved(TTreeNode* Entry) override;
    void EntryRemoved(TTreeNode* Parent, int Row) override;
    void EntryAboutToBeMoved(TTreeNode* Entry, TTreeNode* NewParent, int DestRow) override;
    void EntryMoved(TTreeNode* Entry) override;
    void OutlineAboutToBeReset() override;
    void OutlineReset() override;
    void EntryChanged(TTreeNode* Entry) override;
    void EntryExpandedChanged(TTreeNode*) override {}
    void SelectionChanged(TTreeNode*) override {}

    // How the move in progress is being reported.
    enum class TMoveReport { mrMove, mrNone, mrReset };

    TTreeNodes& FItems;
    TMoveReport FMoveReport = TMoveReport::mrNone;
    // Decoding goes through iconv; type-ahead reads every shown title on each key.
    mutable std::unordered_map<const TTreeNode*, QString> FTitles;
    bool FResetting = false;
};
