// ArrayBase<T, Storage>: a growable sequence whose elements sit contiguously in a Block.
// Elements are built and torn down in place through virtual per-element operations, so
// the same code serves plain bytes and objects, and the smart variant can defer building
// an element until it is first touched.
//
// Elements are moved as raw bytes (storage reallocation, moveElements), so T must tolerate
// being moved bitwise. Block and String do: they own their buffers through a pointer that
// stays valid wherever the object itself lives.
#pragma once

#include "Block.h"
#include "Fatal.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

namespace TOVK_Utils {

template <class T, class Storage = Block> class ArrayBase {
    static_assert(alignof(T) <= alignof(std::max_align_t),
                  "the storage only guarantees the heap's alignment");

public:
    ArrayBase() {
        // The array decides every size itself; the block must not double or shrink behind it.
        storage_.setPolicy(Block::Growth::Exact, Block::Shrink::Never);
        storage_.setWide(false);
    }
    ArrayBase(const ArrayBase&) = delete;
    ArrayBase& operator=(const ArrayBase&) = delete;
    // A derived array cleans up in its own destructor, where its overrides still apply.
    virtual ~ArrayBase() { destroyAll(); }

    // Destroys this array's elements, then copies the first length elements of other
    // (only those that exist there) by assignment. Being virtual, this is compiled for
    // every element type; for one without copy assignment, calling it is a fatal stop.
    virtual void copyFrom(const ArrayBase& other) {
        if (&other == this)
            return;
        if constexpr (!std::is_copy_assignable_v<T>)
            fatalError("Array elements cannot be copied");
        destroyAll();
        reserve(other.length_);
        for (int32_t i = 0; i < other.length_; ++i) {
            if constexpr (std::is_copy_assignable_v<T>) {
                if (other.isConstructed(i))
                    *elementAt(i) = other.elements_[i];
            }
        }
        length_ = other.length_;
    }
    virtual bool isValidIndex(int32_t i) const { return i >= 0 && i < length_; }
    // No bounds check: an index outside the storage is a programming error.
    virtual T* elementAt(int32_t i) { return elements_ + i; }
    // Forgets the length only; the elements stay constructed for a later setLength.
    virtual void resetLength() { length_ = 0; }
    // Moves count elements from position from to position to (the ranges may overlap).
    // Elements overwritten at the destination are destroyed first; positions left behind
    // get fresh elements, since every slot of a plain array holds one.
    virtual void moveElements(int32_t from, int32_t count, int32_t to) {
        if (count <= 0 || from == to)
            return;
        moveBytes(from, count, to);
        for (int32_t i = from; i < from + count; ++i) {
            if (!inside(i, to, count))
                new (elements_ + i) T();
        }
    }
    // The storage holds n elements, content kept.
    virtual void storageResize(int32_t n) {
        storage_.resize(byteCount(n));
        capacity_ = n;
        elements_ = firstElement();
    }
    // The storage holds n elements, content discarded (nothing is destroyed here).
    virtual void storageSetSize(int32_t n) {
        storage_.setSize(byteCount(n));
        capacity_ = n;
        elements_ = firstElement();
    }
    virtual void constructRange(int32_t from, int32_t count) {
        for (int32_t i = from; i < from + count; ++i)
            constructElement(i);
    }
    virtual void constructElement(int32_t i) { new (elements_ + i) T(); }
    virtual void destroyElement(int32_t i) { elements_[i].~T(); }
    // Destroys every element that exists and releases the storage. That is every slot up
    // to the capacity, not only the length: growth and resetLength leave constructed
    // elements beyond the length, and they own memory too.
    virtual void destroyAll() {
        destroyRange(0, capacity_);
        storage_.release();
        elements_ = nullptr;
        capacity_ = 0;
        length_ = 0;
    }
    // Whether element i currently holds a constructed object.
    virtual bool isConstructed(int32_t i) const { return i >= 0 && i < capacity_; }

    // Sets the capacity to n: elements beyond n are destroyed, new ones are constructed
    // (a smart array constructs nothing here).
    void reserve(int32_t n) {
        byteCount(n);
        int32_t old = capacity_;
        if (n < old)
            destroyRange(n, old - n);
        storageResize(n);
        if (old < n)
            constructRange(old, n - old);
        if (length_ > n)
            length_ = n;
    }
    // Growth doubles the needed capacity so that appending through at() is amortised
    // constant time.
    void setLength(int32_t n) {
        if (n > capacity_)
            reserve(checkedCount(doubling_ ? 2 * int64_t(n) : int64_t(n)));
        length_ = n;
    }
    // Element i, extending the length to reach it.
    T& at(int32_t i) {
        if (i >= length_)
            setLength(checkedCount(int64_t(i) + 1));
        return *elementAt(i);
    }
    void destroyRange(int32_t from, int32_t count) {
        for (int32_t i = from; i < from + count; ++i)
            destroyElement(i);
    }

    T& operator[](int32_t i) { return *elementAt(i); }
    // Const access cannot construct: the element must already exist.
    const T& operator[](int32_t i) const { return elements_[i]; }
    T* data() { return elements_; }
    const T* data() const { return elements_; }
    int32_t length() const { return length_; }
    int32_t capacity() const { return capacity_; }
    bool isEmpty() const { return length_ == 0; }

protected:
    static bool inside(int32_t i, int32_t from, int32_t count) {
        return i >= from && i < from + count;
    }
    // A count whose byte size fits the block's signed 32-bit sizes; anything else would
    // wrap into a small allocation that later writes run past, so it stops the process.
    static int32_t checkedCount(int64_t n) {
        if (n < 0 || n > int64_t(INT32_MAX) / int64_t(sizeof(T)))
            fatalError("Array size out of range");
        return int32_t(n);
    }
    static int32_t byteCount(int64_t n) { return int32_t(checkedCount(n) * int64_t(sizeof(T))); }

    // Destroys the destination elements that are not themselves being moved, then moves
    // the bytes; what the vacated positions hold afterwards is up to the caller.
    void moveBytes(int32_t from, int32_t count, int32_t to) {
        for (int32_t i = to; i < to + count; ++i) {
            if (!inside(i, from, count))
                destroyElement(i);
        }
        std::memmove(static_cast<void*>(elements_ + to), static_cast<const void*>(elements_ + from),
                     size_t(count) * sizeof(T));
    }

    T* firstElement() {
        return storage_.rawPointer() ? reinterpret_cast<T*>(storage_.data()) : nullptr;
    }

    Storage storage_;
    T* elements_ = nullptr;
    int32_t length_ = 0;
    int32_t capacity_ = 0;
    bool doubling_ = true;
};

} // namespace TOVK_Utils
