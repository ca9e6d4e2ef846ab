// Large files against a plain model of the format, damaged at every distance from the
// record where the reader starts to hold records back: the outline must hold exactly the
// records before the damage, each under its own parent, and the error must name the damage.
#include "DataFile.h"

#include "Errors.h"
#include "StorageTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <random>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>
#include <vector>

using namespace StorageTest;

namespace {

// Record ids in pre-order, and each record's parent.
struct TPlainOutline : TPlainPreorder<int> {
    std::vector<int> ParentOf; // by record id, -1 at the top
    void Add(int ParentIndex, int Id) {
        ParentOf.push_back(ParentIndex >= 0 ? Order[static_cast<std::size_t>(ParentIndex)] : -1);
        Append(ParentIndex, Id);
    }
};

using TPick = std::function<int(std::mt19937& Random, int Count, int Last)>;

int Uniform(std::mt19937& Random, int Low, int High) {
    return std::uniform_int_distribution<int>(Low, High)(Random);
}

enum class TDamage { None, BadParent, CutInBody, CutInParent, CountTooLarge };

struct TStressCase {
    const char* Name;
    int Records;
    TPick Pick;
};

void PrintTo(const TStressCase& Case, std::ostream* Out) {
    *Out << Case.Name;
}

// The parents the file names, made with the model so that every pick is valid.
std::vector<int> PickParents(const TStressCase& Case, std::mt19937& Random) {
    TPlainOutline Plain;
    std::vector<int> Parents;
    for (int K = 0; K < Case.Records; ++K) {
        const int Parent = Case.Pick(Random, K, Plain.LastPosition);
        Parents.push_back(Parent);
        Plain.Add(Parent, K);
    }
    return Parents;
}

// The file of those records, damaged at record At; Kept: the records loaded before it.
TByteString MakeFile(const std::vector<int>& Parents, TDamage Damage, int At) {
    const auto Records = static_cast<int>(Parents.size());
    TByteString Bytes = StrBytes("Dummy") + Int32Bytes(Damage == TDamage::CountTooLarge ? 0x7FFFFFFF : Records);
    for (int K = 0; K < Records; ++K) {
        const std::string Title = "r" + std::to_string(K);
        const std::string Body = "b" + std::to_string(K) + "\r\nsecond";
        if (K == At && Damage == TDamage::BadParent) {
            Bytes += RecordBytes(K + (K % 3), K, Title, Body); // past the entries read so far
            continue;
        }
        TByteString Record = RecordBytes(Parents[static_cast<std::size_t>(K)], K, Title, Body);
        if (K == At && Damage == TDamage::CutInBody) {
            Bytes += Record.substr(0, Record.size() - 3);
            return Bytes;
        }
        if (K == At && Damage == TDamage::CutInParent) {
            Bytes += Record.substr(0, 2);
            return Bytes;
        }
        Bytes += Record;
    }
    return Bytes;
}

class ReaderDamageStressTest : public testing::TestWithParam<TStressCase> {};

TEST_P(ReaderDamageStressTest, KeepsExactlyTheRecordsBeforeTheDamage) {
    const TStressCase& Case = GetParam();
    std::mt19937 Random(777);
    const std::vector<int> Parents = PickParents(Case, Random);
    // The first record off the path of last entries: from there on records are held back.
    int FirstOff = -1;
    {
        std::vector<int> Path; // indices of the last entry and its ancestors
        for (int K = 0; K < Case.Records && FirstOff < 0; ++K) {
            const int P = Parents[static_cast<std::size_t>(K)];
            std::size_t Keep = 0;
            if (P >= 0) {
                while (Keep < Path.size() && Path[Keep] != P)
                    ++Keep;
                if (Keep == Path.size()) {
                    FirstOff = K;
                    break;
                }
                ++Keep;
            }
            Path.resize(Keep);
            Path.push_back(K);
        }
    }
    ASSERT_GE(FirstOff, 0) << "every file here goes off the path";
    std::vector<std::pair<TDamage, int>> Damages = {{TDamage::None, -1}, {TDamage::CountTooLarge, -1}};
    const int From = FirstOff < 0 ? 0 : FirstOff;
    for (int J = 0; J <= 18; ++J)
        for (TDamage D : {TDamage::BadParent, TDamage::CutInBody, TDamage::CutInParent})
            if (From + J < Case.Records)
                Damages.emplace_back(D, From + J);
    // And throughout the file, at every place in the run of records held back.
    for (int Q = 1; Q < 10; ++Q)
        for (TDamage D : {TDamage::BadParent, TDamage::CutInBody, TDamage::CutInParent})
            Damages.emplace_back(D, Case.Records * Q / 10 + 2 * Q + static_cast<int>(D));
    Damages.emplace_back(TDamage::BadParent, Case.Records - 1);

    for (const auto& [Damage, At] : Damages) {
        const std::string Where = "damage " + std::to_string(static_cast<int>(Damage)) + " at " + std::to_string(At) +
                                  " (first record off the path " + std::to_string(FirstOff) + ")";
        const TByteString Bytes = MakeFile(Parents, Damage, At);
        const int Kept = At < 0 ? Case.Records : At;
        TPlainOutline Plain;
        for (int K = 0; K < Kept; ++K)
            Plain.Add(Parents[static_cast<std::size_t>(K)], K);
        std::optional<std::type_index> Expected;
        if (Damage == TDamage::BadParent)
            Expected = typeid(ETreeViewError);
        else if (Damage != TDamage::None)
            Expected = typeid(EReadError);

        TOwningOutline Nodes;
        std::optional<std::type_index> Error;
        try {
            TMemoryReadStream Stream(Bytes);
            ReadOutline(Nodes, Stream);
        } catch (const std::exception& E) {
            Error = typeid(E);
        }
        ASSERT_EQ(Error, Expected) << Where;
        ASSERT_EQ(Nodes.EntryCount(), Kept) << Where;
        std::unordered_map<const TTreeNode*, int> IdOf;
        std::size_t I = 0;
        for (TTreeNode* N = Nodes.GetFirstNode(); N; N = N->GetNext(), ++I) {
            ASSERT_LT(I, Plain.Order.size()) << Where;
            const int Id = Plain.Order[I];
            ASSERT_EQ(N->Text(), "r" + std::to_string(Id)) << Where << ", position " << I;
            const TTreeNode* Parent = TTreeNodes::ParentEntry(N);
            const int ParentId = Parent ? IdOf.at(Parent) : -1;
            ASSERT_EQ(ParentId, Plain.ParentOf[static_cast<std::size_t>(Id)]) << Where << ", position " << I;
            const std::vector<std::string> Lines = LinesOf(TTreeNodes::EntryBody(N));
            ASSERT_EQ(Lines, (std::vector<std::string>{"b" + std::to_string(Id), "second"})) << Where;
            IdOf.emplace(N, Id);
        }
        ASSERT_EQ(I, Plain.Order.size()) << Where;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ReaderDamageStressTest,
                         testing::Values(TStressCase{"RandomParents", 12000,
                                                     [](std::mt19937& R, int Count, int) {
                                                         return Uniform(R, -1, Count - 1);
                                                     }},
                                         TStressCase{"UnderTheNewestEntry", 6000,
                                                     [](std::mt19937& R, int Count, int Last) {
                                                         if (Count < 3)
                                                             return Count - 1;
                                                         // Off the path now and then, else under a record still held
                                                         // back.
                                                         return R() % 50 == 0 ? Uniform(R, 0, Count - 1) : Last;
                                                     }},
                                         TStressCase{"NearTheNewestEntry", 8000,
                                                     [](std::mt19937& R, int Count, int Last) {
                                                         if (Count == 0)
                                                             return -1;
                                                         return std::clamp(Last + Uniform(R, -20, 1), -1, Count - 1);
                                                     }},
                                         TStressCase{"TopLevelAfterOneOffPath", 20000,
                                                     [](std::mt19937&, int Count, int) { return Count == 2 ? 0 : -1; }},
                                         TStressCase{"UnderTheFirstEntry", 4000,
                                                     [](std::mt19937&, int Count, int) { return Count < 2 ? -1 : 0; }},
                                         TStressCase{"UnderTheLastEntriesInPreOrder", 6000,
                                                     [](std::mt19937& R, int Count, int) {
                                                         // The last few in pre-order: mostly records still on their way
                                                         // to the outline.
                                                         return Count < 20 ? Count - 1 : Count - 1 - Uniform(R, 0, 17);
                                                     }}),
                         [](const testing::TestParamInfo<TStressCase>& Info) { return std::string(Info.param.Name); });

} // namespace
