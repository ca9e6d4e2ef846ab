// Shows a tree of Japanese entries (one expanded, one selected) beside the body editor,
// for a screenshot; quits after a few seconds.
#include "CodePage932.h"
#include "Edit.h"
#include "Memo.h"
#include "TreeView.h"

#include <QApplication>
#include <QTimer>

namespace {

TByteString Sjis(const char16_t* Text) {
    return TCodePage932::Encode(Text).Bytes;
}

} // namespace

int main(int argc, char** argv) {
    QApplication App(argc, argv);
    QFont::insertSubstitution("ＭＳ Ｐゴシック", "IPAPGothic");
    QFont Font("ＭＳ Ｐゴシック");
    Font.setPixelSize(13);

    QWidget Window;
    Window.setGeometry(0, 0, 760, 420);
    TTreeView Tree(&Window);
    Tree.setGeometry(0, 0, 311, 420);
    Tree.setFont(Font);
    TEdit Edit2(&Window);
    Edit2.setFont(Font);
    Edit2.setGeometry(313, 0, 445, 21);
    TEdit Edit1(&Window);
    Edit1.setFont(Font);
    Edit1.setGeometry(313, 22, 445, 21);
    TMemo Memo(&Window);
    Memo.setFont(Font);
    Memo.setGeometry(313, 45, 445, 375);

    TTreeNodes& Items = Tree.Items();
    TTreeNode* Sale = Items.AppendChild(nullptr, Sjis(u"売買代金支払請求"));
    TTreeNode* Claim = Items.AppendChild(Sale, Sjis(u"請求原因　売買契約の締結"));
    Items.AppendChild(Claim, Sjis(u"目的物の特定"));
    Items.AppendChild(Claim, Sjis(u"代金額の合意"));
    TTreeNode* Defence = Items.AppendChild(Sale, Sjis(u"抗弁　弁済"));
    TTreeNode* Reply = Items.AppendChild(Defence, Sjis(u"再抗弁　弁済充当の指定"));
    Items.AppendChild(Reply, Sjis(u"再々抗弁"));
    Items.AppendChild(Sale, Sjis(u"抗弁　消滅時効"));
    TTreeNode* Loan = Items.AppendSibling(Sale, Sjis(u"貸金返還請求"));
    Items.AppendChild(Loan, Sjis(u"金銭の授受"));
    Items.AppendSibling(Loan, Sjis(u"所有権に基づく返還請求としての土地明渡請求"));
    Items.OnChange = [&](TObject*, TTreeNode* Node) {
        Edit1.SetText(Node->Text());
        Memo.SetLinesText(Sjis(u"代金支払債務の発生原因は売買契約の締結である。\r\n"
                               u"要件事実：\r\n１　原告は被告に対し、本件土地を代金1000万円で売った。\r\n"
                               u"（財産権移転約束と代金支払約束で足り、目的物の引渡しは不要）\r\n"));
    };
    Edit2.SetText(Sjis(u"被告　　抗弁"));
    Items.ExpandEntry(Sale, false);
    Items.ExpandEntry(Defence, false);
    Items.SelectEntry(Defence);

    Window.show();
    Memo.setFocus();
    QTimer::singleShot(argc > 1 ? std::atoi(argv[1]) : 4000, &App, &QApplication::quit);
    return App.exec();
}
