// The outline's item model: consistent under QAbstractItemModelTester through every kind
// of change, and a faithful mirror of the outline after each.
#include "OutlineHistory.h"
#include "OutlineModel.h"
#include "TreeNodes.h"

#include <QAbstractItemModelTester>
#include <QtTest>

#include <set>
#include <utility>
#include <vector>

namespace {

// Runs a script of outline operations. Entries are named by absolute index:
//   S i t   AppendSibling(entry i or none for -1, title t)    C i t   AppendChild
//   D i     DeleteEntry                                         X       ClearOutline
//   M i j p MoveEntry(i, j or none for -1, p: l f L F b)        T i t   SetEntryTitle
//   E i     ExpandEntry                                         A / K   ExpandAll / CollapseAll
//   U / u   BeginUpdate / EndUpdate                             P i     SelectEntry
//   H i     delete i through History                            Z / Y   History undo / redo
void RunStep(TTreeNodes& Items, TOutlineHistory& History, const QStringList& Step) {
    auto Entry = [&](int Arg) -> TTreeNode* {
        const int Index = Step.at(Arg).toInt();
        return Index < 0 ? nullptr : Items.EntryAtIndex(Index);
    };
    const QString Op = Step.at(0);
    if (Op == "S")
        Items.AppendSibling(Entry(1), Step.at(2).toStdString());
    else if (Op == "C")
        Items.AppendChild(Entry(1), Step.at(2).toStdString());
    else if (Op == "D")
        Items.DeleteEntry(Entry(1));
    else if (Op == "X")
        Items.ClearOutline();
    else if (Op == "T")
        Items.SetEntryTitle(Entry(1), Step.at(2).toStdString());
    else if (Op == "E")
        Items.ExpandEntry(Entry(1), false);
    else if (Op == "A")
        Items.ExpandAll();
    else if (Op == "K")
        Items.CollapseAll();
    else if (Op == "U")
        Items.BeginUpdate();
    else if (Op == "u")
        Items.EndUpdate();
    else if (Op == "P")
        Items.SelectEntry(Entry(1));
    else if (Op == "H")
        History.DeleteEntry(Entry(1));
    else if (Op == "Z")
        History.Undo();
    else if (Op == "Y")
        History.Redo();
    else if (Op == "M") {
        const QString Place = Step.at(3);
        const TEntryPlacement Placement = Place == "l"   ? epLast
                                          : Place == "f" ? epFirst
                                          : Place == "L" ? epLastChild
                                          : Place == "F" ? epFirstChild
                                                         : epBefore;
        Items.MoveEntry(Entry(1), Entry(2), Placement);
    } else
        QFAIL(qPrintable("unknown step " + Op));
}

// The model's tree, walked through the model only, against the outline's.
void CompareWithOutline(const TOutlineModel& Model, const TTreeNodes& Items) {
    std::vector<std::pair<QModelIndex, const TTreeNode*>> Pending{{QModelIndex(), nullptr}};
    int Seen = 0;
    while (!Pending.empty()) {
        const auto [Index, Node] = Pending.back();
        Pending.pop_back();
        const int Rows = Node ? Node->Count() : Items.TopCount();
        QCOMPARE(Model.rowCount(Index), Rows);
        for (int Row = 0; Row < Rows; ++Row) {
            const TTreeNode* Child = Node ? Node->Item(Row) : Items.TopItem(Row);
            const QModelIndex ChildIndex = Model.index(Row, 0, Index);
            QCOMPARE(TOutlineModel::EntryOf(ChildIndex), Child);
            QCOMPARE(ChildIndex.data().toString(), QString::fromStdString(Child->Text()));
            QCOMPARE(Model.parent(ChildIndex), Index);
            Pending.emplace_back(ChildIndex, Child);
            ++Seen;
        }
    }
    QCOMPARE(Seen, Items.EntryCount());
}

// Persistent indexes for every entry, taken before a step: after it, each must still
// name its entry at the entry's new place, or be invalid exactly when the entry is gone.
// This catches begin/end calls with wrong rows or parents, which fresh indexes never show.
class TPersistentCheck {
public:
    TPersistentCheck(const TOutlineModel& Model, TTreeNodes& Items) : FModel(Model), FItems(Items) {
        for (TTreeNode* Node = Items.GetFirstNode(); Node; Node = Node->GetNext())
            FIndexes.emplace_back(QPersistentModelIndex(Model.IndexOf(Node)), Node);
    }
    void Verify(bool ResetAllowed) const {
        std::set<const TTreeNode*> Alive;
        for (const TTreeNode* Node = FItems.GetFirstNode(); Node; Node = Node->GetNext())
            Alive.insert(Node);
        for (const auto& [Index, Node] : FIndexes) {
            if (!Index.isValid()) {
                QVERIFY2(ResetAllowed || !Alive.count(Node), "a live entry lost its index");
                continue;
            }
            QCOMPARE(TOutlineModel::EntryOf(Index), Node);
            QVERIFY2(Alive.count(Node), "a removed entry kept its index");
            QCOMPARE(Index.row(), Node->IndexInParent());
            QCOMPARE(TOutlineModel::EntryOf(Index.parent()), Node->Parent());
        }
    }

private:
    const TOutlineModel& FModel;
    TTreeNodes& FItems;
    std::vector<std::pair<QPersistentModelIndex, TTreeNode*>> FIndexes;
};

} // namespace

class TestOutlineModel : public QObject {
    Q_OBJECT
private slots:
    void staysConsistentThroughChanges_data();
    void staysConsistentThroughChanges();
    void loadingResetsOnceNotRowByRow();
    void showsDecodedTitlesOnly_data();
    void showsDecodedTitlesOnly();
};

void TestOutlineModel::staysConsistentThroughChanges_data() {
    QTest::addColumn<QString>("Script");
    // The base outline: a(b(c d) e) f(g) h
    const QString Base = "S -1 a; C 0 b; C 1 c; C 1 d; C 0 e; S -1 f; C 5 g; S -1 h; ";
    QTest::newRow("adds at every level") << Base + "C 2 x; S 2 y; S -1 z; C 8 w";
    QTest::newRow("delete a leaf") << Base + "D 2";
    QTest::newRow("delete a subtree") << Base + "D 1";
    QTest::newRow("delete the only child") << Base + "D 6";
    QTest::newRow("delete a top-level entry with descendants") << Base + "D 0";
    QTest::newRow("delete the selected entry") << Base + "P 2; D 1";
    QTest::newRow("clear") << Base + "E 0; P 3; X; S -1 again";
    QTest::newRow("clear an empty outline") << "X; X";
    QTest::newRow("rename") << Base + "T 4 renamed; T 0 A";
    QTest::newRow("move down among siblings") << Base + "M 0 7 b";
    QTest::newRow("move up to the top") << Base + "M 7 0 b";
    QTest::newRow("move to first child") << Base + "M 7 5 F";
    QTest::newRow("move subtree to last child") << Base + "A; M 1 7 L";
    QTest::newRow("move the only child away") << Base + "M 6 -1 L";
    QTest::newRow("move onto its own place") << Base + "M 2 3 b; M 3 3 b";
    QTest::newRow("move to first among its parent's children") << Base + "M 3 1 f";
    QTest::newRow("move to last at the top") << Base + "M 2 0 l";
    QTest::newRow("move into its own subtree is refused") << Base + "M 0 2 L";
    QTest::newRow("expand and collapse everything") << Base + "A; K; E 0";
    QTest::newRow("batch of changes") << Base + "U; X; S -1 p; C 0 q; C 1 r; E 0; u";
    QTest::newRow("nested batches") << Base + "U; U; D 0; u; S -1 s; u";
    QTest::newRow("undo and redo a deleted subtree") << Base + "A; P 2; H 1; Z; Y; Z; H 0; H 0; Z; Z; Y";
    QTest::newRow("undo a delete under a parent left childless") << Base + "H 6; Z; E 5; H 6; Z";
}

void TestOutlineModel::staysConsistentThroughChanges() {
    QFETCH(QString, Script);
    TTreeNodes Items;
    TOutlineModel Model(Items);
    QAbstractItemModelTester Tester(&Model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    TOutlineHistory History(Items, TBodyTraits{});
    int Batches = 0;
    for (const QString& Text : Script.split(';', Qt::SkipEmptyParts)) {
        const TPersistentCheck Check(Model, Items);
        try {
            RunStep(Items, History, Text.split(' ', Qt::SkipEmptyParts));
        } catch (const std::exception& Error) {
            QFAIL(qPrintable(QString("%1 at %2").arg(QString::fromUtf8(Error.what()), Text)));
        }
        if (QTest::currentTestFailed())
            QFAIL(qPrintable("after " + Text));
        CompareWithOutline(Model, Items);
        // Inside a batch the views wait for the reset that ends it.
        const QString Op = Text.trimmed().left(1);
        Batches += (Op == "U") - (Op == "u");
        if (Batches == 0)
            Check.Verify(Op == "X" || Op == "u");
        if (QTest::currentTestFailed())
            QFAIL(qPrintable("after " + Text));
    }
}

void TestOutlineModel::loadingResetsOnceNotRowByRow() {
    TTreeNodes Items;
    TOutlineModel Model(Items);
    Items.AppendChild(nullptr, "old");
    QSignalSpy Resets(&Model, &QAbstractItemModel::modelReset);
    QSignalSpy Inserts(&Model, &QAbstractItemModel::rowsInserted);
    QSignalSpy Removes(&Model, &QAbstractItemModel::rowsRemoved);
    Items.BeginUpdate();
    Items.ClearOutline();
    TTreeNode* Parent = nullptr;
    for (int Index = 0; Index < 1000; ++Index)
        Parent = Items.AppendChild(Index % 10 == 0 ? nullptr : Parent, std::to_string(Index));
    Items.EndUpdate();
    QCOMPARE(Resets.count(), 1);
    QCOMPARE(Inserts.count(), 0);
    QCOMPARE(Removes.count(), 0);
    CompareWithOutline(Model, Items);
}

void TestOutlineModel::showsDecodedTitlesOnly_data() {
    QTest::addColumn<QByteArray>("Title");
    QTest::addColumn<QString>("Shown");
    QTest::newRow("ascii") << QByteArray("abc") << "abc";
    QTest::newRow("kanji") << QByteArray("\x93\xfa\x96\x7b") << QString::fromUtf8("日本");
    QTest::newRow("87 90") << QByteArray("\x87\x90") << QString(QChar(0x2252));
    QTest::newRow("undecodable byte") << QByteArray("a\x80z") << QString("a") + QChar(0xDC80) + "z";
}

void TestOutlineModel::showsDecodedTitlesOnly() {
    QFETCH(QByteArray, Title);
    QFETCH(QString, Shown);
    TTreeNodes Items;
    TOutlineModel Model(Items);
    Items.AppendChild(nullptr, Title.toStdString());
    const QModelIndex Index = Model.index(0, 0);
    QCOMPARE(Index.data(Qt::DisplayRole).toString(), Shown);
    QVERIFY(!Index.data(Qt::ToolTipRole).isValid());
    QVERIFY(!Index.data(Qt::EditRole).isValid());
    QVERIFY(!(Model.flags(Index) & Qt::ItemIsEditable));
    QVERIFY(!Model.setData(Index, "changed"));
    QCOMPARE(Items.EntryAtIndex(0)->Text(), Title.toStdString());
}

QTEST_MAIN(TestOutlineModel)
#include "tst_outlinemodel.moc"
