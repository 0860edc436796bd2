// AutoVar<T>: a plain value that starts out as zero, so that arrays and members of such
// values never hold leftovers from whatever memory they were constructed in.
#pragma once

namespace TOVK_Types {

template <class T> class AutoVar {
public:
    AutoVar() : value_() {}
    AutoVar(T value) : value_(value) {}
    AutoVar& operator=(T value) {
        value_ = value;
        return *this;
    }

    operator T&() { return value_; }
    operator const T&() const { return value_; }
    T& get() { return value_; }
    const T& get() const { return value_; }

private:
    T value_;
};

} // namespace TOVK_Types
