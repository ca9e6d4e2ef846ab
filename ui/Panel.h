#pragma once
// TPanel: a container with a raised 1 px bevel drawn inside its client area and a
// centred one-line caption. Its docked and anchored children are placed by its
// TDockLayout (Layout()) whenever its size changes. Never takes the focus.
#include "Control.h"

#include <QString>
#include <QWidget>

class TPanel : public QWidget {
    Q_OBJECT
public:
    // DesignSize: the panel's client size that its children's design bounds refer to.
    TPanel(QWidget* Parent, QSize DesignSize);

    TDockLayout& Layout() { return *FLayout; }
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Caption);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    TDockLayout* FLayout;
    QString FCaption;
};
