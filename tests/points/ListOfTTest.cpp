// The pointer list: construction, index checks and ownership.
#include "data/Data_structures.h"

#include <gtest/gtest.h>

#include <functional>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/common_interface_defs.h>
#endif
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

namespace {

// Records that the list makes itself: built in its chunks, destroyed in index order with
// the items handed over by Add, never passed to delete, and the chunks used again.
TEST_F(ListOfTTest, OwnRecordsAreDestroyedInOrderWithHandedOverItems) {
    {
        vrma::ListOfT<Counted> list(1);
        Counted* first = list.AddNew(0);
        list.Add(new Counted(1)); // deleted by the list, as before
        Counted* third = list.AddNew(2);
        EXPECT_EQ(list.Count(), 3);
        EXPECT_EQ(list.Get(0), first);
        EXPECT_EQ(list.Get(2), third);
        EXPECT_EQ(list.Get(0)->id, 0);
        EXPECT_EQ(list.Get(1)->id, 1);
        EXPECT_EQ(list.Get(2)->id, 2);
        EXPECT_EQ(Counted::alive, 3);
        list.Clear();
        EXPECT_EQ(Counted::alive, 0);
        EXPECT_EQ(Counted::destroyed, (std::vector<int>{0, 1, 2}));

        // The emptied list makes its next records in the same memory.
        Counted* again = list.AddNew(5);
        EXPECT_EQ(again, first);
        EXPECT_EQ(list.Get(0)->id, 5);
        list.AddNew(6);
    }
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(Counted::destroyed, (std::vector<int>{0, 1, 2, 5, 6}));
}

TEST_F(ListOfTTest, ManyOwnRecordsSpanChunksAndKeepTheirValues) {
    vrma::ListOfT<Counted> list(1);
    constexpr int kCount = 300000; // more than the largest chunk holds
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kCount; ++i)
            list.AddNew(i * 3 + round);
        ASSERT_EQ(list.Count(), kCount);
        EXPECT_EQ(Counted::alive, kCount);
        int wrong = 0;
        for (int i = 0; i < kCount; ++i)
            wrong += list.Get(i)->id != i * 3 + round;
        EXPECT_EQ(wrong, 0) << "round " << round;
        // Every record is a distinct object (no two share memory).
        EXPECT_NE(list.Get(kCount - 1), list.Get(kCount - 2));
        list.Clear();
        EXPECT_EQ(Counted::alive, 0);
    }
    EXPECT_EQ(Counted::destroyed.size(), std::size_t(2 * kCount));
    EXPECT_EQ(Counted::destroyed.back(), (kCount - 1) * 3 + 1);
}

// Records made apart (the parts of a file read at once): the emptied list's room is shared
// out, the records join the list in the order in which they were made, with their chunks
// (a reservation's among them), and no room is lost or added.
TEST_F(ListOfTTest, RecordsMadeApartShareTheRoomAndJoinInOrder) {
    constexpr int kCount = 100000; // several chunks
    vrma::ListOfT<Counted> list(1);
    for (int i = 0; i < kCount; ++i)
        list.AddNew(i);
    list.Clear();
    const std::size_t room = list.RecordRoom();
    ASSERT_GE(room, std::size_t(kCount));

    vrma::RecordChunks<Counted> tail;
    list.GiveEmptyChunks(tail, kCount / 8); // the last chunk is too large for so few
    EXPECT_EQ(tail.Room(), 0u);
    list.GiveEmptyChunks(tail, kCount / 2);
    EXPECT_GE(tail.Room(), std::size_t(kCount / 2));
    EXPECT_GE(list.RecordRoom(), std::size_t(kCount / 2)); // not everything went
    EXPECT_EQ(list.RecordRoom() + tail.Room(), room);
    tail.Reserve(tail.Room() + kCount / 4); // more than was handed: a chunk after them
    const std::size_t total = list.RecordRoom() + tail.Room();
    EXPECT_GE(total, room + kCount / 4);

    for (int i = 0; i < kCount / 4; ++i)
        list.AddNew(i);
    for (int i = kCount / 4; i < kCount; ++i) // into the reserved chunk too
        tail.AddNew(i);
    EXPECT_EQ(tail.Count(), std::size_t(kCount - kCount / 4));
    list.TakeRecordsOf(tail);
    EXPECT_EQ(tail.Count(), 0u);
    EXPECT_EQ(tail.Room(), 0u);
    ASSERT_EQ(list.Count(), kCount);
    int wrong = 0;
    for (int i = 0; i < kCount; ++i)
        wrong += list.Get(i)->id != i;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(std::size_t(kCount) + list.RecordRoom(), total);

    list.AddNew(kCount); // the list goes on filling after the join
    list.Clear();
    EXPECT_EQ(Counted::alive, 0);
    ASSERT_EQ(Counted::destroyed.size(), std::size_t(2 * kCount + 1));
    EXPECT_EQ(Counted::destroyed[std::size_t(kCount) + 50000], 50000);
    list.FreeEmptyChunks();
    EXPECT_EQ(list.RecordRoom(), 0u);

    vrma::ListOfT<Counted> referring(0);
    EXPECT_EQ(MessageOf([&] { referring.TakeRecordsOf(tail); }),
              "Wrong parameter transferred to ListOfT::TakeRecordsOf");
}

// Room reserved ahead is one chunk: the records made into it lie one after the other.
TEST_F(ListOfTTest, ReservedRecordsLieInOneChunk) {
    for (const int n : {10, 1000, 200000}) {
        vrma::ListOfT<Counted> list(1);
        list.AddNew(-1); // the first small chunk, part filled
        list.ReserveItems(std::size_t(n));
        list.ReserveRecords(std::size_t(n));
        ASSERT_GE(list.RecordRoom(), std::size_t(n));
        for (int i = 0; i < n; ++i)
            list.AddNew(i);
        int apart = 0;
        for (int i = 0; i + 1 < n; ++i)
            apart += list.Get(i + 2) != list.Get(i + 1) + 1;
        // Only where the first chunk's room ends and the reserved chunk begins.
        EXPECT_LE(apart, 1) << n;
    }
}

// A list that does not own its items makes its records on the heap and leaves them alive.
TEST_F(ListOfTTest, ReferringListLeavesTheRecordsItMadeAlive) {
    Counted* made = nullptr;
    {
        vrma::ListOfT<Counted> list(0);
        made = list.AddNew(4);
        list.Clear();
        EXPECT_EQ(list.Count(), 0);
    }
    EXPECT_EQ(Counted::alive, 1);
    EXPECT_EQ(made->id, 4);
    delete made;
    EXPECT_EQ(Counted::alive, 0);
}

#ifdef __SANITIZE_ADDRESS__
// A record used after its list was emptied is a use after free that AddressSanitizer sees,
// although its chunk is kept for the next records.
TEST(ListOfTDeathTest, UseOfAnEmptiedListsRecordIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            __sanitizer_set_report_path("stderr"); // where the death test looks
            vrma::ListOfT<Counted> list(1);
            Counted* record = list.AddNew(1);
            list.Clear();
            volatile int id = record->id;
            (void)id;
        },
        "use-after-poison");
}
#endif

} // namespace
