#pragma once
// TTreeView: the outline's tree view. (Behaviour comes with the view work.)
#include "TreeNodes.h"

#include <QTreeView>

class TTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit TTreeView(QWidget* Parent = nullptr) : QTreeView(Parent) {}
    TTreeNodes& Items() { return FItems; }

private:
    TTreeNodes FItems;
};
