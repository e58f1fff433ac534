// Engine: what one experiment owns and hands to everything that works for it (the algorithm,
// its operators, the problem, the reports): its generator, the streams its text goes to, the
// folder its files are written in and its processor clock. Nothing in the program keeps any of
// these for itself, so two experiments in one process, one after the other or side by side on
// two threads, write exactly what two processes would.
#pragma once

#include <iostream>
#include <string>

#include "core/output_file.h"
#include "core/processor_clock.h"
#include "core/random.h"

namespace Valdrin {

class Engine {
public:
    // Text goes to standard output and standard error unless other streams are given; they must
    // outlive the engine.
    explicit Engine(std::ostream& out = std::cout, std::ostream& err = std::cerr) : out_(&out), err_(&err) {}
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // The experiment's standard output (announcements, run lines, dots, final lines) and its
    // standard error (messages).
    std::ostream& out() const { return *out_; }
    std::ostream& err() const { return *err_; }

    Random random;
    OutputFolder files;
    ProcessorClock clock;
    // The folder of the experiment's configuration file, which the paths a configuration names
    // (a problem library, an evaluator's files) are relative to; "." for the working folder.
    std::string configurationFolder = ".";
    // Threads that may evaluate a generation's individuals at once (--threads).
    int threads = 1;

private:
    std::ostream* out_;
    std::ostream* err_;
};

}  // namespace Valdrin
