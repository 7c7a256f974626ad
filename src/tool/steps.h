#pragma once

#include <functional>
#include <vector>

// The tool's operations on a programmer run on the event loop: each starts, and calls its
// Done with the exit code once it has ended (exactly once, perhaps before it returns).
using Done = std::function<void(int code)>;
using Step = std::function<void(Done)>;

// Runs steps one after the other; the first that ends other than Success ends them, and
// done gets its code (Success when all succeeded).
void runSteps(std::vector<Step> steps, Done done);

// Runs step in a local event loop until it has ended: for the commands that drive one
// programmer and do one thing at a time.
int waitFor(const Step &step);
