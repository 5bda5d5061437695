// Evaluating a node's inputs for the module: the host's answer when the
// module asks for the value of one of its inputs for a sample.  A wired input
// gives its upstream output's value (once per sample where the sample's
// record carries a memo), a fed input the host's constant or what its sample
// source reads, an input fed nothing the zero of its type; every value is
// converted to the input's type.
#pragma once

#include "host/host_api.h"

#include <atomic>

namespace refhost {

// The flag that stops long work (Ctrl-C): once it is set, loading a network
// fails with "interrupted" and every wired input gives the zero of its type
// at once, so that an evaluation under way returns quickly; whoever set the
// flag throws away what that evaluation gave.  Null (the default): never.
void set_cancel_flag(const std::atomic<bool> *flag);
bool cancel_requested();

// The input's value for the sample `sa`, written to `result` in the input's
// type.  The host's entry of the module's input services.
void host_evaluate_input(QvInputId input, QvSampleAccess *sa, void *result);

}  // namespace refhost
