#include "Control.h"

#include "FlagScope.h"

#include <QWidget>

#include <algorithm>

TDockLayout::TDockLayout(QWidget* Container, int Frame, QSize DesignSize)
    : QObject(Container), FContainer(Container), FFrame(Frame), FDesignSize(DesignSize) {}

void TDockLayout::AddControl(QWidget* Child, TAlign Align, QRect Bounds, int Anchors) {
    FItems.push_back(TItem{Child, Align, Anchors, Bounds});
    SetBoundsLimited(Child, Bounds);
}

TAlign TDockLayout::AlignOf(const QWidget* Child) const {
    for (const TItem& Item : FItems) {
        if (Item.Control == Child) {
            return Item.Align;
        }
    }
    return TAlign::alNone;
}

TDockLayout* TDockLayout::Of(const QWidget* Container) {
    if (Container == nullptr) {
        return nullptr;
    }
    return Container->findChild<TDockLayout*>(QString(), Qt::FindDirectChildrenOnly);
}

void TDockLayout::SetBoundsLimited(QWidget* Control, QRect Bounds) {
    // A size the control's limits refuse becomes the nearest allowed one.
    const QSize Min = Control->minimumSize();
    const QSize Max = Control->maximumSize();
    Bounds.setWidth(std::clamp(Bounds.width(), Min.width(), std::max(Min.width(), Max.width())));
    Bounds.setHeight(std::clamp(Bounds.height(), Min.height(), std::max(Min.height(), Max.height())));
    Control->setGeometry(Bounds);
}

void TDockLayout::PlaceAnchored(const TItem& Item, QSize Client) const {
    const int Dx = Client.width() - FDesignSize.width();
    const int Dy = Client.height() - FDesignSize.height();
    QRect Bounds = Item.DesignBounds;
    auto Follow = [](int& Pos, int& Size, bool Near, bool Far, int Delta) {
        if (Near && Far) {
            Size += Delta;
        } else if (Far) {
            Pos += Delta;
        } else if (!Near) {
            Pos += Delta / 2;
        }
    };
    int X = Bounds.x(), W = Bounds.width(), Y = Bounds.y(), H = Bounds.height();
    Follow(X, W, Item.Anchors & akLeft, Item.Anchors & akRight, Dx);
    Follow(Y, H, Item.Anchors & akTop, Item.Anchors & akBottom, Dy);
    SetBoundsLimited(Item.Control, QRect(X, Y, std::max(W, 0), std::max(H, 0)));
}

void TDockLayout::AlignControls() {
    if (FAligning) {
        return;
    }
    {
        const TFlagScope Aligning(FAligning);
        int Left = FFrame;
        int Top = FFrame;
        int Right = FContainer->width() - FFrame;
        int Bottom = FContainer->height() - FFrame;

        auto Collect = [this](TAlign Align) {
            std::vector<QWidget*> Result;
            for (const TItem& Item : FItems) {
                if (Item.Align == Align) {
                    Result.push_back(Item.Control);
                }
            }
            return Result;
        };
        // Docked children of one kind are taken in the order of their current edges, so a
        // control stays on the same side of its neighbours (the splitter right of Panel1).
        std::vector<QWidget*> Tops = Collect(TAlign::alTop);
        std::stable_sort(Tops.begin(), Tops.end(), [](QWidget* A, QWidget* B) { return A->y() < B->y(); });
        for (QWidget* C : Tops) {
            SetBoundsLimited(C, QRect(Left, Top, std::max(Right - Left, 0), C->height()));
            Top += C->height();
        }
        std::vector<QWidget*> Bottoms = Collect(TAlign::alBottom);
        std::stable_sort(Bottoms.begin(), Bottoms.end(),
                         [](QWidget* A, QWidget* B) { return A->geometry().bottom() > B->geometry().bottom(); });
        for (QWidget* C : Bottoms) {
            SetBoundsLimited(C, QRect(Left, Bottom - C->height(), std::max(Right - Left, 0), C->height()));
            Bottom -= C->height();
        }
        std::vector<QWidget*> Lefts = Collect(TAlign::alLeft);
        std::stable_sort(Lefts.begin(), Lefts.end(), [](QWidget* A, QWidget* B) { return A->x() < B->x(); });
        for (QWidget* C : Lefts) {
            SetBoundsLimited(C, QRect(Left, Top, C->width(), std::max(Bottom - Top, 0)));
            Left += C->width();
        }
        std::vector<QWidget*> Rights = Collect(TAlign::alRight);
        std::stable_sort(Rights.begin(), Rights.end(),
                         [](QWidget* A, QWidget* B) { return A->geometry().right() > B->geometry().right(); });
        for (QWidget* C : Rights) {
            SetBoundsLimited(C, QRect(Right - C->width(), Top, C->width(), std::max(Bottom - Top, 0)));
            Right -= C->width();
        }
        for (QWidget* C : Collect(TAlign::alClient)) {
            // Where nothing remains the control keeps its previous extent rather than collapsing.
            const int W = Right - Left < 0 ? C->width() : Right - Left;
            const int H = Bottom - Top < 0 ? C->height() : Bottom - Top;
            SetBoundsLimited(C, QRect(Left, Top, W, H));
        }
        for (const TItem& Item : FItems) {
            if (Item.Align == TAlign::alNone) {
                PlaceAnchored(Item, FContainer->size());
            }
        }
        for (const TItem& Item : FItems) {
            if (TDockLayout* Inner = Of(Item.Control)) {
                Inner->AlignControls();
            }
        }
    }
    if (FOnAligned) {
        FOnAligned();
    }
}

int TDockLayout::EffectiveMinWidth() const {
    int Result = 0;
    int ClientSum = 0;
    int SideSum = 0;
    bool ClientLimited = false;
    for (const TItem& Item : FItems) {
        switch (Item.Align) {
        case TAlign::alTop:
        case TAlign::alBottom:
            Result = std::max(Result, EffectiveMinWidthOf(Item.Control));
            break;
        case TAlign::alLeft:
        case TAlign::alRight:
            SideSum += Item.Control->width();
            break;
        case TAlign::alClient:
            if (const int Min = EffectiveMinWidthOf(Item.Control); Min > 0) {
                ClientLimited = true;
                ClientSum += Min;
            }
            break;
        case TAlign::alNone:
            break;
        }
    }
    if (ClientLimited) {
        Result = std::max(Result, ClientSum + SideSum);
    }
    return Result > 0 ? Result + 2 * FFrame : 0;
}

int TDockLayout::EffectiveMinWidthOf(const QWidget* Widget) {
    int Result = Widget->minimumWidth();
    if (const TDockLayout* Layout = Of(Widget)) {
        Result = std::max(Result, Layout->EffectiveMinWidth());
    }
    return Result;
}
