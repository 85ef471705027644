// SPDX-License-Identifier: GPL-3.0-or-later
// Written by audio/speechmodel/train.py generate: no model trained yet.
#include "audio/speechmodel.hpp"

namespace ravik::audio::speech {

const bool kTrained = false;
const Weights kWeights{};

} // namespace ravik::audio::speech
