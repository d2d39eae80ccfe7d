// The pointer list: construction, index checks and ownership.
#include "data/Data_structures.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// An item that records its construction and destruction.
struct Counted {
    static inline int alive = 0;
    static inline std::vector<int> destroyed;
    int id;
    explicit Counted(int i) : id(i) { ++alive; }
    ~Counted() {
        --alive;
        destroyed.push_back(id);
    }
};

class ListOfTTest : public ::testing::Test {
protected:
    void SetUp() override {
        Counted::alive = 0;
        Counted::destroyed.clear();
    }
};

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const vrma::Exception& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

TEST_F(ListOfTTest, OwnershipOtherThanZeroOrOneIsRejected) {
    for (int bad : {2, -1, 255, 256}) {
        EXPECT_EQ(MessageOf([bad] { vrma::ListOfT<Counted> list(bad); }),
                  "Wrong parameter transferred to ListOfT::ListOfT")
            << bad;
    }
    vrma::ListOfT<Counted> owning(1);
    vrma::ListOfT<Counted> referring(0);
    EXPECT_EQ(owning.Count(), 0);
    EXPECT_EQ(owning.Ownership(), 1);
    EXPECT_EQ(referring.Count(), 0);
    EXPECT_EQ(referring.Ownership(), 0);
}

TEST_F(ListOfTTest, GetChecksTheIndex) {
    vrma::ListOfT<Counted> list(1);
    EXPECT_EQ(MessageOf([&] { list.Get(0); }), "Index out of bounds ListOfT::Get");
    EXPECT_EQ(MessageOf([&] { list.Get(-1); }), "Index out of bounds ListOfT::Get");

    auto* a = new Counted(1);
    auto* b = new Counted(2);
    list.Add(a);
    list.Add(b);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0), a);
    EXPECT_EQ(list.Get(1), b);
    EXPECT_EQ(MessageOf([&] { list.Get(-1); }), "Index out of bounds ListOfT::Get");
    EXPECT_EQ(MessageOf([&] { list.Get(2); }), "Index out of bounds ListOfT::Get");
    // A failed Get leaves the list as it was.
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(1), b);
}

TEST_F(ListOfTTest, OwningListDeletesItsItemsInOrder) {
    {
        vrma::ListOfT<Counted> list(1);
        list.Clear(); // empty: nothing happens
        EXPECT_EQ(list.Count(), 0);
        for (int i = 0; i < 3; ++i)
            list.Add(new Counted(i));
        list.Clear();
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_EQ(Counted::destroyed, (std::vector<int>{0, 1, 2}));

        list.Add(new Counted(7));
        list.Add(new Counted(8));
    } // the destructor deletes the rest
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(Counted::destroyed, (std::vector<int>{0, 1, 2, 7, 8}));
}

TEST_F(ListOfTTest, ReferringListLeavesItsItemsAlive) {
    Counted a(1);
    Counted b(2);
    {
        vrma::ListOfT<Counted> list(0);
        list.Add(&a);
        list.Add(&b);
        list.Clear();
        EXPECT_EQ(list.Count(), 0);
        EXPECT_EQ(Counted::alive, 2);
        list.Add(&a);
    }
    EXPECT_EQ(Counted::alive, 2);
    EXPECT_TRUE(Counted::destroyed.empty());
}

} // namespace
