#pragma once
// Scaffolding of the main window's tests: a scratch folder that is both the current
// directory (the data files) and the executable's folder (the settings file), data
// files written byte by byte, and the real window driven by mouse and keys.
#include "../ui/FakeDialogs.h"
#include "CodePage932.h"
#include "IniGT.h"
#include "StringList.h"
#include "Unit1.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace FormTest {

inline TByteString Cp932(const QString& Text) {
    TByteString Bytes;
    std::size_t Bad = 0;
    TCodePage932::FromUtf8(Text.toStdString(), Bytes, Bad);
    return Bytes;
}

inline QString Shown(const TByteString& Bytes) {
    return QString::fromStdString(TCodePage932::ToUtf8Lossy(Bytes));
}

// The bytes of a data file: header "Dummy", the count, then one record per entry.
class TDataFile {
public:
    // Parent is the parent's record number or -1; Body is the stored text, as is.
    TDataFile& Add(int Parent, const QString& Title, const QByteArray& Body = {}) {
        FRecords.push_back({Parent, Cp932(Title), Body});
        return *this;
    }
    QByteArray Bytes() const {
        QByteArray Out;
        Str(Out, "Dummy");
        Int(Out, static_cast<std::int32_t>(FRecords.size()));
        for (std::size_t K = 0; K < FRecords.size(); ++K) {
            Int(Out, FRecords[K].Parent);
            Int(Out, static_cast<std::int32_t>(K));
            Str(Out, QByteArray::fromStdString(FRecords[K].Title));
            Str(Out, FRecords[K].Body);
        }
        return Out;
    }

private:
    struct TRecord {
        int Parent;
        TByteString Title;
        QByteArray Body;
    };
    static void Int(QByteArray& Out, std::int32_t Value) {
        const auto U = static_cast<std::uint32_t>(Value);
        for (int Shift = 0; Shift < 32; Shift += 8) {
            Out.append(static_cast<char>((U >> Shift) & 0xFF));
        }
    }
    static void Str(QByteArray& Out, const QByteArray& Text) {
        Int(Out, static_cast<std::int32_t>(Text.size()));
        Out.append(Text);
    }
    std::vector<TRecord> FRecords;
};

// A (body "a1\r\na2\r\n") with children A1 (child A1a) and A2, then B (body "b\r\n").
inline TDataFile SampleData() {
    TDataFile Data;
    Data.Add(-1, "A", "a1\r\na2\r\n").Add(0, "A1").Add(1, "A1a", "deep\r\n").Add(0, "A2").Add(-1, "B", "b\r\n");
    return Data;
}

inline bool WriteFile(const QString& Name, const QByteArray& Bytes) {
    QFile File(Name);
    return File.open(QIODevice::WriteOnly | QIODevice::Truncate) && File.write(Bytes) == Bytes.size();
}

inline QByteArray ReadFile(const QString& Name) {
    QFile File(Name);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// A scratch folder, current directory while it lives.
class TScratch {
public:
    TScratch() : FPrevious(QDir::currentPath()) { QDir::setCurrent(FDir.path()); }
    ~TScratch() { QDir::setCurrent(FPrevious); }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    QString Path() const { return FDir.path(); }
    QString File(const QString& Name) const { return FDir.filePath(Name); }
    // The settings component as if the executable were ExecutableName in this folder.
    TIniGTSystem Settings(const QString& ExecutableName = QStringLiteral("quorvel")) const {
        const TByteString Executable = File(ExecutableName).toStdString();
        const TByteString Folder = Path().toStdString();
        TIniGTSystem System;
        System.Rules = TNameRules::Platform();
        System.ExecutablePath = [Executable] { return Executable; };
        System.WindowsDirectory = [Folder] { return Folder; };
        return System;
    }
    QString IniFile() const { return File(QStringLiteral("Quorvel.ini")); }

private:
    QString FPrevious;
    QTemporaryDir FDir;
};

inline std::unique_ptr<TForm1> ShownForm(const TScratch& Scratch) {
    auto Form = std::make_unique<TForm1>(Scratch.Settings());
    Form->show();
    if (!QTest::qWaitForWindowExposed(Form.get())) {
        qWarning("window not exposed");
    }
    return Form;
}

inline TTreeNode* FindEntry(TForm1& Form, const QString& Title) {
    const TByteString Bytes = Cp932(Title);
    for (TTreeNode* Node = Form.TreeView1->Items().GetFirstNode(); Node; Node = Node->GetNext()) {
        if (Node->Text() == Bytes) {
            return Node;
        }
    }
    return nullptr;
}

// Clicks the title of the entry; false when it is not on the screen.
inline bool ClickEntry(TForm1& Form, const QString& Title) {
    TTreeNode* Entry = FindEntry(Form, Title);
    if (Entry == nullptr) {
        return false;
    }
    const QModelIndex Index = Form.TreeView1->IndexOf(Entry);
    Form.TreeView1->scrollTo(Index);
    const QRect Rect = Form.TreeView1->visualRect(Index);
    if (!Rect.isValid()) {
        return false;
    }
    QTest::mouseClick(Form.TreeView1->viewport(), Qt::LeftButton, {}, QPoint(Rect.left() + 4, Rect.center().y()));
    return Form.TreeView1->Items().SelectedEntry() == Entry;
}

// The outline as "A(A1(A1a),A2),B".
inline QString Outline(TForm1& Form) {
    QString Out;
    TTreeNodes& Items = Form.TreeView1->Items();
    for (TTreeNode* Node = Items.GetFirstNode(); Node; Node = Node->GetNext()) {
        const TTreeNode* Previous = Node->GetPrev();
        if (Previous != nullptr) {
            if (Node->Parent() == Previous) {
                Out += '(';
            } else {
                for (int Close = TTreeNodes::EntryLevel(Previous) - TTreeNodes::EntryLevel(Node); Close > 0; --Close) {
                    Out += ')';
                }
                Out += ',';
            }
        }
        Out += Shown(Node->Text());
    }
    if (const TTreeNode* Last = Items.EntryCount() > 0 ? Items.EntryAtIndex(Items.EntryCount() - 1) : nullptr) {
        Out += QString(TTreeNodes::EntryLevel(Last), ')');
    }
    return Out;
}

// The entry's body lines joined by "|".
inline QString Body(const TTreeNode* Entry) {
    if (Entry == nullptr || Entry->Data() == nullptr) {
        return QStringLiteral("<none>");
    }
    QStringList Lines;
    for (int I = 0; I < Entry->Data()->Count(); ++I) {
        Lines << Shown(TByteString(Entry->Data()->Strings(I)));
    }
    return Lines.join('|');
}

inline QString SelectedTitle(TForm1& Form) {
    const TTreeNode* Selected = Form.TreeView1->Items().SelectedEntry();
    return Selected ? Shown(Selected->Text()) : QStringLiteral("-");
}

} // namespace FormTest
