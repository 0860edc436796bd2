// SmartArrayBase<T, Storage>: an array that constructs an element only when it is first
// touched, so reserving room for many large elements (the parser's headers) costs no
// construction. A parallel array of flags remembers which slots hold an element.
#pragma once

#include "Array.h"
#include "ArrayBase.h"
#include "AutoVar.h"

#include <cstdint>

namespace TOVK_Utils {

template <class T, class Storage = Block> class SmartArrayBase : public ArrayBase<T, Storage> {
    using Base = ArrayBase<T, Storage>;

public:
    SmartArrayBase() = default;
    // Runs here rather than in the base destructor, where only the plain overrides apply.
    ~SmartArrayBase() override { destroyAll(); }

    using Base::copyFrom;
    // Copies only the elements that exist in other; the rest stay untouched slots here.
    virtual void copyFrom(const SmartArrayBase& other) { Base::copyFrom(other); }

    T* elementAt(int32_t i) override {
        if (!flag(i))
            constructElement(i);
        return this->elements_ + i;
    }
    // The flags travel with the elements; vacated positions get fresh flags of 0.
    void moveElements(int32_t from, int32_t count, int32_t to) override {
        if (count <= 0 || from == to)
            return;
        this->moveBytes(from, count, to);
        flags_.moveElements(from, count, to);
    }
    // There is one flag per slot of storage, and slots that come new are unconstructed.
    void storageResize(int32_t n) override {
        Base::storageResize(n);
        flags_.reserve(n);
        flags_.setLength(n);
    }
    void storageSetSize(int32_t n) override {
        Base::storageSetSize(n);
        flags_.storageSetSize(n);
        flags_.constructRange(0, n);
        flags_.setLength(n);
    }
    void constructRange(int32_t, int32_t) override {}
    void constructElement(int32_t i) override {
        if (flag(i))
            Base::destroyElement(i);
        flag(i) = 1;
        Base::constructElement(i);
    }
    void destroyElement(int32_t i) override {
        if (!flag(i))
            return;
        Base::destroyElement(i);
        flag(i) = 0;
    }
    void destroyAll() override {
        Base::destroyAll();
        flags_.destroyAll();
    }
    bool isConstructed(int32_t i) const override {
        return i >= 0 && i < this->capacity_ && flags_.data()[i].get() != 0;
    }

private:
    unsigned char& flag(int32_t i) { return flags_.data()[i].get(); }

    Array<TOVK_Types::AutoVar<unsigned char>> flags_;
};

} // namespace TOVK_Utils
