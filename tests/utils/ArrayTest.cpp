#include "utils/Array.h"
#include "utils/AutoVar.h"
#include "utils/SmartArray.h"
#include "utils/String.h"

#include <gtest/gtest.h>

#include <set>

using TOVK_Types::AutoVar;
using TOVK_Utils::Array;
using TOVK_Utils::SmartArray;
using TOVK_Utils::String;

namespace {

// An element that records every construction and destruction by serial number. The
// serial travels inside the element when the array moves its bytes, so the live set
// tells which objects exist, and destroying one twice shows up as a fault.
struct Counted {
    static int constructions;
    static int destructions;
    static int faults;
    static int nextSerial;
    static std::set<int> live;

    Counted() : serial(++nextSerial) {
        ++constructions;
        live.insert(serial);
    }
    ~Counted() {
        ++destructions;
        if (live.erase(serial) != 1)
            ++faults;
    }
    // Assignment copies the value; each object keeps its own identity.
    Counted& operator=(const Counted& other) {
        value = other.value;
        return *this;
    }
    Counted(const Counted&) = delete;

    int serial;
    int value = 0;
};

int Counted::constructions = 0;
int Counted::destructions = 0;
int Counted::faults = 0;
int Counted::nextSerial = 0;
std::set<int> Counted::live;

class ArrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        Counted::constructions = 0;
        Counted::destructions = 0;
        Counted::faults = 0;
        Counted::live.clear();
    }
    // Every test destroys its arrays before it ends: nothing may be left alive, and
    // nothing may have been destroyed twice or without being constructed.
    void TearDown() override {
        EXPECT_TRUE(Counted::live.empty()) << Counted::live.size() << " elements leaked";
        EXPECT_EQ(Counted::faults, 0);
    }
};

String decimal(int n) {
    String s;
    s.setDecimal(n);
    return s;
}

} // namespace

TEST_F(ArrayTest, PlainArrayConstructsEveryElementUpToCapacityAndKeepsValuesOnGrowth) {
    {
        Array<Counted> a;
        EXPECT_EQ(a.length(), 0);
        EXPECT_EQ(a.capacity(), 0);

        a.at(0).value = 10;
        EXPECT_EQ(a.length(), 1);
        EXPECT_EQ(a.capacity(), 2);
        EXPECT_EQ(Counted::constructions, 2);

        // Within the capacity nothing new is built.
        a.at(1).value = 11;
        EXPECT_EQ(a.capacity(), 2);
        EXPECT_EQ(Counted::constructions, 2);

        a.at(2).value = 12;
        EXPECT_EQ(a.length(), 3);
        EXPECT_EQ(a.capacity(), 6);
        EXPECT_EQ(Counted::constructions, 6);
        EXPECT_EQ(Counted::destructions, 0);
        EXPECT_EQ(a[0].value, 10);
        EXPECT_EQ(a[1].value, 11);
        EXPECT_EQ(a[2].value, 12);
        EXPECT_TRUE(a.isValidIndex(2));
        EXPECT_FALSE(a.isValidIndex(3));
        EXPECT_FALSE(a.isValidIndex(-1));
    }
    // The elements beyond the length exist too and must go with the array.
    EXPECT_EQ(Counted::destructions, 6);
}

TEST_F(ArrayTest, SmartArrayConstructsOnlyTouchedElements) {
    {
        SmartArray<Counted> s;
        s.at(0).value = 1;
        EXPECT_EQ(s.length(), 1);
        EXPECT_EQ(s.capacity(), 2);
        EXPECT_EQ(Counted::constructions, 1);
        EXPECT_TRUE(s.isConstructed(0));
        EXPECT_FALSE(s.isConstructed(1));
    }
    EXPECT_EQ(Counted::destructions, 1);

    {
        SmartArray<Counted> s;
        s.reserve(100);
        EXPECT_EQ(s.capacity(), 100);
        EXPECT_EQ(s.length(), 0);
        EXPECT_EQ(Counted::constructions, 1);

        s.at(5).value = 5;
        EXPECT_EQ(s.length(), 6);
        EXPECT_EQ(s.capacity(), 100);
        EXPECT_EQ(Counted::constructions, 2);
        for (int i = 0; i < 100; ++i)
            EXPECT_EQ(s.isConstructed(i), i == 5) << i;

        // Touching an existing element again must not rebuild it.
        EXPECT_EQ(s.at(5).value, 5);
        s.at(0);
        EXPECT_EQ(Counted::constructions, 3);
    }
    // Destruction takes exactly the two touched elements.
    EXPECT_EQ(Counted::destructions, 3);
}

TEST_F(ArrayTest, ReserveBelowCapacityDestroysTheTail) {
    {
        Array<Counted> a;
        a.reserve(10);
        a.setLength(10);
        EXPECT_EQ(Counted::constructions, 10);
        std::set<int> head = {a[0].serial, a[1].serial, a[2].serial};

        a.reserve(3);
        EXPECT_EQ(Counted::destructions, 7);
        EXPECT_EQ(Counted::live, head);
        EXPECT_EQ(a.capacity(), 3);
        EXPECT_EQ(a.length(), 3);

        // Growing again builds fresh elements in the old slots.
        a.reserve(5);
        EXPECT_EQ(Counted::constructions, 12);
        EXPECT_EQ(Counted::live.size(), 5u);
        a.reserve(6);
        EXPECT_EQ(Counted::constructions, 13);
    }

    Array<String> strings;
    for (int i = 0; i < 10; ++i)
        strings.at(i).setDecimal(1000 + i);
    strings.reserve(3);
    ASSERT_EQ(strings.length(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(strings[i].equals(decimal(1000 + i)));
}

TEST_F(ArrayTest, ResetLengthKeepsElementsForALaterSetLength) {
    {
        Array<Counted> a;
        for (int i = 0; i < 5; ++i)
            a.at(i).value = 100 + i;
        int capacity = a.capacity();

        a.resetLength();
        EXPECT_EQ(a.length(), 0);
        EXPECT_EQ(a.capacity(), capacity);
        EXPECT_EQ(Counted::destructions, 0);

        a.setLength(5);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(a[i].value, 100 + i);
    }
    EXPECT_TRUE(Counted::live.empty());

    // Reset and never refilled: the strings are still released with the array.
    Array<String> strings;
    strings.at(3).setDecimal(123456789);
    strings.resetLength();
    EXPECT_EQ(strings.length(), 0);
    strings.setLength(4);
    EXPECT_TRUE(strings[3].equals("123456789"));
    strings.resetLength();
}

TEST_F(ArrayTest, ManyStringsSurviveBytewiseReallocation) {
    Array<String> a;
    for (int i = 0; i < 1000; ++i)
        a.at(a.length()).setDecimal(i * 7);
    ASSERT_EQ(a.length(), 1000);
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(a[i].equals(decimal(i * 7))) << i;
}

TEST_F(ArrayTest, CopyFromReplacesContentAndCopiesOnlyExistingSmartElements) {
    Array<String> source;
    source.at(0).setDecimal(1);
    source.at(1).setDecimal(22);
    source.at(2).setDecimal(333);
    Array<String> copy;
    for (int i = 0; i < 7; ++i)
        copy.at(i).setDecimal(-1);

    copy.copyFrom(source);
    ASSERT_EQ(copy.length(), 3);
    EXPECT_TRUE(copy[2].equals("333"));
    // The copy owns its text.
    source.at(2).setDecimal(4);
    EXPECT_TRUE(copy[2].equals("333"));
    copy.copyFrom(copy);
    EXPECT_TRUE(copy[0].equals("1"));

    {
        SmartArray<Counted> from;
        from.at(1).value = 11;
        from.at(3).value = 33;
        SmartArray<Counted> to;
        to.at(0).value = 99;
        to.at(5).value = 55;
        int beforeCopy = Counted::destructions;

        to.copyFrom(from);
        EXPECT_EQ(Counted::destructions, beforeCopy + 2);
        ASSERT_EQ(to.length(), 4);
        for (int i = 0; i < to.capacity(); ++i)
            EXPECT_EQ(to.isConstructed(i), i == 1 || i == 3) << i;
        EXPECT_EQ(to[1].value, 11);
        EXPECT_EQ(to[3].value, 33);
        // Copying must not have touched the source's missing elements.
        EXPECT_FALSE(from.isConstructed(0));
        EXPECT_FALSE(from.isConstructed(2));

        // Through the base interface a smart source still copies only what exists.
        Array<Counted> plain;
        plain.copyFrom(from);
        ASSERT_EQ(plain.length(), 4);
        EXPECT_EQ(plain[0].value, 0);
        EXPECT_EQ(plain[3].value, 33);
    }
}

TEST_F(ArrayTest, MoveElementsShiftsObjectsAndRefillsVacatedSlots) {
    {
        Array<Counted> a;
        a.reserve(6);
        a.setLength(6);
        for (int i = 0; i < 6; ++i)
            a[i].value = i;
        int moved[3] = {a[0].serial, a[1].serial, a[2].serial};

        // Overlapping move to the right: 3 and 4 are overwritten, 0 and 1 are vacated.
        a.moveElements(0, 3, 2);
        EXPECT_EQ(Counted::destructions, 2);
        EXPECT_EQ(Counted::constructions, 8);
        EXPECT_EQ(a[2].value, 0);
        EXPECT_EQ(a[3].value, 1);
        EXPECT_EQ(a[4].value, 2);
        EXPECT_EQ(a[5].value, 5);
        EXPECT_EQ(a[2].serial, moved[0]);
        EXPECT_EQ(a[4].serial, moved[2]);
        EXPECT_EQ(a[0].value, 0);
        EXPECT_NE(a[0].serial, moved[0]);
        EXPECT_EQ(Counted::live.size(), 6u);

        // Overlapping move to the left.
        a.moveElements(3, 3, 1);
        EXPECT_EQ(a[1].value, 1);
        EXPECT_EQ(a[2].value, 2);
        EXPECT_EQ(a[3].value, 5);
        EXPECT_EQ(Counted::live.size(), 6u);
    }

    {
        SmartArray<Counted> s;
        s.reserve(8);
        s.at(0).value = 10;
        s.at(1).value = 11;
        s.at(4).value = 44;
        int destroyed = Counted::destructions;
        s.moveElements(0, 2, 3);
        EXPECT_EQ(Counted::destructions, destroyed + 1); // only element 4 was in the way
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(s.isConstructed(i), i == 3 || i == 4) << i;
        EXPECT_EQ(s[3].value, 10);
        EXPECT_EQ(s[4].value, 11);
        // A vacated slot is raw again: touching it builds a new element.
        int built = Counted::constructions;
        s.at(0);
        EXPECT_EQ(Counted::constructions, built + 1);
    }
}

TEST_F(ArrayTest, SmartStorageSetSizeStartsWithNoElements) {
    SmartArray<int> s;
    s.at(1) = 7;
    s.at(2) = 8;
    s.storageSetSize(16);
    EXPECT_EQ(s.capacity(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_FALSE(s.isConstructed(i)) << i;
    EXPECT_EQ(s.at(2), 0);
}

TEST_F(ArrayTest, NewFlagsAndBoolsStartAtZeroEvenInReusedStorage) {
    Array<AutoVar<unsigned char>> flags;
    flags.reserve(8);
    for (int i = 0; i < 8; ++i)
        flags[i] = 0xFF;
    // Shrinking keeps the block's bytes; growing again must build zeros over them.
    flags.reserve(2);
    flags.reserve(8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(flags[i].get(), i < 2 ? 0xFF : 0) << i;

    Array<bool> truths;
    truths.at(40) = true;
    EXPECT_EQ(truths.length(), 41);
    EXPECT_EQ(truths.capacity(), 82);
    for (int i = 0; i < 40; ++i)
        EXPECT_FALSE(truths[i]) << i;
    EXPECT_TRUE(truths[40]);
}

TEST_F(ArrayTest, DestroyAllEmptiesTheArrayForReuse) {
    SmartArray<Counted> s;
    s.at(2);
    s.at(9);
    s.destroyAll();
    EXPECT_EQ(Counted::destructions, 2);
    EXPECT_EQ(s.length(), 0);
    EXPECT_EQ(s.capacity(), 0);
    s.at(3).value = 3;
    EXPECT_EQ(s.capacity(), 8);
    EXPECT_FALSE(s.isConstructed(2));
    EXPECT_TRUE(s.isConstructed(3));
}
