// SmartArray<T>: the array whose elements are constructed on first touch.
#pragma once

#include "SmartArrayBase.h"

namespace TOVK_Utils {

template <class T> class SmartArray : public SmartArrayBase<T, Block> {};

} // namespace TOVK_Utils
