#pragma once

#include <functional>

// Runs work(0) .. work(count - 1) at once, each in a process of its own, and expects every one to end
// with exit status 0; one that raises ends with 1. Wrap it in ASSERT_NO_FATAL_FAILURE: a fork that
// fails stops it.
void ExpectAllChildrenSucceed(int count, const std::function<void(int)> &work);
