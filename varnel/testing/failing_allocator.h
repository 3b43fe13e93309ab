// SPDX-License-Identifier: Apache-2.0
// A global allocator that can be told to fail, for the test and fuzz
// programs that link failing_allocator.cpp: it replaces operator new and
// delete of the whole program and, unless armed, behaves as malloc and free.
#pragma once

namespace varnel::testing {

// The allocation After + 1 from now fails (After = 0: the very next one);
// with Sustained, every allocation after it fails too.
void FailAllocationAfter(long After, bool Sustained = false);

// Disarms; returns whether an allocation failed since the arming.
bool StopFailingAllocations();

}  // namespace varnel::testing
