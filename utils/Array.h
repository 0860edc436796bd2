// Array<T>: the plain growable sequence; every slot for which storage exists holds a
// constructed element.
#pragma once

#include "ArrayBase.h"

namespace TOVK_Utils {

template <class T> class Array : public ArrayBase<T, Block> {};

} // namespace TOVK_Utils
