// kestron4._core's view of a recording: the recording layer's model, its
// table scaling, its aligned chunks and its exports, for the package's
// kestron4.recording module.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>

#include "session_state.h"

namespace kestron4::binding {

// The Recording class of _core.
void RegisterRecording(pybind11::module_& m);
// The recording of a session (raises ValueError without one).
pybind11::object OpenRecording(const std::shared_ptr<SessionState>& state);

}  // namespace kestron4::binding
