// The handler record as the application hands it to a NodeHandler
// activation: as many words as the host's build lays out (six before
// QV_FIRST_BUILD_WITH_HANDLER_WORD7, seven from it on), in an allocation of
// that size followed by guard words.  In a version 5 record word 7 belongs
// to the host: it is guarded like the words past the end.  Under AddressSanitizer the guard is
// poisoned, so a write past the record stops at the write; otherwise the
// guard words are checked after the activation returns.
#pragma once

#include "refhost/services.h"

namespace refhost {

// The words of the handler record of a host of this build.
int handler_record_words(uint32_t build);

// Runs the activation with a record of the build's size whose instance and
// render operations are node.inst and node.rend, then copies the record into
// node.handler (words the host does not have stay null) and sets
// node.wrote_past_record when a guard word changed.  Returns the
// activation's code.
int activate_in_host_record(QvActivateFunc activate, int version, QvGlobalFunc global, uint32_t build, HostNode &node);

}  // namespace refhost
