#pragma once

#include "runtime/numbered_error.h"

#include <functional>

// The number of the error `action` raised, or 0 when it raised none.
inline int errorNumberOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const rt::NumberedError &error) {
        return error.number();
    }
    return 0;
}
