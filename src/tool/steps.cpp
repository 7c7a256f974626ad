#include "steps.h"

#include "exitcode.h"
#include "wait.h"

#include <memory>

namespace
{

struct Sequence {
    std::vector<Step> steps;
    Done done;
    size_t next = 0;
};

void runNext(const std::shared_ptr<Sequence> &sequence)
{
    if (sequence->next == sequence->steps.size()) {
        sequence->done(Success);
        return;
    }
    const Step &step = sequence->steps.at(sequence->next++);
    step([sequence](int code) {
        if (code == Success)
            runNext(sequence);
        else
            sequence->done(code);
    });
}

} // namespace

void runSteps(std::vector<Step> steps, Done done)
{
    auto sequence = std::make_shared<Sequence>();
    sequence->steps = std::move(steps);
    sequence->done = std::move(done);
    runNext(sequence);
}

int waitFor(const Step &step)
{
    auto wait = std::make_shared<Wait>();
    step([wait](int code) { wait->finish(code); });
    return wait->run();
}
