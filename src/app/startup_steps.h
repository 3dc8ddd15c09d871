// How long each step of the start-up took, for one debug line once the keyboards are taken:
//
//   StartupSteps steps;
//   steps.measure("database", [&] { Realm::setCustomConfig(); });
//   log.debug("Start-up steps ->", steps.summary());   // "database 2.1 ms, ..., since exec 640.2 ms"
//
// Steps are kept in the order they ran. Used on one thread (the main one).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "rx/scheduler.h"

namespace vandrel {

class StartupSteps {
public:
    struct Step {
        std::string name;
        rx::Duration duration;
    };

    // `clock` gives the time; null: the steady clock.
    explicit StartupSteps(rx::SchedulerPtr clock = nullptr);

    template <class Work>
    void measure(std::string name, Work&& work)
    {
        const rx::TimePoint start = now();
        std::forward<Work>(work)();
        add(std::move(name), now() - start);
    }
    void add(std::string name, rx::Duration duration);
    // Notes how long after the program's exec this moment is (a figure of the whole start, beside the steps).
    void markSinceExec(std::string name);

    const std::vector<Step>& steps() const { return steps_; }
    // "name 1.2 ms, name 0.4 ms, ..." in the order the steps ran.
    std::string summary() const;

    // Time since this process was exec'd (from the kernel's record of its start, to a clock tick); absent where
    // it cannot be read.
    static std::optional<rx::Duration> sinceExec();

private:
    rx::TimePoint now() const;

    rx::SchedulerPtr clock_;
    std::vector<Step> steps_;
};

}  // namespace vandrel
