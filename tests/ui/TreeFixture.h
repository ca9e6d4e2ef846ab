#pragma once
// A tree view in a shown window, holding Top(Child(c d) e) f(g) h, with a line edit
// beside it to take the focus away; the tree tests' fixtures build on it.
#include "TreeView.h"

#include <QLineEdit>
#include <QTest>

struct TTreeFixture {
    QWidget Window;
    TTreeView* View = new TTreeView(&Window);
    QLineEdit* Other = new QLineEdit(&Window);
    TTreeNodes& Items = View->Items();
    QStringList Log;

    TTreeFixture(const char* Top, const char* Child) {
        TTreeNode* A = Items.AppendChild(nullptr, Top);
        TTreeNode* B = Items.AppendChild(A, Child);
        Items.AppendChild(B, "c");
        Items.AppendChild(B, "d");
        Items.AppendChild(A, "e");
        TTreeNode* F = Items.AppendSibling(A, "f");
        Items.AppendChild(F, "g");
        Items.AppendSibling(F, "h");
    }
    // A test may delete the view; the handlers it had are gone with it then.
    ~TTreeFixture() {
        if (!View)
            return;
        Items.OnChanging = nullptr;
        Items.OnChange = nullptr;
    }
    TTreeFixture(const TTreeFixture&) = delete;
    TTreeFixture& operator=(const TTreeFixture&) = delete;

    void Show() {
        Window.show();
        if (!QTest::qWaitForWindowExposed(&Window))
            qWarning("window not exposed");
    }

    static QString Name(const TTreeNode* Node) { return Node ? QString::fromStdString(Node->Text()) : "-"; }
    TTreeNode* Entry(const QString& Title) {
        for (TTreeNode* Node = Items.GetFirstNode(); Node; Node = Node->GetNext())
            if (Name(Node) == Title)
                return Node;
        return nullptr;
    }
};
